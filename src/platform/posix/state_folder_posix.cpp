#include "platform/posix/state_dir.h"
#include "platform/posix/unique_fd.h"
#include "platform/state_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace klar {
namespace {

OsStatus Words(const std::string& why) {
    return {OsStatus::Kind::Failed, 0, why};
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    const passwd* user = ::getpwuid(::geteuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

/// The folder the environment names.
std::string NamedStateFolder() {
    // Relative values are ignored, as the XDG base directory rules ask.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return std::string(state) + "/klarvenor";
    }
    const std::string home = HomeFolder();
    return home.empty() ? "" : home + "/.local/state/klarvenor";
}

std::string Parent(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

/// True when path, or else the nearest folder above it that exists, belongs to someone other
/// than this process's user.
bool BelongsToAnother(const std::string& path) {
    for (std::string at = path;; at = Parent(at)) {
        struct stat sb {};
        if (::lstat(at.c_str(), &sb) == 0) {
            return sb.st_uid != ::geteuid();
        }
        if (at == "/") {
            return false;
        }
    }
}

bool MakeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') {
            if (::mkdir(path.substr(0, at).c_str(), 0700) != 0 && errno != EEXIST) {
                return false;
            }
        }
    }
    return true;
}

/// Why a file or folder of the state may not be trusted; empty when it may.
std::string Distrust(const struct stat& sb, bool folder) {
    if (folder ? !S_ISDIR(sb.st_mode) : !S_ISREG(sb.st_mode)) {
        return folder ? "it is not a folder" : "it is not a plain file";
    }
    if (sb.st_uid != ::geteuid()) {
        return "it belongs to another user";
    }
    if ((sb.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "others may write to it";
    }
    return {};
}

/// fd itself if what it opened may be trusted (see Distrust); else closed, and -1 with why.
int Trusted(int fd, bool folder, OsStatus& status) {
    struct stat sb {};
    const std::string why = ::fstat(fd, &sb) != 0 ? std::strerror(errno) : Distrust(sb, folder);
    if (!why.empty()) {
        ::close(fd);
        status = Words(why);
        return -1;
    }
    status = OsStatus::success();
    return fd;
}

} // namespace

OsStatus ErrnoStatus(int err) {
    return {err == EEXIST ? OsStatus::Kind::Exists : OsStatus::Kind::Failed, err,
            std::strerror(err)};
}

StateFolderChoice ChooseStateFolder() {
    StateFolderChoice choice;
    choice.path = NamedStateFolder();
    if (::geteuid() == 0 && !choice.path.empty() &&
        (BelongsToAnother(choice.path) || BelongsToAnother(Parent(choice.path)))) {
        // Another user could plant journals and notes there for root to act on.
        const passwd* root = ::getpwuid(0);
        const std::string home =
            root != nullptr && root->pw_dir != nullptr && root->pw_dir[0] == '/' ? root->pw_dir
                                                                                 : "/root";
        const std::string own = home + "/.local/state/klarvenor";
        choice.notice = "The state folder " + choice.path +
                        " belongs to another user, so the administrator's own " + own + " is used.";
        choice.path = own;
    }
    return choice;
}

std::string StateFolder() {
    return ChooseStateFolder().path;
}

