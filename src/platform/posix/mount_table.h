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

} // namespace klar
