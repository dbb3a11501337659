#include "platform.h"
#include "posix/mount_table.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace klar {
namespace {

OsStatus fromErrno(int err) {
    OsStatus st;
    switch (err) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        st.kind = OsStatus::Kind::DiskFull;
        break;
    case EEXIST:
        st.kind = OsStatus::Kind::Exists;
        break;
    default:
        st.kind = OsStatus::Kind::Failed;
        break;
    }
    st.code = err;
    st.text = std::strerror(err);
    return st;
}

void fillSpace(const struct statvfs& vfs, SpaceInfo& out) {
    const std::uint64_t unit = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
    out.free = static_cast<std::uint64_t>(vfs.f_bavail) * unit;
    out.total = static_cast<std::uint64_t>(vfs.f_blocks) * unit;
}

class PosixPlatform final : public Platform {
public:
    bool pathExists(const std::string& path) override {
        struct stat sb {};
        return !path.empty() && ::lstat(path.c_str(), &sb) == 0;
    }

    OsStatus createExclusive(const std::string& path, FillerHandle& out) override {
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            return fromErrno(errno);
        }
        struct stat sb {};
        if (::fstat(fd, &sb) != 0) {
            const int err = errno;
            ::close(fd);
            ::unlink(path.c_str());
            return fromErrno(err);
        }
        out.native = fd;
        out.id = {static_cast<std::uint64_t>(sb.st_dev), static_cast<std::uint64_t>(sb.st_ino)};
        return OsStatus::success();
    }

    OsStatus append(FillerHandle& file, const std::uint8_t* data, std::size_t size,
                    std::size_t& written) override {
        written = 0;
        const int fd = static_cast<int>(file.native);
        while (written < size) {
            const ssize_t n = ::write(fd, data + written, size - written);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return fromErrno(errno);
            }
            if (n == 0) {
                return fromErrno(ENOSPC);
            }
            written += static_cast<std::size_t>(n);
        }
        return OsStatus::success();
    }

    OsStatus flush(FillerHandle& file) override {
        if (::fsync(static_cast<int>(file.native)) != 0) {
            return fromErrno(errno);
        }
        return OsStatus::success();
    }

    void close(FillerHandle& file) override {
        if (file.open()) {
            ::close(static_cast<int>(file.native));
            file.native = -1;
        }
    }

    OsStatus removeCreated(const std::string& path, const FileId& id) override {
        struct stat sb {};
        if (::lstat(path.c_str(), &sb) != 0) {
            return fromErrno(errno);
        }
        if (!S_ISREG(sb.st_mode) || static_cast<std::uint64_t>(sb.st_dev) != id.volume ||
            static_cast<std::uint64_t>(sb.st_ino) != id.index) {
            return fromErrno(EEXIST);
        }
        if (::unlink(path.c_str()) != 0) {
            return fromErrno(errno);
        }
        return OsStatus::success();
    }

    OsStatus driveSpace(const std::string& root, SpaceInfo& out) override {
        struct statvfs vfs {};
        if (::statvfs(root.c_str(), &vfs) != 0) {
            return fromErrno(errno);
        }
        fillSpace(vfs, out);
        return OsStatus::success();
    }

    OsStatus driveSpaceThrough(const FillerHandle& file, const std::string& root,
                               SpaceInfo& out) override {
        if (!file.open()) {
            return driveSpace(root, out);
        }
        struct statvfs vfs {};
        if (::fstatvfs(static_cast<int>(file.native), &vfs) != 0) {
            return fromErrno(errno);
        }
        fillSpace(vfs, out);
        return OsStatus::success();
    }

    std::string driveStrings() override {
        // A mount point the user cannot write into is no drive the user can clear.
        return mountPointDriveString("/proc/self/mounts", [](const std::string& mountPoint) {
            return ::access(mountPoint.c_str(), W_OK) == 0;
        });
    }

    std::string rootPath(const std::string& driveText) override { return driveText; }

    std::string driveName(const std::string& driveText) override { return driveText; }

    std::string joinPath(const std::string& root, const std::string& name) override {
        if (!root.empty() && root.back() == '/') {
            return root + name;
        }
        return root + "/" + name;
    }
};

} // namespace

std::unique_ptr<Platform> makeSystemPlatform() {
    return std::make_unique<PosixPlatform>();
}

} // namespace klar