int OpenStateFolder(const std::string& folder, OsStatus& status) {
    if (folder.empty() || folder[0] != '/' || folder.back() == '/') {
        status = Words("there is no state folder");
        return -1;
    }
    const std::string parent = Parent(folder);
    const std::string name = folder.substr(folder.find_last_of('/') + 1);
    if (!MakeFolders(parent)) {
        status = ErrnoStatus(errno);
        return -1;
    }
    const UniqueFd above(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!above.valid()) {
        status = ErrnoStatus(errno);
        return -1;
    }
    if (::mkdirat(above.get(), name.c_str(), 0700) != 0 && errno != EEXIST) {
        status = ErrnoStatus(errno);
        return -1;
    }
    const int fd =
        ::openat(above.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int err = errno;
    struct stat entry {};
    const bool link = fd < 0 &&
                      ::fstatat(above.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 &&
                      S_ISLNK(entry.st_mode);
    if (fd < 0) {
        status = link             ? Words("it is a link")
                 : err == ENOTDIR ? Words("it is not a folder")
                                  : ErrnoStatus(err);
        return -1;
    }
    return Trusted(fd, true, status);
}

int OpenTrustedFile(int dir, const std::string& name, int flags, OsStatus& status) {
    // Never blocking: a FIFO planted under a journal's name must not stop the program.
    const int fd = ::openat(dir, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        status = errno == ELOOP ? Words("it is a link") : ErrnoStatus(errno);
        return -1;
    }
    if (Trusted(fd, false, status) < 0) {
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

OsStatus CheckStateFolder(const std::string& folder) {
    OsStatus status;
    const UniqueFd fd(OpenStateFolder(folder, status));
    return status;
}

OsStatus CreateHeldFile(const std::string& folder, const std::string& name, HeldFile& out) {
    OsStatus status;
    const UniqueFd dir(OpenStateFolder(folder, status));
    if (!dir.valid()) {
        return status;
    }
    UniqueFd fd(OpenTrustedFile(dir.get(), name, O_WRONLY | O_CREAT | O_EXCL | O_APPEND, status));
    if (!fd.valid()) {
        return status;
    }
    // The lock goes with the descriptor: a process that dies for any reason lets it go.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        status = ErrnoStatus(errno);
        fd.reset();
        ::unlinkat(dir.get(), name.c_str(), 0);
        return status;
    }
    out.native = fd.release();
    return OsStatus::success();
}

OsStatus AppendToHeldFile(HeldFile& file, const std::string& text, bool flush) {
    const int fd = static_cast<int>(file.native);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return ErrnoStatus(n < 0 ? errno : ENOSPC);
        }
        done += static_cast<std::size_t>(n);
    }
    return !flush || ::fsync(fd) == 0 ? OsStatus::success() : ErrnoStatus(errno);
}

OsStatus TruncateHeldFile(HeldFile& file, std::uint64_t size) {
    const int fd = static_cast<int>(file.native);
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0 || ::fsync(fd) != 0) {
        return ErrnoStatus(errno);
    }
    return OsStatus::success();
}

void CloseHeldFile(HeldFile& file) {
    if (file.open()) {
        ::close(static_cast<int>(file.native));
        file.native = -1;
    }
}

std::vector<std::string> ListStateFiles(const std::string& folder, const std::string& suffix) {
    std::vector<std::string> names;
    OsStatus status;
    const int fd = OpenStateFolder(folder, status);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (dir == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

OsStatus TakeOverHeldFile(const std::string& folder, const std::string& name,
                          std::uint64_t maxBytes, HeldFile& out, std::uint64_t& size) {
    OsStatus status;
    UniqueFd fd;
    if (const UniqueFd dir(OpenStateFolder(folder, status)); dir.valid()) {
        fd.reset(OpenTrustedFile(dir.get(), name, O_RDONLY, status));
    }
    if (!fd.valid()) {
        return status;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? ErrnoStatus(EEXIST) : ErrnoStatus(errno);
    }
    struct stat sb {};
    if (::fstat(fd.get(), &sb) != 0 || static_cast<std::uint64_t>(sb.st_size) > maxBytes) {
        return Words("it is larger than any journal of ours");
    }
    size = static_cast<std::uint64_t>(sb.st_size);
    out.native = fd.release();
    return OsStatus::success();
}

std::size_t ReadHeldFile(HeldFile& file, std::uint64_t offset, char* data, std::size_t size) {
    for (;;) {
        const ssize_t n =
            ::pread(static_cast<int>(file.native), data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
}

bool RemoveStateFile(const std::string& folder, const std::string& name) {
    OsStatus status;
    const UniqueFd dir(OpenStateFolder(folder, status));
    return dir.valid() && (::unlinkat(dir.get(), name.c_str(), 0) == 0 || errno == ENOENT);
}

} // namespace klar
