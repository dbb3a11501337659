#pragma once

// A volume kept in a folder of its own: its image is FOLDER/volume.img (none for a tmpfs) and
// it is mounted at FOLDER/mnt. The test volumes and the klar-volume tool that the scripts run
// are both made this way, so that tests, benches and scripts fill the same volumes.
#include <cstdint>
#include <string>

namespace klar::test {

struct VolumeRequest {
    std::string
        filesystem; ///< "tmpfs", "ext2", "ext4", "xfs", "xfs-8ag", "btrfs", "vfat" or "ntfs"
    std::uint64_t bytes = 0;
    bool directIo = false; ///< the loop device writes its image past the page cache
};

[[nodiscard]] std::string ImageIn(const std::string& folder);
[[nodiscard]] std::string MountPointIn(const std::string& folder);

/// Makes the volume in folder (which must not hold an image or a mount point yet) and mounts
/// it. Returns the mount point; empty, with the reason in whyNot and nothing left mounted or
/// attached, on failure.
[[nodiscard]] std::string MakeVolumeIn(const std::string& folder, const VolumeRequest& request,
                                       std::string& whyNot);

/// Mounts folder's image again; false, with the reason in whyNot, if it cannot.
[[nodiscard]] bool MountVolumeIn(const std::string& folder, const VolumeRequest& request,
                                 std::string& whyNot);

/// Unmounts folder's volume and detaches its loop devices; once it returns, the image holds all
/// that was written (a FUSE driver's end is waited for). A busy volume is detached lazily when
/// lazy is set. True when nothing is mounted there any more (also when nothing was).
[[nodiscard]] bool UnmountVolumeIn(const std::string& folder, std::string& whyNot,
                                   bool lazy = false);

/// Unmounts (lazily if busy), then deletes the image and the mount point; the folder stays.
/// False, with the reason in whyNot, when anything is left.
[[nodiscard]] bool RemoveVolumeIn(const std::string& folder, std::string& whyNot);

/// Links the first free drive letter of the Wine prefix to target. Returns the letter in upper
/// case; '\0', with the reason in whyNot, when none is free or the prefix has no dosdevices.
[[nodiscard]] char MapDriveLetter(const std::string& prefix, const std::string& target,
                                  std::string& whyNot);

/// Bytes from a count with an optional K, M or G in either case (powers of 1024); 0 when
/// malformed.
[[nodiscard]] std::uint64_t ParseSize(const std::string& text);

} // namespace klar::test
