#include "platform/fill_check.h"
#include "platform/platform.h"
#include "platform/posix/held_back.h"
#include "platform/posix/mount_table.h"
#include "platform/posix/space_map.h"
#include "platform/posix/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <linux/falloc.h>
#include <linux/fs.h>
#include <optional>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace klar {
namespace {

OsStatus fromErrno(int err) {
    OsStatus st;
    switch (err) {
    case ENOSPC:
        st.kind = OsStatus::Kind::DiskFull;
        break;
    case EFBIG:
        st.kind = OsStatus::Kind::FileTooLarge;
        break;
    case EDQUOT:
        st.kind = OsStatus::Kind::QuotaExceeded;
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

bool Aligned(std::uint64_t value) {
    return value % kDirectAlignment == 0;
}

/// Turns O_DIRECT on or off on the very descriptor that created the file (never a reopen by
/// path). False when the system refuses.
bool SetDirect(FillerHandle& file, bool on) {
    const int fd = static_cast<int>(file.native);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, on ? (flags | O_DIRECT) : (flags & ~O_DIRECT)) != 0) {
        return false;
    }
    file.directOn = on;
    return true;
}

/// Whole aligned runs go past the cache; anything else (the tail's small blocks, an offset
/// left odd by a short write) through it.
void ChooseWritePath(FillerHandle& file, const std::uint8_t* data, std::size_t size,
                     std::uint64_t offset) {
    const bool aligned = file.direct && Aligned(reinterpret_cast<std::uintptr_t>(data)) &&
                         Aligned(size) && Aligned(offset);
    if (aligned != file.directOn && !SetDirect(file, aligned) && aligned) {
        file.direct = false;
    }
}

constexpr long kBtrfsMagic = 0x9123683E;
constexpr long kExtMagic = 0xEF53; // ext2, ext3 and ext4
constexpr long kFuseMagic = 0x65735546;
/// EXT4_IOC_CHECKPOINT (Linux 5.13): the journal written out in place.
constexpr unsigned long kExt4Checkpoint = _IOW('f', 43, std::uint32_t);

/// The folder at the top of the filesystem that holds path.
std::string MountRoot(const std::string& path) {
    std::string at = path;
    struct stat here {};
    if (::stat(at.c_str(), &here) != 0) {
        return {};
    }
    for (;;) {
        const std::string parent = at + "/..";
        struct stat up {};
        if (::stat(parent.c_str(), &up) != 0 || up.st_dev != here.st_dev ||
            up.st_ino == here.st_ino) {
            return at;
        }
        at = parent;
        here = up;
    }
}

/// The records NTFS's file table holds (through ntfs-3g), unset on any other filesystem.
/// ntfs-3g shows the table as "$MFT" at the top, with the record number 0 as its inode
/// number, which no file of a user's has; records are taken as 1 KiB, their usual size, so a
/// volume with larger ones gets a larger bound.
std::optional<std::uint64_t> NtfsTableRecords(const std::string& root, long fsType) {
    if (fsType != kFuseMagic) {
        return std::nullopt;
    }
    const std::string top = MountRoot(root);
    struct stat table {};
    if (top.empty() || ::lstat((top + "/$MFT").c_str(), &table) != 0 || !S_ISREG(table.st_mode) ||
        table.st_ino != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(table.st_blocks) * 512 / 1024;
}

/// pool: bytes that ext4 keeps back even from root (its reserved-cluster pool, in place).
void fillSpace(const struct statfs& fs, std::uint64_t pool, SpaceInfo& out) {
    const std::uint64_t unit = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
    const std::uint64_t free = static_cast<std::uint64_t>(fs.f_bfree) * unit;
    const std::uint64_t available = static_cast<std::uint64_t>(fs.f_bavail) * unit;
    out.free = available;
    out.withheld = 0;
    out.total = static_cast<std::uint64_t>(fs.f_blocks) * unit;
    // ext2/3/4 reserve blocks for the administrator: root writes them, so they count as free
    // for root; for anyone else they are free space out of reach. (Elsewhere free blocks that
    // are not available are the filesystem's own, such as btrfs's metadata space.)
    if (static_cast<long>(fs.f_type) == kExtMagic && free > available) {
        if (::geteuid() == 0) {
            out.free = free - std::min(free, pool);
        } else {
            out.withheld = free - available;
        }
    }
}

/// The filler's half of removeLeftover, within the very folder `dir` that was checked.
LeftoverEnd RemoveIn(int dir, const struct stat& folder, const LeftoverFiller& filler,
                     std::uint64_t& bytes) {
    if (filler.name.empty() || filler.name.find('/') != std::string::npos || filler.name == "." ||
        filler.name == "..") {
        return LeftoverEnd::NotOurs;
    }
    struct stat sb {};
    if (::fstatat(dir, filler.name.c_str(), &sb, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? LeftoverEnd::Gone : LeftoverEnd::Unreachable;
    }
    const bool ours = S_ISREG(sb.st_mode) && sb.st_uid == ::geteuid() &&
                      sb.st_dev == folder.st_dev &&
                      (filler.id ? static_cast<std::uint64_t>(sb.st_dev) == filler.id->volume &&
                                       static_cast<std::uint64_t>(sb.st_ino) == filler.id->index
                                 : sb.st_size == 0);
    if (!ours) {
        return LeftoverEnd::NotOurs;
    }
    const UniqueFd fd(
        ::openat(dir, filler.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        return LeftoverEnd::NotOurs;
    }
    struct stat opened {};
    const bool same =
        ::fstat(fd.get(), &opened) == 0 && opened.st_ino == sb.st_ino &&
        opened.st_dev == sb.st_dev &&
        HoldsOnlyFill(static_cast<std::uint64_t>(opened.st_size), filler.fill,
                      [&fd](std::uint64_t at, std::uint8_t* data, std::size_t size) {
                          return ::pread(fd.get(), data, size, static_cast<off_t>(at)) ==
                                 static_cast<ssize_t>(size);
                      });
    if (!same) {
        return LeftoverEnd::NotOurs;
    }
    if (::unlinkat(dir, filler.name.c_str(), 0) != 0) {
        return errno == ENOENT ? LeftoverEnd::Gone : LeftoverEnd::Unreachable;
    }
    bytes = static_cast<std::uint64_t>(opened.st_size);
    return LeftoverEnd::Removed;
}

/// When the file at (dir, path) was created, in ns, without opening it; 0 where the filesystem
/// does not say.
std::uint64_t BirthOf(int dir, const char* path, int flags) {
    struct statx sx {};
    if (::statx(dir, path, flags, STATX_BTIME, &sx) != 0 || (sx.stx_mask & STATX_BTIME) == 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(sx.stx_btime.tv_sec) * 1'000'000'000u + sx.stx_btime.tv_nsec;
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
        out.id = {static_cast<std::uint64_t>(sb.st_dev), static_cast<std::uint64_t>(sb.st_ino),
                  BirthOf(fd, "", AT_EMPTY_PATH)};
        return OsStatus::success();
    }

    OsStatus append(FillerHandle& file, const std::uint8_t* data, std::size_t size,
                    std::size_t& written) override {
        written = 0;
        const int fd = static_cast<int>(file.native);
        ChooseWritePath(file, data, size, file.offset);
        while (written < size) {
            const ssize_t n = ::write(fd, data + written, size - written);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (errno == EINVAL && file.directOn) {
                    // A filesystem that took O_DIRECT but refuses this write: buffered from now.
                    const int err = errno;
                    file.direct = false;
                    if (!SetDirect(file, false)) {
                        return fromErrno(err);
                    }
                    continue;
                }
                OsStatus refused = fromErrno(errno);
                if (refused.code == EPERM) {
                    // A write to a file this process created and holds open: fusefat's answer
                    // to a full disk. The free space left is judged after it all the same.
                    refused.kind = OsStatus::Kind::DiskFull;
                }
                return refused;
            }
            if (n == 0) {
                return fromErrno(ENOSPC);
            }
            written += static_cast<std::size_t>(n);
            file.offset += static_cast<std::uint64_t>(n);
            if (written < size && file.directOn) {
                ChooseWritePath(file, data + written, size - written, file.offset);
            }
        }
        return OsStatus::success();
    }

    bool writeDirect(FillerHandle& file) override {
        if (!file.open() || !SetDirect(file, true)) {
            return false;
        }
        file.direct = true;
        return true;
    }

    OsStatus readBack(FillerHandle& file, std::uint64_t offset, std::uint8_t* data,
                      std::size_t size, std::size_t& read) override {
        read = 0;
        // The very file the handle wrote, opened again through the handle itself: a file put
        // in its place by name is never read. Past the cache where the file took that for its
        // writes; otherwise the range's cached pages, clean after the flush, are dropped so
        // that the read comes from the medium.
        const std::string self = "/proc/self/fd/" + std::to_string(file.native);
        const bool aligned =
            Aligned(reinterpret_cast<std::uintptr_t>(data)) && Aligned(size) && Aligned(offset);
        UniqueFd reader;
        if (aligned && file.direct) {
            reader.reset(::open(self.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC));
        }
        const bool direct = reader.get() >= 0;
        if (!direct) {
            reader.reset(::open(self.c_str(), O_RDONLY | O_CLOEXEC));
            if (reader.get() < 0) {
                return fromErrno(errno);
            }
            (void)::posix_fadvise(reader.get(), static_cast<off_t>(offset),
                                  static_cast<off_t>(size), POSIX_FADV_DONTNEED);
        }
        while (read < size) {
            const ssize_t n =
                ::pread(reader.get(), data + read, size - read, static_cast<off_t>(offset + read));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return fromErrno(errno);
            }
            if (n == 0 || (direct && !Aligned(static_cast<std::uint64_t>(n)))) {
                read += static_cast<std::size_t>(n);
                break; // the file's end
            }
            read += static_cast<std::size_t>(n);
        }
        return OsStatus::success();
    }

    OsStatus addMetadata(FillerHandle& file, std::uint64_t n, const std::uint8_t* data,
                         std::size_t size) override {
        // Through the filler's own descriptor; a new name each time, never one replaced.
        const std::string name = "user.klarvenor." + std::to_string(n);
        if (::fsetxattr(static_cast<int>(file.native), name.c_str(), data, size, XATTR_CREATE) !=
            0) {
            return fromErrno(errno);
        }
        return OsStatus::success();
    }

    OsStatus flush(FillerHandle& file) override {
        if (::fsync(static_cast<int>(file.native)) != 0) {
            return fromErrno(errno);
        }
        return OsStatus::success();
    }

    TrimWay trimWay(const std::string& /*root*/) override {
        // FITRIM is the administrator's; anyone may punch their own files.
        return ::geteuid() == 0 ? TrimWay::FreeSpace : TrimWay::Fillers;
    }

    std::optional<std::uint64_t> trimFreeSpace(const std::string& root) override {
        const UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        fstrim_range range{0, std::numeric_limits<std::uint64_t>::max(), 0};
        if (!fd.valid() || ::ioctl(fd.get(), FITRIM, &range) != 0) {
            return std::nullopt; // tmpfs, FUSE, a device without discard
        }
        return range.len; // the kernel gives back the bytes it trimmed
    }

    std::optional<std::uint64_t> trimFiller(FillerHandle& file) override {
        const int fd = static_cast<int>(file.native);
        struct stat sb {};
        if (::fstat(fd, &sb) != 0 || sb.st_size == 0 ||
            ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, sb.st_size) != 0) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(sb.st_size);
    }

    OsStatus release(FillerHandle& file) override {
        if (::ftruncate(static_cast<int>(file.native), 0) != 0) {
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
            static_cast<std::uint64_t>(sb.st_ino) != id.index ||
            BirthOf(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW) != id.birth) {
            return fromErrno(EEXIST); // another file now, though perhaps under our number
        }
        if (::unlink(path.c_str()) != 0) {
            return fromErrno(errno);
        }
        return OsStatus::success();
    }

    OsStatus removeFiller(const std::string& path, FillerHandle& file) override {
        if (!file.open()) {
            return removeCreated(path, file.id);
        }
        struct stat there {};
        struct stat ours {};
        const bool found = ::lstat(path.c_str(), &there) == 0 &&
                           ::fstat(static_cast<int>(file.native), &ours) == 0;
        OsStatus status = OsStatus::success();
        if (found && (!S_ISREG(there.st_mode) || there.st_dev != ours.st_dev ||
                      there.st_ino != ours.st_ino)) {
            status = fromErrno(EEXIST);
        } else if (!found || ::unlink(path.c_str()) != 0) {
            status = fromErrno(errno);
        }
        close(file);
        return status;
    }

    LeftoverEnd removeLeftover(const LeftoverFiller& filler, std::uint64_t& bytes) override {
        bytes = 0;
        const UniqueFd dir(::open(filler.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dir.valid()) {
            return LeftoverEnd::Unreachable;
        }
        struct stat folder {};
        const bool same = ::fstat(dir.get(), &folder) == 0 &&
                          static_cast<std::uint64_t>(folder.st_dev) == filler.folderId.volume &&
                          static_cast<std::uint64_t>(folder.st_ino) == filler.folderId.folder;
        return same ? RemoveIn(dir.get(), folder, filler, bytes) : LeftoverEnd::Unreachable;
    }

    OsStatus driveSpace(const std::string& root, SpaceInfo& out) override {
        struct statfs fs {};
        if (::statfs(root.c_str(), &fs) != 0) {
            return fromErrno(errno);
        }
        fillSpace(fs, poolInPlace(root, fs), out);
        return OsStatus::success();
    }

    OsStatus driveSpaceThrough(const FillerHandle& file, const std::string& root,
                               SpaceInfo& out) override {
        if (!file.open()) {
            return driveSpace(root, out);
        }
        struct statfs fs {};
        if (::fstatfs(static_cast<int>(file.native), &fs) != 0) {
            return fromErrno(errno);
        }
        fillSpace(fs, poolInPlace(root, fs), out);
        return OsStatus::success();
    }

    OsStatus folderIdentity(const std::string& path, FolderId& out) override {
        struct stat sb {};
        if (::stat(path.c_str(), &sb) != 0) {
            return fromErrno(errno);
        }
        if (!S_ISDIR(sb.st_mode)) {
            return fromErrno(ENOTDIR);
        }
        out = {static_cast<std::uint64_t>(sb.st_dev), static_cast<std::uint64_t>(sb.st_ino)};
        return OsStatus::success();
    }

    OsStatus recordSpace(const std::string& root, RecordSpace& out) override {
        struct statvfs vfs {};
        struct statfs fs {};
        if (::statvfs(root.c_str(), &vfs) != 0 || ::statfs(root.c_str(), &fs) != 0) {
            return fromErrno(errno);
        }
        out = {};
        // A filesystem without an inode table reports no inodes at all.
        if (vfs.f_files != 0) {
            out.free = static_cast<std::uint64_t>(vfs.f_favail);
        }
        out.inMetadata = static_cast<long>(fs.f_type) == kBtrfsMagic;
        out.tableRecords = NtfsTableRecords(root, static_cast<long>(fs.f_type));
        return OsStatus::success();
    }

    VolumeNames volumeNames(const std::string& root) override {
        char resolved[PATH_MAX];
        struct stat sb {};
        if (::realpath(root.c_str(), resolved) == nullptr || ::stat(resolved, &sb) != 0) {
            return {};
        }
        const MountEntry entry =
            mountEntryFor("/proc/self/mounts", resolved, [&sb](const std::string& point) {
                struct stat at {};
                return ::stat(point.c_str(), &at) == 0 && at.st_dev == sb.st_dev;
            });
        return {entry.mountPoint, entry.type, entry.device};
    }

    std::optional<KeptSpace> keptSpace(const std::string& root) override {
        const UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        return fd.valid() ? XfsKeptSpace(fd.get()) : std::nullopt;
    }

    OsStatus fillerExtents(FillerHandle& file, std::vector<FillerExtent>& out) override {
        return WrittenExtents(static_cast<int>(file.native), out) ? OsStatus::success()
                                                                  : fromErrno(errno);
    }

    OsStatus punchFiller(FillerHandle& file, std::uint64_t offset, std::uint64_t length) override {
        if (::fallocate(static_cast<int>(file.native), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                        static_cast<off_t>(offset), static_cast<off_t>(length)) != 0) {
            return fromErrno(errno);
        }
        return OsStatus::success();
    }

    OsStatus writeFillerAt(FillerHandle& file, std::uint64_t offset, const std::uint8_t* data,
                           std::size_t size) override {
        ChooseWritePath(file, data, size, offset);
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::pwrite(static_cast<int>(file.native), data + done, size - done,
                                       static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return fromErrno(n < 0 ? errno : ENOSPC);
            }
            done += static_cast<std::size_t>(n);
        }
        return OsStatus::success();
    }

    OsStatus flushVolume(const std::string& root) override {
        const UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fd.valid()) {
            return fromErrno(errno);
        }
        const int result = ::syncfs(fd.get());
        const int err = errno;
        // ext4 writes metadata into its journal first and into place later; a block that is
        // freed before then (the extent tree of a filler deleted soon after it was written)
        // is never written in place and keeps what it held before. Root can have it written
        // now; anyone else, or an older kernel, is refused and the journal goes on as ever.
        struct statfs fs {};
        if (result == 0 && ::geteuid() == 0 && ::fstatfs(fd.get(), &fs) == 0 &&
            static_cast<long>(fs.f_type) == kExtMagic) {
            std::uint32_t flags = 0;
            (void)::ioctl(fd.get(), kExt4Checkpoint, &flags);
        }
        return result == 0 ? OsStatus::success() : fromErrno(err);
    }

    HeldBack liftHeldBack(const std::string& root) override { return pool_.lift(root); }
    void restoreHeldBack() override { pool_.restore(); }
    void restoreLeftovers() override { Ext4ReservePool::restoreLeftovers(); }

    std::string driveStrings() override {
        return mountPointDriveString("/proc/self/mounts", [](const std::string& path) {
            return ::access(path.c_str(), W_OK) == 0;
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

private:
    /// Only root's figure counts the pool; anyone else's leaves it out already.
    std::uint64_t poolInPlace(const std::string& root, const struct statfs& fs) {
        if (static_cast<long>(fs.f_type) != kExtMagic || ::geteuid() != 0) {
            return 0;
        }
        return pool_.inPlace(root, fs);
    }

    Ext4ReservePool pool_;
};

/// What writing filler files needs of the process: a per-file size limit must come back as a
/// failed write (EFBIG), not end the process through SIGXFSZ; and a pass keeps every filler
/// open until its end, so the descriptor limit is raised as far as the system allows.
void PrepareProcess() {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit files {};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
}

} // namespace

std::unique_ptr<Platform> makeSystemPlatform() {
    PrepareProcess();
    return std::make_unique<PosixPlatform>();
}

} // namespace klar
