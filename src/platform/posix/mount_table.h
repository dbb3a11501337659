#pragma once

#include <functional>
#include <string>

namespace klar {

/// The mount points of real filesystems listed in a mounts file (the /proc/self/mounts format)
/// that `writable` accepts, in table order, each followed by a NUL, with one more NUL after the
/// last. Read-only mounts, pseudo filesystems and the tmpfs mounts of the system's own folders
/// are left out. Empty when the file cannot be read or lists nothing.
std::string mountPointDriveString(
    const std::string& mountsFile, const std::function<bool(const std::string&)>& writable =
                                       [](const std::string&) { return true; });

/// The entry of the mounts file for the filesystem that holds path (absolute, links resolved):
/// the last one listed whose mount point is the longest that contains it and whose device is
/// `device` (the st_dev of path). Empty fields when none is.
struct MountEntry {
    std::string device;
    std::string mountPoint;
    std::string type;
};
MountEntry mountEntryFor(const std::string& mountsFile, const std::string& path,
                         const std::function<bool(const std::string&)>& sameDevice);

} // namespace klar
