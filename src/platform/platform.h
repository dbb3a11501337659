#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace klar {

/// What writes past the system's cache need aligned: the buffer's address, the length and the
/// file offset. A multiple of every sector size in use (512 and 4096 bytes).
inline constexpr std::size_t kDirectAlignment = 4096;

/// Outcome of an operating-system call, carrying the system's own words for a failure.
struct OsStatus {
    enum class Kind {
        Ok,
        DiskFull,      ///< no room left on the volume, or no file record (ENOSPC, ERROR_DISK_FULL)
        FileTooLarge,  ///< a limit on the size of one file (EFBIG, ERROR_FILE_TOO_LARGE)
        QuotaExceeded, ///< the user's share of the volume is used up (EDQUOT)
        Exists,        ///< the name is already taken (by a file, folder or link)
        Failed,        ///< anything else: device gone, I/O error, access denied, read-only, ...
    };
    Kind kind = Kind::Ok;
    int code = 0;     ///< errno or the Windows error code; 0 when Ok
    std::string text; ///< the system's message, without a final period; empty when Ok

    [[nodiscard]] bool ok() const { return kind == Kind::Ok; }
    static OsStatus success() { return {}; }
};

/// Identity of a file we created, so that a name replaced under us is told apart from it.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    /// When the file came to be (ns), where the system tells: a file number freed by a delete
    /// is soon given to the next new file (ext4), and this tells the two apart. 0 elsewhere.
    std::uint64_t birth = 0;
};

/// A filler file created by this program: open for appending, with the identity it had when
/// created. The platform owns what `native` means (a descriptor or a HANDLE); -1 when closed.
/// A filler file held open by the platform, which alone closes it (Platform::close). Not
/// copyable: two copies would close, or write through, one system handle twice.
struct FillerHandle {
    FillerHandle() = default;
    FillerHandle(const FillerHandle&) = delete;
    FillerHandle& operator=(const FillerHandle&) = delete;
    FillerHandle(FillerHandle&& other) noexcept { *this = std::move(other); }
    FillerHandle& operator=(FillerHandle&& other) noexcept {
        if (this != &other) {
            native = std::exchange(other.native, -1);
            id = other.id;
            directNative = std::exchange(other.directNative, -1);
            direct = other.direct;
            directOn = other.directOn;
            offset = other.offset;
        }
        return *this;
    }

    std::intptr_t native = -1;
    FileId id;
    std::intptr_t directNative = -1; ///< a second handle past the cache, where one is needed
    bool direct = false;             ///< writeDirect succeeded: aligned appends skip the cache
    bool directOn = false;           ///< the descriptor's state right now (POSIX toggles it)
    std::uint64_t offset = 0;        ///< bytes appended so far: where the next append lands
    [[nodiscard]] bool open() const { return native != -1; }
};

/// Identity of a folder and of the volume that holds it, so that a folder renamed, replaced or
/// unmounted under a job is noticed. `volume` is comparable with FileId::volume.
struct FolderId {
    std::uint64_t volume = 0;
    std::uint64_t folder = 0;
    friend bool operator==(const FolderId&, const FolderId&) = default;
};

struct SpaceInfo {
    std::uint64_t free = 0;     ///< bytes available to this process
    std::uint64_t total = 0;    ///< size of the volume in bytes
    std::uint64_t withheld = 0; ///< free bytes this process may not write (a root reserve)
};

/// What a volume tells about the room for file records (inodes, MFT records).
struct RecordSpace {
    /// Records that new files may still take; unset when the filesystem does not say.
    std::optional<std::uint64_t> free;
    /// Records and the data of small files live in metadata that a data fill cannot reach and
    /// that empty files still take once the data space is full (btrfs).
    bool inMetadata = false;
    /// The records the file table holds before it has to grow, where files are listed in a
    /// table whose free records new files reuse and whose folders' indexes grow into free data
    /// space (NTFS). A new file rewrites its whole record, so once the fill is deleted empty
    /// files reach every free record, and the table growing says that none is left.
    std::optional<std::uint64_t> tableRecords;
};

