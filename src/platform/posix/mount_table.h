#pragma once

#include <string>

namespace klar {

/// The mount points of real filesystems listed in a mounts file (the /proc/self/mounts format),
/// in table order, each followed by a NUL, with one more NUL after the last. Pseudo filesystems
/// and the tmpfs mounts of the system's own folders are left out. Empty when the file cannot be
/// read or lists nothing.
std::string mountPointDriveString(const std::string& mountsFile);

} // namespace klar
