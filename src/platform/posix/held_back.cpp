#include "platform/posix/held_back.h"

#include "platform/posix/state_dir.h"
#include "platform/posix/unique_fd.h"
#include "platform/state_folder.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace klar {
namespace {

constexpr const char* kNotePrefix = "ext4-reserve-";

/// The whole small file, or nullopt-like empty with ok false.
bool ReadSmall(int fd, std::string& out) {
    char buffer[64];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
    if (n < 0) {
        return false;
    }
    out.assign(buffer, static_cast<std::size_t>(n));
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
        out.pop_back();
    }
    return true;
}

bool ReadFileText(const std::string& path, std::string& out) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.valid() && ReadSmall(fd.get(), out);
}

/// Writes value into a sysfs file; 0 on success, else the errno.
int WriteControl(const std::string& path, const std::string& value) {
    const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd.valid()) {
        return errno;
    }
    const std::string line = value + "\n";
    const ssize_t n = ::write(fd.get(), line.data(), line.size());
    return n == static_cast<ssize_t>(line.size()) ? 0 : (n < 0 ? errno : EIO);
}

/// The kernel's name of the block device holding root ("sda1", "loop0", "dm-0").
std::string DeviceName(const std::string& root) {
    struct stat sb {};
    if (::stat(root.c_str(), &sb) != 0) {
        return {};
    }
    const std::string link = "/sys/dev/block/" + std::to_string(major(sb.st_dev)) + ":" +
                             std::to_string(minor(sb.st_dev));
    char target[PATH_MAX];
    if (::realpath(link.c_str(), target) == nullptr) {
        return {};
    }
    const std::string path = target;
    return path.substr(path.rfind('/') + 1);
}

std::string ControlFile(const std::string& device) {
    return "/sys/fs/ext4/" + device + "/reserved_clusters";
}

bool IsCount(const std::string& text) {
    return !text.empty() && text.size() < 20 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

/// A device name as the kernel gives it, nothing that could lead elsewhere in /sys.
bool IsDeviceName(const std::string& name) {
    return !name.empty() && name.size() < 64 && name != "." && name != ".." &&
           name.find_first_not_of(
               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.-"
               ":") == std::string::npos;
}

std::uint64_t LittleEndian(const unsigned char* at, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = value << 8 | at[i];
    }
    return value;
}

/// What the kernel puts in the pool by itself when it mounts the volume (2 % of its clusters,
/// at most 4,096; none without extents), from the superblock on the device; the cap when the
/// superblock cannot be read.
std::uint64_t KernelDefault(const std::string& device) {
    constexpr std::uint64_t kCap = 4096;
    unsigned char sb[1024];
    const UniqueFd fd(::open(("/dev/" + device).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        return kCap;
    }
    const bool read = ::pread(fd.get(), sb, sizeof sb, 1024) == static_cast<ssize_t>(sizeof sb);
    if (!read || LittleEndian(sb + 0x38, 2) != 0xEF53) {
        return kCap;
    }
    const std::uint64_t incompat = LittleEndian(sb + 0x60, 4);
    const std::uint64_t roCompat = LittleEndian(sb + 0x64, 4);
    if ((incompat & 0x40) == 0) {
        return 0; // no extents: the kernel keeps no pool
    }
    std::uint64_t blocks = LittleEndian(sb + 0x04, 4);
    if ((incompat & 0x80) != 0) {
        blocks |= LittleEndian(sb + 0x150, 4) << 32;
    }
    const std::uint64_t blockBits = LittleEndian(sb + 0x18, 4);
    const std::uint64_t clusterBits = LittleEndian(sb + 0x1C, 4);
    if ((roCompat & 0x200) != 0 && clusterBits > blockBits && clusterBits - blockBits < 32) {
        blocks >>= clusterBits - blockBits; // bigalloc: the pool counts clusters
    }
    return std::min(blocks / 50, kCap);
}

/// Gives back what a note of a job that died holds, within what the kernel would choose by
/// itself for that volume: a value past that gives way to the kernel's default. True when
/// nothing is left to give back.
bool RestoreFromNote(int note, const std::string& device) {
    std::string value;
    if (!ReadSmall(note, value) || value.empty()) {
        return true;
    }
    const std::string control = ControlFile(device);
    struct stat sb {};
    if (!IsDeviceName(device) || ::stat(control.c_str(), &sb) != 0) {
        return true; // the volume is gone; its pool went with it
    }
    const std::uint64_t most = KernelDefault(device);
    const std::uint64_t noted =
        IsCount(value) ? std::strtoull(value.c_str(), nullptr, 10) : most + 1;
    return WriteControl(control, std::to_string(noted <= most ? noted : most)) == 0;
}

} // namespace

std::string Ext4PoolFile(const std::string& root) {
    const std::string device = DeviceName(root);
    return device.empty() ? std::string() : ControlFile(device);
}