/// A stretch of a volume's device, in bytes from its start.
struct DeviceRange {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
};

/// Where a volume keeps free space for its own use that no file write takes while the volume
/// is full (xfs holds a count of free blocks back in each allocation group, for its own trees),
/// so that whichever free blocks stay free keep what they held.
struct KeptSpace {
    /// The volume allocates within groups of this many bytes; a write into a hole of a file
    /// takes its space in the group of the file's bytes around it while that group has room.
    std::uint64_t groupBytes = 0;
    std::uint32_t blockBytes = 0;  ///< the unit it allocates in
    std::vector<DeviceRange> free; ///< every free range its own map lists, in device order
    /// The map could be read: older kernels show xfs's only to the administrator, and then
    /// nobody can tell where the kept space lies.
    bool listed = true;
};

/// Where written bytes of a filler lie on the device: length bytes from offset in the file.
struct FillerExtent {
    std::uint64_t offset = 0;
    std::uint64_t device = 0;
    std::uint64_t length = 0;
};

/// A filler that a job which died may have left behind, as its journal names it.
struct LeftoverFiller {
    std::string folder;       ///< the absolute path of the folder the job filled
    FolderId folderId;        ///< that folder's identity when the job filled it
    std::string name;         ///< the filler's name, directly in that folder
    std::optional<FileId> id; ///< its identity; unset when the job died while creating it
    std::uint8_t fill = 0;    ///< the only byte it may hold
};

/// What became of a LeftoverFiller.
enum class LeftoverEnd {
    Removed,     ///< it was still that filler, and it is deleted
    Gone,        ///< the folder is there and the filler is not: nothing left to do
    NotOurs,     ///< something else stands at its name: left alone
    Unreachable, ///< the folder is missing or is another one (a volume not mounted): try later
};

/// Space a filesystem holds back from every write of ordinary files (ext4's pool of reserved
/// clusters), and whether this job has lifted it for its fill.
struct HeldBack {
    enum class State {
        None,      ///< nothing is held back on this volume
        Lifted,    ///< lifted by this job (or by another of ours that holds it) until restored
        NotLifted, ///< held back and out of this process's reach
    };
    State state = State::None;
    std::uint64_t bytes = 0; ///< held back before lifting
    std::string why;         ///< for NotLifted: why it could not be lifted, in a few words
};

class StateFiles;

/// How the system names the volume that holds a folder, for records: empty fields where it
/// cannot say.
struct VolumeNames {
    std::string mountPoint; ///< where it is mounted ("/media/usb", "E:\\")
    std::string filesystem; ///< "ext4", "NTFS"
    std::string device;     ///< "/dev/sdb1", "\\\\?\\Volume{…}\\"
};

/// Everything the engine needs from the operating system. Abstract so that tests can put a
/// double in front of the real backend that fails at chosen calls.
class Platform {
public:
    virtual ~Platform() = default;

    /// True if path names anything: a file, a folder or a link (even a dangling one).
    /// Never fails; every failure of the query counts as absence.
    [[nodiscard]] virtual bool pathExists(const std::string& path) = 0;

    /// Creates path as a new empty file, never opening an existing one and never following a
    /// link. On success `out` is open. Kind::Exists when the name is taken.
    [[nodiscard]] virtual OsStatus createExclusive(const std::string& path, FillerHandle& out) = 0;

    /// Appends size bytes to the file. A partial write is a failure: the status then carries
    /// the error that stopped it, and `written` tells how much reached the file.
    [[nodiscard]] virtual OsStatus append(FillerHandle& file, const std::uint8_t* data,
                                          std::size_t size, std::size_t& written) = 0;

    /// Lets later appends of whole aligned runs (kDirectAlignment: address, size and file
    /// offset) go straight to the device, past the system's cache; other appends stay
    /// buffered. False, with the file unchanged, where the filesystem does not allow it.
    [[nodiscard]] virtual bool writeDirect(FillerHandle& file) {
        (void)file;
        return false;
    }

