#include "platform/posix/unique_fd.h"
#include "platform/record_file.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace klar {

std::string WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    UniqueFd fd(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.valid()) {
        return std::strerror(errno);
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::string why = std::strerror(n < 0 ? errno : ENOSPC);
            ::unlink(temporary.c_str());
            return why;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0 || ::close(fd.release()) != 0 ||
        ::rename(temporary.c_str(), path.c_str()) != 0) {
        std::string why = std::strerror(errno);
        ::unlink(temporary.c_str());
        return why;
    }
    return {};
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1]{};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

std::string UserName() {
    const passwd* user = ::getpwuid(::geteuid());
    return user != nullptr && user->pw_name != nullptr ? user->pw_name : "";
}

} // namespace klar