Ext4ReservePool::~Ext4ReservePool() {
    restore();
}

HeldBack Ext4ReservePool::lift(const std::string& root) {
    restore();
    const std::string device = DeviceName(root);
    std::string value;
    if (device.empty() || !ReadFileText(ControlFile(device), value) || !IsCount(value)) {
        return {}; // not ext4, or nothing the kernel lets us see
    }
    struct statvfs vfs {};
    const std::uint64_t unit = ::statvfs(root.c_str(), &vfs) == 0 ? vfs.f_frsize : 4096;
    HeldBack held;
    held.bytes = std::strtoull(value.c_str(), nullptr, 10) * unit;
    if (::geteuid() != 0) {
        held.state = held.bytes > 0 ? HeldBack::State::NotLifted : HeldBack::State::None;
        held.why = "only the administrator can lift it";
        return held;
    }
    const std::string folder = StateFolder();
    const std::string note = kNotePrefix + device;
    OsStatus status;
    UniqueFd lock;
    if (const UniqueFd dir(OpenStateFolder(folder, status)); dir.valid()) {
        lock.reset(OpenTrustedFile(dir.get(), note, O_RDWR | O_CREAT, status));
    }
    if (!lock.valid()) {
        held.state = held.bytes > 0 ? HeldBack::State::NotLifted : HeldBack::State::None;
        held.why = "its note cannot be written in the state folder " + folder + ": " + status.text;
        return held;
    }
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        // Another of our jobs holds it lifted and gives it back when it ends.
        held.state = HeldBack::State::Lifted;
        return held;
    }
    // A job that died left it lifted: its note holds the value to go back to.
    RestoreFromNote(lock.get(), device);
    ReadFileText(ControlFile(device), value);
    if (!IsCount(value) || value == "0") {
        RemoveStateFile(folder, note);
        return {};
    }
    held.bytes = std::strtoull(value.c_str(), nullptr, 10) * unit;
    // The note first, on the medium, so that no crash can lose the value.
    const bool noted =
        ::ftruncate(lock.get(), 0) == 0 &&
        ::pwrite(lock.get(), value.data(), value.size(), 0) == static_cast<ssize_t>(value.size()) &&
        ::fsync(lock.get()) == 0;
    const int err = noted ? WriteControl(ControlFile(device), "0") : errno;
    if (err != 0) {
        RemoveStateFile(folder, note);
        held.state = HeldBack::State::NotLifted;
        held.why = std::string("it cannot be lifted: ") + std::strerror(err);
        return held;
    }
    inPlace_.clear();
    control_ = ControlFile(device);
    folder_ = folder;
    note_ = note;
    oldValue_ = value;
    lock_ = std::move(lock);
    held.state = HeldBack::State::Lifted;
    return held;
}

std::uint64_t Ext4ReservePool::inPlace(const std::string& root, const struct statfs& fs) {
    const VolumeKey key{fs.f_fsid.__val[0], fs.f_fsid.__val[1]};
    if (const auto known = inPlace_.find(key); known != inPlace_.end()) {
        return known->second;
    }
    std::string value;
    const std::string device = DeviceName(root);
    const std::uint64_t unit = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
    const std::uint64_t bytes =
        !device.empty() && ReadFileText(ControlFile(device), value) && IsCount(value)
            ? std::strtoull(value.c_str(), nullptr, 10) * unit
            : 0;
    inPlace_[key] = bytes;
    return bytes;
}

void Ext4ReservePool::restore() {
    inPlace_.clear(); // read again once given back
    if (!lock_.valid()) {
        return;
    }
    if (WriteControl(control_, oldValue_) == 0) {
        RemoveStateFile(folder_, note_);
    }
    lock_.reset(); // the note, if it stays, is given back at the next start
}

void Ext4ReservePool::restoreLeftovers() {
    if (::geteuid() != 0) {
        return; // an ordinary user never lifted anything
    }
    const std::string folder = StateFolder();
    for (const std::string& name : ListStateFiles(folder, "")) {
        if (name.rfind(kNotePrefix, 0) != 0) {
            continue;
        }
        OsStatus status;
        UniqueFd lock;
        if (const UniqueFd dir(OpenStateFolder(folder, status)); dir.valid()) {
            lock.reset(OpenTrustedFile(dir.get(), name, O_RDWR, status));
        }
        if (!lock.valid()) {
            continue; // not a note of ours: nothing in it is acted on
        }
        // A note still locked belongs to a running job.
        if (::flock(lock.get(), LOCK_EX | LOCK_NB) == 0 &&
            RestoreFromNote(lock.get(), name.substr(std::strlen(kNotePrefix)))) {
            RemoveStateFile(folder, name);
        }
    }
}

} // namespace klar