    /// Adds size bytes to a filler where the filesystem keeps them in its metadata, not in
    /// data space (a named attribute; btrfs keeps it in its trees), under the n-th name of the
    /// filler's. DiskFull once the metadata takes no more; Failed where attributes are not
    /// kept that way, or not of that size.
    [[nodiscard]] virtual OsStatus addMetadata(FillerHandle& /*file*/, std::uint64_t /*n*/,
                                               const std::uint8_t* /*data*/, std::size_t /*size*/) {
        return OsStatus{OsStatus::Kind::Failed, 0, "no metadata can be added to a file"};
    }

    /// Forces the file's data to the medium. A failure means the data may not be there.
    [[nodiscard]] virtual OsStatus flush(FillerHandle& file) = 0;

    /// Reads up to size bytes of a flushed filler from offset, from the medium: past the
    /// system's cache where the filesystem allows it (aligned runs, as writeDirect), otherwise
    /// after the cached copy of that range is dropped. `read` tells how many came; fewer only
    /// at the file's end. Never moves where the next append lands.
    [[nodiscard]] virtual OsStatus readBack(FillerHandle& file, std::uint64_t offset,
                                            std::uint8_t* data, std::size_t size,
                                            std::size_t& read) = 0;

    /// Cuts the file to zero bytes through its handle, so that its space is released even if
    /// the file was renamed or linked elsewhere meanwhile. Failed when the system refuses.
    [[nodiscard]] virtual OsStatus release(FillerHandle& file) = 0;

    /// Releases the handle; the file stays. Safe on a closed handle.
    virtual void close(FillerHandle& file) = 0;

    /// Deletes path only if it is still the very file identified by `id`. Kind::Exists when
    /// something else now stands at path (it is left alone); Failed when the delete is refused.
    [[nodiscard]] virtual OsStatus removeCreated(const std::string& path, const FileId& id) = 0;
    /// The same for a filler whose handle may still be open, which it closes: where the system
    /// lets a file be deleted while open (POSIX), the check is made first, as no other file
    /// can take the number of a file still held open.
    [[nodiscard]] virtual OsStatus removeFiller(const std::string& path, FillerHandle& file) {
        close(file);
        return removeCreated(path, file.id);
    }

    /// Deletes a filler that a job which died left behind, and nothing else: only a plain file
    /// of this user's, directly in the folder with the recorded identity (reached through that
    /// very folder, so a link swapped into the path cannot redirect it), with the recorded
    /// identity, holding nothing but the fill byte; with no identity recorded, only an empty
    /// file. `bytes` receives the size of what was removed.
    [[nodiscard]] virtual LeftoverEnd removeLeftover(const LeftoverFiller& filler,
                                                     std::uint64_t& bytes) = 0;

    /// Free and total bytes of the volume holding root, read afresh.
    [[nodiscard]] virtual OsStatus driveSpace(const std::string& root, SpaceInfo& out) = 0;

    /// The same, for the volume holding root on which file is open. Asked after every block,
    /// so a backend that can answer through the handle skips the path lookup; the default
    /// asks by path.
    [[nodiscard]] virtual OsStatus driveSpaceThrough(const FillerHandle& file,
                                                     const std::string& root, SpaceInfo& out) {
        (void)file;
        return driveSpace(root, out);
    }

    /// The identity of the folder at path and of its volume. Failed when path cannot be
    /// reached or is not a folder.
    [[nodiscard]] virtual OsStatus folderIdentity(const std::string& path, FolderId& out) = 0;

    /// The record room of the volume holding root. The default knows nothing about it.
    [[nodiscard]] virtual OsStatus recordSpace(const std::string& root, RecordSpace& out) {
        (void)root;
        out = {};
        return OsStatus::success();
    }

    /// How the system names the volume holding root; empty fields where it cannot say.
    [[nodiscard]] virtual VolumeNames volumeNames(const std::string& /*root*/) { return {}; }

