#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace klar::test {

/// A small real volume made for one test and taken down after it.
class TestVolume {
public:
    virtual ~TestVolume() = default;
    /// The folder at the root of the volume, where filler files go.
    [[nodiscard]] virtual const std::string& root() const = 0;
    /// What the user types as the drive for this volume.
    [[nodiscard]] virtual const std::string& driveText() const = 0;
    /// How the job's messages name the drive.
    [[nodiscard]] virtual std::string driveName() const = 0;
};

/// A RAM-backed volume of about `bytes` (tmpfs on Linux). Null, with the reason in whyNot,
/// where this process may not make one.
std::unique_ptr<TestVolume> MakeRamVolume(std::uint64_t bytes, std::string& whyNot);

/// A disk-image-backed volume of about `bytes` whose image file can be scanned after
/// unmount(). filesystem is one of "ext2", "ext4", "xfs", "btrfs" (loop-mounted on Linux),
/// "vfat" (through fusefat) and "ntfs" (through ntfs-3g); an image smaller than its mkfs accepts
/// is made at that smallest size. Null, with the reason in whyNot, where this process may not
/// make one (Windows maps an ext2 image only).
class ImageVolume : public TestVolume {
public:
    /// Takes the volume down so that the image holds everything written to it.
    virtual void unmount() = 0;
    /// Puts it up again after unmount() (to change the image in between); false if it cannot.
    [[nodiscard]] virtual bool mount() { return false; }
    [[nodiscard]] virtual const std::string& imagePath() const = 0;
};
std::unique_ptr<ImageVolume> MakeImageVolume(std::uint64_t bytes, std::string& whyNot,
                                             const std::string& filesystem = "ext2");

/// True when the run must not skip volume tests (CI sets KLAR_REQUIRE_VOLUMES=1).
bool VolumesRequired();

// Plain file utilities for checking what is on a volume.
std::vector<std::string> ListFolder(const std::string& folder); ///< names, sorted
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
std::string JoinPath(const std::string& folder, const std::string& name);

} // namespace klar::test

/// Makes a volume or skips the test (fails it where volumes are required).
#define KLAR_REQUIRE_VOLUME(var, maker, bytes)                                                     \
    std::string var##WhyNot;                                                                       \
    auto var = maker(bytes, var##WhyNot);                                                          \
    if (!var) {                                                                                    \
        if (::klar::test::VolumesRequired()) {                                                     \
            FAIL() << "cannot make a test volume: " << var##WhyNot;                                \
        }                                                                                          \
        GTEST_SKIP() << "no test volume: " << var##WhyNot;                                         \
    }
