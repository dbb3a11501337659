#include "state_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

namespace klar {
namespace {

OsStatus Failure(int err) {
    return {err == EEXIST ? OsStatus::Kind::Exists : OsStatus::Kind::Failed, err,
            std::strerror(err)};
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    const passwd* user = ::getpwuid(::getuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

} // namespace

std::string StateFolder() {
    // Relative values are ignored, as the XDG base directory rules ask.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return std::string(state) + "/klarvenor";
    }
    const std::string home = HomeFolder();
    return home.empty() ? "" : home + "/.local/state/klarvenor";
}

OsStatus CreateHeldFile(const std::string& path, FillerHandle& out) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_APPEND, 0600);
    if (fd < 0) {
        return Failure(errno);
    }
    // The lock goes with the descriptor: a process that dies for any reason lets it go.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(path.c_str());
        return Failure(err);
    }
    out.native = fd;
    return OsStatus::success();
}

OsStatus AppendToHeldFile(FillerHandle& file, const std::string& text, bool flush) {
    const int fd = static_cast<int>(file.native);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Failure(n < 0 ? errno : ENOSPC);
        }
        done += static_cast<std::size_t>(n);
    }
    return !flush || ::fsync(fd) == 0 ? OsStatus::success() : Failure(errno);
}

void CloseHeldFile(FillerHandle& file) {
    if (file.open()) {
        ::close(static_cast<int>(file.native));
        file.native = -1;
    }
}

OsStatus TakeOverHeldFile(const std::string& path, FillerHandle& out, std::string& content) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return Failure(errno);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? Failure(EEXIST) : Failure(err);
    }
    content.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            return Failure(err);
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    out.native = fd;
    return OsStatus::success();
}

} // namespace klar
