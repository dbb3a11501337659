#include "volume_folder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace klar::test {
namespace fs = std::filesystem;
namespace {

struct Filesystem {
    const char* name;
    std::vector<std::string> mkfs; ///< the image's path follows
    enum class Mount { Tmpfs, Kernel, Fusefat, Ntfs3g } mount;
    std::uint64_t least;        ///< mkfs refuses smaller images (xfsprogs 6.1, btrfs-progs 6.2)
    const char* type = nullptr; ///< what the kernel mounts it as, where not its name
};

// No root reserve on ext2 and ext4, so that root and every other user see the same free space.
// ext4's inode tables and journal are written by mkfs, so that no background initialisation
// competes with a job. Not a mixed btrfs: it keeps a reserve it reports free but never lets data
// have. NTFS goes through a loop device, so that the kernel sees a block device (fuseblk).
const Filesystem kFilesystems[] = {
    {"tmpfs", {}, Filesystem::Mount::Tmpfs, 0},
    {"ext2", {"mkfs.ext2", "-q", "-F", "-m", "0"}, Filesystem::Mount::Kernel, 1u << 20},
    {"ext4",
     {"mkfs.ext4", "-q", "-F", "-m", "0", "-E", "lazy_itable_init=0,lazy_journal_init=0"},
     Filesystem::Mount::Kernel,
     2u << 20},
    {"xfs", {"mkfs.xfs", "-q", "-f"}, Filesystem::Mount::Kernel, 300u << 20},
    // More allocation groups than mkfs gives a volume of its size (as a larger disk has).
    {"xfs-8ag",
     {"mkfs.xfs", "-q", "-f", "-d", "agcount=8"},
     Filesystem::Mount::Kernel,
     1u << 30,
     "xfs"},
    {"btrfs", {"mkfs.btrfs", "-q", "-f"}, Filesystem::Mount::Kernel, 110u << 20},
    {"vfat", {"mkfs.vfat"}, Filesystem::Mount::Fusefat, 1u << 20},
    {"ntfs", {"mkfs.ntfs", "-q", "-F", "-f"}, Filesystem::Mount::Ntfs3g, 2u << 20},
};

const Filesystem* FindFilesystem(const std::string& name) {
    for (const Filesystem& candidate : kFilesystems) {
        if (name == candidate.name) {
            return &candidate;
        }
    }
    return nullptr;
}

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

/// Runs a program with stdin from /dev/null; what it printed goes to output. Its output lands
/// in a memory file rather than a pipe, since a FUSE driver that daemonizes keeps its copy open.
bool Run(const std::vector<std::string>& args, std::string& output, std::string& whyNot) {
    const int sink = ::memfd_create("klar-volume-output", MFD_CLOEXEC);
    if (sink < 0) {
        whyNot = Errno("memfd_create");
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int none = ::open("/dev/null", O_RDONLY);
        if (none < 0 || ::dup2(none, 0) < 0 || ::dup2(sink, 1) < 0 || ::dup2(sink, 2) < 0) {
            ::_exit(126);
        }
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (child > 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    output.clear();
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::pread(sink, buffer, sizeof buffer, static_cast<off_t>(output.size()))) > 0) {
        output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(sink);
    if (child < 0) {
        whyNot = Errno("fork");
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return true;
    }
    const bool missing = WIFEXITED(status) && WEXITSTATUS(status) == 127;
    whyNot = args[0] + (missing ? ": not installed (see scripts/deps.sh)" : " failed");
    if (!missing && !output.empty()) {
        whyNot += ": " + output.substr(0, output.find_last_not_of('\n') + 1);
    }
    return false;
}

/// Waits for condition with a generous bound; true once it holds.
bool WaitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct MountEntry {
    std::string type;
    std::string source;
};

std::string Unescaped(const std::string& field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const std::string code = field.substr(i + 1, 3);
        if (field[i] == '\\' && code.size() == 3 &&
            code.find_first_not_of("01234567") == std::string::npos) {
            text += static_cast<char>(std::stoi(code, nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

/// What is mounted at mountPoint now (the top of a stack), from the kernel's own table.
std::optional<MountEntry> MountAt(const std::string& mountPoint) {
    std::error_code ec;
    const std::string wanted = fs::weakly_canonical(mountPoint, ec).string();
    std::ifstream table("/proc/self/mountinfo");
    std::optional<MountEntry> found;
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point, field;
        fields >> id >> parent >> device >> root >> point;
        while (fields >> field && field != "-") {
        }
        MountEntry entry;
        fields >> entry.type >> entry.source;
        if (Unescaped(point) == wanted) {
            found = entry;
        }
    }
    return found;
}

/// The loop devices whose backing file is image.
std::vector<std::string> LoopDevicesOf(const std::string& image) {
    std::error_code ec;
    const std::string wanted = fs::weakly_canonical(image, ec).string();
    std::vector<std::string> devices;
    for (const auto& entry : fs::directory_iterator("/sys/block", ec)) {
        std::ifstream backing(entry.path() / "loop" / "backing_file");
        std::string file;
        if (std::getline(backing, file) && file == wanted) {
            devices.push_back("/dev/" + entry.path().filename().string());
        }
    }
    return devices;
}

/// True while any process has one of paths open.
bool HeldOpen(const std::vector<std::string>& paths) {
    std::error_code ec;
    for (const auto& process : fs::directory_iterator("/proc", ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::error_code gone; // a process may end while it is looked at
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", gone)) {
            const std::string target = fs::read_symlink(fd.path(), gone).string();
            if (std::find(paths.begin(), paths.end(), target) != paths.end()) {
                return true;
            }
        }
    }
    return false;
}

bool DetachLoopDevices(const std::string& image, std::string& whyNot) {
    std::string output;
    for (const std::string& device : LoopDevicesOf(image)) {
        if (!Run({"losetup", "-d", device}, output, whyNot)) {
            return false;
        }
    }
    return true;
}

bool MountIn(const std::string& folder, const Filesystem& kind, const VolumeRequest& request,
             std::string& whyNot) {
    const std::string image = ImageIn(folder);
    const std::string mountPoint = MountPointIn(folder);
    std::string device;
    if (kind.mount == Filesystem::Mount::Kernel || kind.mount == Filesystem::Mount::Ntfs3g) {
        std::vector<std::string> losetup = {"losetup", "--find", "--show"};
        if (request.directIo) {
            losetup.emplace_back("--direct-io=on");
        }
        losetup.push_back(image);
        if (!Run(losetup, device, whyNot)) {
            return false;
        }
        device.erase(device.find_last_not_of('\n') + 1);
    }
    bool mounted = false;
    std::string output;
    switch (kind.mount) {
    case Filesystem::Mount::Tmpfs: {
        const std::string options = "size=" + std::to_string(request.bytes) + ",mode=0755";
        mounted = ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, options.c_str()) == 0;
        if (!mounted) {
            whyNot = Errno("mount -t tmpfs");
        }
        break;
    }
    case Filesystem::Mount::Kernel: {
        const char* type = kind.type != nullptr ? kind.type : kind.name;
        mounted = ::mount(device.c_str(), mountPoint.c_str(), type, 0, nullptr) == 0;
        if (!mounted) {
            whyNot = Errno(std::string("mount -t ") + type);
        }
        break;
    }
    case Filesystem::Mount::Fusefat:
        mounted = Run({"fusefat", "-o", "rw+,allow_other", image, mountPoint}, output, whyNot);
        break;
    case Filesystem::Mount::Ntfs3g:
        mounted = Run({"ntfs-3g", device, mountPoint}, output, whyNot);
        break;
    }
    if (mounted && !WaitFor([&] { return MountAt(mountPoint).has_value(); })) {
        whyNot = mountPoint + " never showed among the mounts";
        mounted = false;
    }
    if (!mounted) {
        std::string ignored;
        (void)UnmountVolumeIn(folder, ignored, true);
    }
    return mounted;
}

} // namespace

std::string ImageIn(const std::string& folder) {
    return folder + "/volume.img";
}
std::string MountPointIn(const std::string& folder) {
    return folder + "/mnt";
}

std::string MakeVolumeIn(const std::string& folder, const VolumeRequest& request,
                         std::string& whyNot) {
    const Filesystem* kind = FindFilesystem(request.filesystem);
    if (kind == nullptr) {
        whyNot = "no volumes of " + request.filesystem;
        return {};
    }
    if (::geteuid() != 0) {
        whyNot = "mounting a volume needs root";
        return {};
    }
    const std::string mountPoint = MountPointIn(folder);
    if (::mkdir(mountPoint.c_str(), 0755) != 0) {
        whyNot = Errno("mkdir " + mountPoint);
        return {};
    }
    if (kind->mount != Filesystem::Mount::Tmpfs) {
        // Sparse: unwritten blocks read as zeros, as on a fresh disk.
        const std::string image = ImageIn(folder);
        const int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        const auto size = static_cast<off_t>(std::max(request.bytes, kind->least));
        if (fd < 0) {
            // Never another's file: only the mount point made here goes.
            whyNot = Errno("cannot make the image " + image);
            ::rmdir(mountPoint.c_str());
            return {};
        }
        const bool sized = ::ftruncate(fd, size) == 0;
        whyNot = sized ? "" : Errno("cannot size the image " + image);
        ::close(fd);
        std::vector<std::string> mkfs = kind->mkfs;
        mkfs.push_back(image);
        std::string output;
        if (!sized || !Run(mkfs, output, whyNot)) {
            std::string ignored;
            (void)RemoveVolumeIn(folder, ignored);
            return {};
        }
    }
    if (!MountIn(folder, *kind, request, whyNot)) {
        std::string ignored;
        (void)RemoveVolumeIn(folder, ignored);
        return {};
    }
    return mountPoint;
}

bool MountVolumeIn(const std::string& folder, const VolumeRequest& request, std::string& whyNot) {
    const Filesystem* kind = FindFilesystem(request.filesystem);
    if (kind == nullptr || kind->mount == Filesystem::Mount::Tmpfs) {
        whyNot = "no image of " + request.filesystem + " to mount again";
        return false;
    }
    return MountIn(folder, *kind, request, whyNot);
}

bool UnmountVolumeIn(const std::string& folder, std::string& whyNot, bool lazy) {
    const std::string mountPoint = MountPointIn(folder);
    const std::string image = ImageIn(folder);
    if (const auto entry = MountAt(mountPoint)) {
        bool detached = false;
        if (::umount2(mountPoint.c_str(), 0) != 0) {
            // Still busy (a failing test left a file open): detached lazily, so that no mount
            // outlives the run.
            detached = lazy && errno == EBUSY && ::umount2(mountPoint.c_str(), MNT_DETACH) == 0;
            if (!detached) {
                whyNot = Errno("umount " + mountPoint);
                return false;
            }
        }
        // A FUSE driver may still be writing the image when the unmount returns.
        std::error_code ec;
        const std::vector<std::string> held = {fs::weakly_canonical(image, ec).string(),
                                               entry->source};
        if (entry->type.starts_with("fuse") && !detached &&
            !WaitFor([&] { return !HeldOpen(held); })) {
            whyNot = "the FUSE driver of " + mountPoint + " did not end within a minute";
            return false;
        }
    }
    // Lazily unmounted, a loop device goes once its last user does.
    return DetachLoopDevices(image, whyNot);
}

bool RemoveVolumeIn(const std::string& folder, std::string& whyNot) {
    if (!UnmountVolumeIn(folder, whyNot, true)) {
        return false;
    }
    const std::string image = ImageIn(folder);
    const std::string mountPoint = MountPointIn(folder);
    if (::unlink(image.c_str()) != 0 && errno != ENOENT) {
        whyNot = Errno("rm " + image);
        return false;
    }
    // rmdir, not a recursive delete: a mount point that still holds files was not ours to empty.
    if (::rmdir(mountPoint.c_str()) != 0 && errno != ENOENT) {
        whyNot = Errno("rmdir " + mountPoint);
        return false;
    }
    return true;
}

char MapDriveLetter(const std::string& prefix, const std::string& target, std::string& whyNot) {
    // T: first: the drive the drive-letter tests type. A: to C: and Z: are Wine's own.
    for (const char letter : std::string("trsuvwxyqponmlkjihgfed")) {
        const std::string link = prefix + "/dosdevices/" + letter + ":";
        if (::symlink(target.c_str(), link.c_str()) == 0) {
            return static_cast<char>(letter - 'a' + 'A');
        }
        if (errno != EEXIST) {
            whyNot = Errno("ln -s " + target + " " + link);
            return '\0';
        }
    }
    whyNot = "no free drive letter left in the Wine prefix " + prefix;
    return '\0';
}

std::uint64_t ParseSize(const std::string& text) {
    const std::size_t digits = std::min(text.find_first_not_of("0123456789"), text.size());
    const std::string unit = text.substr(digits);
    const std::string units = "KMGkmg";
    // At most 10 digits: a size in G still fits in 64 bits.
    if (digits == 0 || digits > 10 || unit.size() > 1 ||
        (unit.size() == 1 && units.find(unit) == std::string::npos)) {
        return 0;
    }
    const std::size_t power = unit.empty() ? 0 : units.find(unit) % 3 + 1;
    return std::stoull(text.substr(0, digits)) << (10 * power);
}

} // namespace klar::test
