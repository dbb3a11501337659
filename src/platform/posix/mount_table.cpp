#include "platform/posix/mount_table.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>
#include <string_view>

namespace klar {
namespace {

// Kernel interfaces, not storage; squashfs images are read-only by design.
// FUSE mounts of the desktop's own services (gvfs, the document portal) hold no disk of their
// own; a FUSE disk driver (ntfs-3g: fuseblk) does.
constexpr std::array<std::string_view, 25> kPseudoTypes = {
    "proc",     "sysfs",       "cgroup",      "cgroup2",    "devpts",
    "devtmpfs", "mqueue",      "debugfs",     "tracefs",    "securityfs",
    "pstore",   "bpf",         "hugetlbfs",   "configfs",   "fusectl",
    "autofs",   "binfmt_misc", "efivarfs",    "rpc_pipefs", "selinuxfs",
    "nsfs",     "squashfs",    "fuse.portal", "iso9660",    "fuse.gvfsd-fuse"};

bool readOnly(const std::string& options) {
    std::istringstream list(options);
    std::string option;
    while (std::getline(list, option, ',')) {
        if (option == "ro") {
            return true;
        }
    }
    return false;
}

constexpr std::array<std::string_view, 4> kSystemFolders = {"/dev", "/sys", "/proc", "/run"};

bool isUnder(std::string_view path, std::string_view folder) {
    return path == folder ||
           (path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
            path[folder.size()] == '/');
}

bool offered(std::string_view type, std::string_view mountPoint) {
    if (std::find(kPseudoTypes.begin(), kPseudoTypes.end(), type) != kPseudoTypes.end()) {
        return false;
    }
    // The memory filesystems of the kernel's and the init system's own folders (/dev/shm,
    // /run, /run/user/...) are not drives a user clears; removable media mounted below /run
    // (/run/media/...) are.
    if (type != "tmpfs" && type != "ramfs") {
        return true;
    }
    return std::none_of(kSystemFolders.begin(), kSystemFolders.end(),
                        [&](std::string_view f) { return isUnder(mountPoint, f); });
}

// The mounts file writes space, tab, newline and backslash in a path as \ooo octal escapes.
std::string unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string_view oct = field.substr(i + 1, 3);
            if (oct.size() == 3 &&
                std::all_of(oct.begin(), oct.end(), [](char c) { return c >= '0' && c <= '7'; })) {
                out.push_back(
                    static_cast<char>((oct[0] - '0') * 64 + (oct[1] - '0') * 8 + (oct[2] - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

} // namespace

MountEntry mountEntryFor(const std::string& mountsFile, const std::string& path,
                         const std::function<bool(const std::string&)>& sameDevice) {
    std::ifstream in(mountsFile);
    std::string line;
    MountEntry best;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string device;
        std::string mountPoint;
        std::string type;
        if (!(fields >> device >> mountPoint >> type)) {
            continue;
        }
        const std::string point = unescape(mountPoint);
        // Later entries mount over earlier ones: the last that fits wins a tie.
        if (isUnder(path, point == "/" ? "" : point) || path == point) {
            if (point.size() >= best.mountPoint.size() && sameDevice(point)) {
                best = {unescape(device), point, type};
            }
        }
    }
    return best;
}

std::string mountPointDriveString(const std::string& mountsFile,
                                  const std::function<bool(const std::string&)>& writable) {
    std::ifstream in(mountsFile);
    std::string line;
    std::string result;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string device;
        std::string mountPoint;
        std::string type;
        std::string options;
        if (!(fields >> device >> mountPoint >> type >> options)) {
            continue;
        }
        const std::string path = unescape(mountPoint);
        if (!offered(type, path) || readOnly(options) || !writable(path)) {
            continue;
        }
        result += path;
        result.push_back('\0');
    }
    if (!result.empty()) {
        result.push_back('\0');
    }
    return result;
}

} // namespace klar
