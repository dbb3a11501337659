// What the job is for: the contents of deleted files cannot be found on the medium afterwards.
// The image is far smaller than the kernel's dirty-page limit, so filler data that is deleted
// before it was flushed never reaches it, and the deleted files would survive.
#include "job_rig.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

namespace klar::test {
namespace {

struct MarkedFile {
    std::string name;
    std::size_t size;
    std::string marker; ///< repeated through the file
};

std::string UniqueToken() {
    std::random_device device;
    const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
    return std::to_string(device()) + "-" + std::to_string(ticks);
}

std::string Repeat(const std::string& marker, std::size_t size) {
    std::string content;
    while (content.size() < size) {
        content += marker;
    }
    content.resize(size);
    return content;
}

/// Writes the file and forces it to the medium, so that its blocks hold the marker on disk.
void WriteDurably(Platform& platform, const std::string& path, const std::string& content) {
    FillerHandle handle;
    ASSERT_TRUE(platform.createExclusive(path, handle).ok()) << path;
    std::size_t written = 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(content.data());
    ASSERT_TRUE(platform.append(handle, bytes, content.size(), written).ok()) << path;
    ASSERT_TRUE(platform.flush(handle).ok()) << path;
    platform.close(handle);
}

TEST(Efficacy, DeletedFilesAreGoneFromTheImageAfterASingleSweep) {
    constexpr std::uint64_t kImageBytes = 8u << 20;
    KLAR_REQUIRE_VOLUME(volume, MakeImageVolume, kImageBytes);
    const std::string token = UniqueToken();
    std::vector<MarkedFile> files = {
        {"small.dat", 100, {}}, {"medium.dat", 5'000, {}}, {"large.dat", 1'000'000, {}}};
    auto platform = makeSystemPlatform();
    for (MarkedFile& file : files) {
        file.marker = "<klarvenor-efficacy " + token + " " + file.name + ">";
        ASSERT_NO_FATAL_FAILURE(WriteDurably(*platform, JoinPath(volume->root(), file.name),
                                             Repeat(file.marker, file.size)));
    }
    // The scan must be able to see them, or its silence afterwards would prove nothing.
    {
        const std::string image = AsText(ReadWholeFile(volume->imagePath()));
        ASSERT_EQ(image.size(), kImageBytes);
        for (const MarkedFile& file : files) {
            ASSERT_NE(image.find(file.marker), std::string::npos)
                << file.name << " never reached the image";
        }
    }
    for (const MarkedFile& file : files) {
        std::filesystem::remove(JoinPath(volume->root(), file.name));
    }

    JobRig rig(volume->driveText());
    rig.view.check(MethodBox::Single);
    rig.engine.Command5_Click();
    ASSERT_EQ(rig.view.messages,
              std::vector<std::string>{"Disk (" + volume->driveName() + ") cleared."});
    ASSERT_TRUE(ListFolder(volume->root()).empty());
    volume->unmount();

    const std::string image = AsText(ReadWholeFile(volume->imagePath()));
    ASSERT_EQ(image.size(), kImageBytes);
    for (const MarkedFile& file : files) {
        EXPECT_EQ(image.find(file.marker), std::string::npos)
            << "the deleted " << file.name << " (" << file.size
            << " bytes) can still be read from the image";
    }
}

} // namespace
} // namespace klar::test
