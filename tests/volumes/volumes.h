#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace klar::test {

/// A small real volume made for one test or bench run and taken down after it.
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
/// unmount(). filesystem is one of "ext2", "ext4", "xfs", "xfs-8ag", "btrfs" (loop-mounted on
/// Linux), "vfat" (through fusefat) and "ntfs" (through ntfs-3g); an image smaller than its mkfs
/// accepts is made at that smallest size. Null, with the reason in whyNot, where this process may
/// not make one (Windows maps an ext2 image only).
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

} // namespace klar::test