    /// How cleared space on the volume holding root can be handed back to its device (an SSD,
    /// a thin-provisioned disk): its free space as a whole, or each filler before it goes.
    enum class TrimWay { None, FreeSpace, Fillers };
    [[nodiscard]] virtual TrimWay trimWay(const std::string& /*root*/) { return TrimWay::None; }
    /// Hands the free space of the volume holding root to its device; the bytes it says it
    /// trimmed, nothing where it cannot (not an error: the space is cleared all the same).
    [[nodiscard]] virtual std::optional<std::uint64_t> trimFreeSpace(const std::string& /*root*/) {
        return std::nullopt;
    }
    /// Hands a filler's data to the device before the filler is emptied; the bytes, nothing
    /// where the filesystem or device cannot.
    [[nodiscard]] virtual std::optional<std::uint64_t> trimFiller(FillerHandle& /*file*/) {
        return std::nullopt;
    }

    /// The free space of the volume holding root, where the filesystem keeps some for its own
    /// use and says where it lies (xfs); nothing elsewhere.
    [[nodiscard]] virtual std::optional<KeptSpace> keptSpace(const std::string& /*root*/) {
        return std::nullopt;
    }
    /// Where the filler's written bytes lie on the device, after its data reached the medium;
    /// bytes the filesystem has not placed or not written (reserved, unwritten) are left out.
    [[nodiscard]] virtual OsStatus fillerExtents(FillerHandle& /*file*/,
                                                 std::vector<FillerExtent>& out) {
        out.clear();
        return OsStatus{OsStatus::Kind::Failed, 0, "the system does not say where files lie"};
    }
    /// Frees length bytes of the filler from offset at once, its length unchanged (a hole).
    [[nodiscard]] virtual OsStatus punchFiller(FillerHandle& /*file*/, std::uint64_t /*offset*/,
                                               std::uint64_t /*length*/) {
        return OsStatus{OsStatus::Kind::Failed, 0, "no hole can be made in a file"};
    }
    /// Writes size bytes into the filler at offset, inside its length, past the system's
    /// cache as its aligned appends go, so that the filesystem places them at once. A partial
    /// write is a failure.
    [[nodiscard]] virtual OsStatus writeFillerAt(FillerHandle& /*file*/, std::uint64_t /*offset*/,
                                                 const std::uint8_t* /*data*/,
                                                 std::size_t /*size*/) {
        return OsStatus{OsStatus::Kind::Failed, 0, "no file can be written in place"};
    }

    /// Forces everything written to the volume holding root, metadata included, to the
    /// medium. The default has no such call: it fails, and callers flush every file instead.
    [[nodiscard]] virtual OsStatus flushVolume(const std::string& root) {
        (void)root;
        return OsStatus{OsStatus::Kind::Failed, 0, "the volume cannot be flushed as a whole"};
    }

    /// Lets the fill reach the space the filesystem holds back, where this process may; the
    /// space stays lifted until restoreHeldBack. Never lifts what another job of ours holds.
    /// The default finds nothing held back.
    virtual HeldBack liftHeldBack(const std::string& root) {
        (void)root;
        return {};
    }

    /// Gives back what liftHeldBack lifted; nothing when it lifted nothing. Never fails: a
    /// value that cannot be written back is restored at the program's next start.
    virtual void restoreHeldBack() {}

    /// Restores what a job of an earlier run lifted and could not give back (it died).
    /// Front ends call it at start.
    virtual void restoreLeftovers() {}

    /// The files of the user's state folder (the job journals), through which the engine
    /// reaches them: the system's, unless a double stands in.
    [[nodiscard]] virtual StateFiles& stateFiles();

    /// The system's drives: root paths, each followed by a NUL, and one more NUL at the end.
    /// Empty when the system cannot tell.
    [[nodiscard]] virtual std::string driveStrings() = 0;

    /// The root path for a non-blank drive text as typed (Windows: "T:\"; POSIX: the text).
    [[nodiscard]] virtual std::string rootPath(const std::string& driveText) = 0;

    /// How messages name the drive (Windows: the upper-cased letter; POSIX: the text as typed).
    [[nodiscard]] virtual std::string driveName(const std::string& driveText) = 0;

    /// The path of a file called name in the root folder.
    [[nodiscard]] virtual std::string joinPath(const std::string& root,
                                               const std::string& name) = 0;
};

/// The backend of the system this program was built for.
std::unique_ptr<Platform> makeSystemPlatform();

} // namespace klar
