// The volumes every test, bench and script fills: made, mounted, taken down with the image
// complete, and removed without a trace or a touch of anything that was not theirs.
#include "temp_folder.h"
#include "test_volume.h"
#include "volume_folder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace klar::test {
namespace {
namespace fs = std::filesystem;

/// The filesystem type the kernel lists at mountPoint; empty when nothing is mounted there.
std::string MountedType(const std::string& mountPoint) {
    std::ifstream table("/proc/self/mounts");
    std::string type;
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string source, point, kind;
        fields >> source >> point >> kind;
        if (point == mountPoint) {
            type = kind;
        }
    }
    return type;
}

/// How many loop devices the image still backs.
int LoopDevicesBacking(const std::string& image) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/sys/block")) {
        std::ifstream backing(entry.path() / "loop" / "backing_file");
        std::string file;
        count += std::getline(backing, file) && file == image ? 1 : 0;
    }
    return count;
}

std::string Contents(const std::string& path) {
    const auto bytes = ReadWholeFile(path);
    return {bytes.begin(), bytes.end()};
}

bool SkipUnlessRoot() {
    return ::geteuid() != 0 && !VolumesRequired();
}

struct Kind {
    const char* filesystem;
    const char* mountedAs; ///< the type /proc/self/mounts shows
};

class EachFilesystem : public ::testing::TestWithParam<Kind> {};

TEST_P(EachFilesystem, IsMountedKeepsWhatWasWrittenInItsImageAndLeavesNothingBehind) {
    if (SkipUnlessRoot()) {
        GTEST_SKIP() << "mounting needs root";
    }
    const Kind kind = GetParam();
    const bool ram = std::string(kind.filesystem) == "tmpfs";
    TempFolder folder;
    std::string whyNot;
    const VolumeRequest request{kind.filesystem, 4u << 20};
    const std::string mountPoint = MakeVolumeIn(folder.path(), request, whyNot);
    ASSERT_EQ(mountPoint, MountPointIn(folder.path())) << whyNot;
    EXPECT_EQ(MountedType(mountPoint), kind.mountedAs);

    // Unflushed: taking the volume down must bring it to the image, a FUSE driver's last
    // writes included.
    const std::string marker = "<volume-folder-test " + std::string(kind.filesystem) + ">";
    std::string content;
    while (content.size() < (64u << 10)) {
        content += marker;
    }
    WriteWholeFile(JoinPath(mountPoint, "kept.dat"), content);
    ASSERT_TRUE(UnmountVolumeIn(folder.path(), whyNot)) << whyNot;
    EXPECT_EQ(MountedType(mountPoint), "");
    if (!ram) {
        const std::string image = ImageIn(folder.path());
        EXPECT_EQ(LoopDevicesBacking(image), 0);
        EXPECT_NE(Contents(image).find(marker), std::string::npos) << "not in the image";
        ASSERT_TRUE(MountVolumeIn(folder.path(), request, whyNot)) << whyNot;
        EXPECT_EQ(Contents(JoinPath(mountPoint, "kept.dat")), content);
    }

    ASSERT_TRUE(RemoveVolumeIn(folder.path(), whyNot)) << whyNot;
    EXPECT_EQ(MountedType(mountPoint), "");
    EXPECT_EQ(ListFolder(folder.path()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Volumes, EachFilesystem,
                         ::testing::Values(Kind{"tmpfs", "tmpfs"}, Kind{"ext2", "ext2"},
                                           Kind{"ext4", "ext4"}, Kind{"xfs", "xfs"},
                                           Kind{"btrfs", "btrfs"}, Kind{"vfat", "fuse.fusefat"},
                                           Kind{"ntfs", "fuseblk"}),
                         [](const auto& row) { return std::string(row.param.filesystem); });

// Nothing that was there before is touched.
TEST(VolumeFolder, RefusesAFolderInUseAndKeepsWhatIsInIt) {
    if (SkipUnlessRoot()) {
        GTEST_SKIP() << "mounting needs root";
    }
    TempFolder taken;
    WriteWholeFile(ImageIn(taken.path()), "a user's file");
    std::string whyNot;
    EXPECT_EQ(MakeVolumeIn(taken.path(), {"ext2", 1u << 20}, whyNot), "");
    EXPECT_NE(whyNot, "");
    EXPECT_EQ(Contents(ImageIn(taken.path())), "a user's file");
    EXPECT_EQ(ListFolder(taken.path()), std::vector<std::string>{"volume.img"});

    TempFolder busy;
    fs::create_directory(MountPointIn(busy.path()));
    const std::string kept = JoinPath(MountPointIn(busy.path()), "kept.dat");
    WriteWholeFile(kept, "kept");
    EXPECT_EQ(MakeVolumeIn(busy.path(), {"tmpfs", 1u << 20}, whyNot), "");
    EXPECT_EQ(MountedType(MountPointIn(busy.path())), "");
    EXPECT_FALSE(RemoveVolumeIn(busy.path(), whyNot)) << "a mount point with files in it";
    EXPECT_EQ(Contents(kept), "kept");

    TempFolder unknown;
    EXPECT_EQ(MakeVolumeIn(unknown.path(), {"zfs", 1u << 20}, whyNot), "");
    EXPECT_EQ(ListFolder(unknown.path()), std::vector<std::string>{});
}

TEST(DriveLetters, TakeTheFirstFreeLetterAndSayWhenNoneIsLeft) {
    TempFolder prefix;
    const std::string devices = prefix / "dosdevices";
    fs::create_directory(devices);
    fs::create_directory_symlink("/nowhere", devices + "/t:"); // taken, though dangling
    fs::create_directory(devices + "/r:");
    std::string whyNot;
    ASSERT_EQ(MapDriveLetter(prefix.path(), "/mnt/first", whyNot), 'S') << whyNot;
    EXPECT_EQ(fs::read_symlink(devices + "/s:"), "/mnt/first");
    int mapped = 1;
    while (MapDriveLetter(prefix.path(), "/mnt/more", whyNot) != '\0') {
        ++mapped;
    }
    EXPECT_EQ(mapped, 20); // d: to y:, less the two taken
    EXPECT_NE(whyNot.find("no free drive letter"), std::string::npos) << whyNot;

    TempFolder noPrefix;
    EXPECT_EQ(MapDriveLetter(noPrefix.path(), "/mnt/first", whyNot), '\0');
}

TEST(VolumeSizes, ReadAsTheScriptsWriteThem) {
    const std::pair<const char*, std::uint64_t> sizes[] = {
        {"4096", 4096},
        {"512k", 512u << 10},
        {"8m", 8u << 20},
        {"2G", 2ull << 30},
        {"1024M", 1ull << 30},
        {"", 0},
        {"M", 0},
        {"1T", 0},
        {"12MB", 0},
        {"-1", 0},
        {"1 G", 0},
        {"99999999999G", 0},
    };
    for (const auto& [text, bytes] : sizes) {
        EXPECT_EQ(ParseSize(text), bytes) << '"' << text << '"';
    }
}

} // namespace
} // namespace klar::test
