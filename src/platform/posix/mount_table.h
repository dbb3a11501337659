#pragma once

#include <functional>
#include <string>

namespace klar {

/// Whether this process may write into a mount point.
using MountWritable = std::function<bool(const std::string& mountPoint)>;

/// The mount points of real filesystems listed in a mounts file (the /proc/self/mounts format),
/// in table order, each followed by a NUL, with one more NUL after the last. Pseudo filesystems,
/// the tmpfs mounts of the system's own folders, read-only mounts and, when `writable` is given,
/// mount points it refuses are left out: only what the user can clear is offered. Empty when the
/// file cannot be read or lists nothing.
std::string mountPointDriveString(const std::string& mountsFile,
                                  const MountWritable& writable = {});

} // namespace klar
