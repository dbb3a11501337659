#include "posix/held_back.h"

#include "state_folder.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace klar {
namespace {

constexpr const char* kNotePrefix = "ext4-reserve-";

bool MakeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') {
            const std::string part = path.substr(0, at);
            if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
                return false;
            }
        }
    }
    return true;
}

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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ReadSmall(fd, out);
    ::close(fd);
    return ok;
}

/// Writes value into a sysfs file; 0 on success, else the errno.
int WriteControl(const std::string& path, const std::string& value) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const std::string line = value + "\n";
    const ssize_t n = ::write(fd, line.data(), line.size());
    const int err = n == static_cast<ssize_t>(line.size()) ? 0 : (n < 0 ? errno : EIO);
    ::close(fd);
    return err;
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

/// Gives back the value a note holds, if any; true when nothing is left to give back.
bool RestoreFromNote(int note, const std::string& control) {
    std::string value;
    if (!ReadSmall(note, value) || value.empty()) {
        return true;
    }
    if (!IsCount(value)) {
        return true; // not ours to write anywhere
    }
    struct stat sb {};
    if (::stat(control.c_str(), &sb) != 0) {
        return true; // the volume is gone; its pool went with it
    }
    return WriteControl(control, value) == 0;
}

/// The state folder, made if it is missing; empty when there is none.
std::string NoteFolder() {
    const std::string folder = StateFolder();
    return !folder.empty() && MakeFolders(folder) ? folder : std::string();
}

} // namespace

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
    const std::string folder = NoteFolder();
    if (folder.empty()) {
        held.state = held.bytes > 0 ? HeldBack::State::NotLifted : HeldBack::State::None;
        held.why = "no state folder to note it in";
        return held;
    }
    const std::string note = folder + "/" + kNotePrefix + device;
    const int lock = ::open(note.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0) {
        held.state = held.bytes > 0 ? HeldBack::State::NotLifted : HeldBack::State::None;
        held.why = std::string("its note cannot be written: ") + std::strerror(errno);
        return held;
    }
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        // Another of our jobs holds it lifted and gives it back when it ends.
        ::close(lock);
        held.state = HeldBack::State::Lifted;
        return held;
    }
    // A job that died left it lifted: its note holds the value to go back to.
    RestoreFromNote(lock, ControlFile(device));
    ReadFileText(ControlFile(device), value);
    if (!IsCount(value) || value == "0") {
        ::unlink(note.c_str());
        ::close(lock);
        return {};
    }
    held.bytes = std::strtoull(value.c_str(), nullptr, 10) * unit;
    // The note first, on the medium, so that no crash can lose the value.
    const bool noted =
        ::ftruncate(lock, 0) == 0 &&
        ::pwrite(lock, value.data(), value.size(), 0) == static_cast<ssize_t>(value.size()) &&
        ::fsync(lock) == 0;
    const int err = noted ? WriteControl(ControlFile(device), "0") : errno;
    if (err != 0) {
        ::unlink(note.c_str());
        ::close(lock);
        held.state = HeldBack::State::NotLifted;
        held.why = std::string("it cannot be lifted: ") + std::strerror(err);
        return held;
    }
    control_ = ControlFile(device);
    note_ = note;
    oldValue_ = value;
    lock_ = lock;
    held.state = HeldBack::State::Lifted;
    return held;
}

void Ext4ReservePool::restore() {
    if (lock_ < 0) {
        return;
    }
    if (WriteControl(control_, oldValue_) == 0) {
        ::unlink(note_.c_str());
    }
    ::close(lock_); // the note, if it stays, is given back at the next start
    lock_ = -1;
}

void Ext4ReservePool::restoreLeftovers() {
    if (::geteuid() != 0) {
        return; // an ordinary user never lifted anything
    }
    const std::string folder = NoteFolder();
    DIR* dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind(kNotePrefix, 0) != 0) {
            continue;
        }
        const std::string note = folder + "/" + name;
        const int lock = ::open(note.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (lock < 0) {
            continue;
        }
        // A note still locked belongs to a running job.
        if (::flock(lock, LOCK_EX | LOCK_NB) == 0 &&
            RestoreFromNote(lock, ControlFile(name.substr(std::strlen(kNotePrefix))))) {
            ::unlink(note.c_str());
        }
        ::close(lock);
    }
    ::closedir(dir);
}

} // namespace klar
