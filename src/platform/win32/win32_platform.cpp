#include "platform/fill_check.h"
#include "platform/platform.h"

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string>
#include <windows.h>
#include <winioctl.h>

namespace klar {
namespace {

// ---- Text: the engine speaks UTF-8, the system UTF-16.

/// False when text is not valid UTF-8.
bool ToWide(const std::string& text, std::wstring& out) {
    out.clear();
    if (text.empty()) {
        return true;
    }
    const int size = static_cast<int>(text.size());
    const int n =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) {
        return false;
    }
    out.resize(static_cast<std::size_t>(n));
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, out.data(), n) ==
           n;
}

/// Converts every character, NULs included, since drive strings carry them as separators.
std::string ToUtf8(const wchar_t* text, std::size_t length) {
    if (length == 0) {
        return {};
    }
    const int size = static_cast<int>(length);
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
        return {};
    }
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, size, out.data(), n, nullptr, nullptr);
    return out;
}

/// The system's words for an error code, in one line and without the final period.
std::string SystemMessage(DWORD code) {
    wchar_t buffer[512];
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
    std::string text = ToUtf8(buffer, n);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    while (!text.empty() && (text.back() == ' ' || text.back() == '.')) {
        text.pop_back();
    }
    if (text.empty()) {
        text = "Windows error " + std::to_string(code);
    }
    return text;
}

// What NTFS answers when the user's quota is used up; older SDK headers lack the name.
constexpr DWORD kDiskQuotaExceeded = 1295;

OsStatus FromError(DWORD code) {
    OsStatus st;
    switch (code) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        st.kind = OsStatus::Kind::DiskFull;
        break;
    case ERROR_FILE_TOO_LARGE:
        st.kind = OsStatus::Kind::FileTooLarge;
        break;
    case kDiskQuotaExceeded:
        st.kind = OsStatus::Kind::QuotaExceeded;
        break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        st.kind = OsStatus::Kind::Exists;
        break;
    default:
        st.kind = OsStatus::Kind::Failed;
        break;
    }
    st.code = static_cast<int>(code);
    st.text = SystemMessage(code);
    return st;
}

OsStatus LastError() {
    return FromError(::GetLastError());
}

/// A file or folder opened for nothing but queries of its attributes: a folder opens only with
/// backup semantics, and nothing is read, written or locked through the handle.
HANDLE OpenForQueries(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

HANDLE AsHandle(const FillerHandle& file) {
    return reinterpret_cast<HANDLE>(file.native);
}

HANDLE DirectHandle(const FillerHandle& file) {
    return reinterpret_cast<HANDLE>(file.directNative);
}

bool Aligned(std::uint64_t value) {
    return value % kDirectAlignment == 0;
}

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

/// Marks the open file for deletion; it goes when its last handle closes. Deleting through a
/// handle leaves no gap between checking a file and removing it.
bool DeleteByHandle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                        sizeof disposition) != FALSE;
}

/// Reads exactly size bytes at offset through handle.
bool ReadAt(HANDLE handle, std::uint64_t offset, std::uint8_t* data, std::size_t size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return size == 0 ||
           (::ReadFile(handle, data, static_cast<DWORD>(size), &got, &at) && got == size);
}

/// The filler's half of removeLeftover, once its folder was found to be the recorded one.
LeftoverEnd RemoveLeftoverFile(const std::wstring& path, const LeftoverFiller& filler,
                               std::uint64_t& bytes) {
    // Whatever stands there now, a link included, without following it.
    const HANDLE handle =
        ::CreateFileW(path.c_str(), DELETE | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND   ? LeftoverEnd::Gone
               : error == ERROR_PATH_NOT_FOUND ? LeftoverEnd::Unreachable
                                               : LeftoverEnd::NotOurs;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    bool ours =
        ::GetFileInformationByHandle(handle, &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        ::GetFileType(handle) == FILE_TYPE_DISK && IdOf(info).volume == filler.folderId.volume;
    const std::uint64_t length =
        (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (ours) {
        ours = filler.id
                   ? IdOf(info).index == filler.id->index && IdOf(info).volume == filler.id->volume
                   : length == 0;
    }
    ours = ours &&
           HoldsOnlyFill(length, filler.fill,
                         [handle](std::uint64_t at, std::uint8_t* data, std::size_t size) {
                             return ReadAt(handle, at, data, size);
                         }) &&
           DeleteByHandle(handle);
    ::CloseHandle(handle);
    if (ours) {
        bytes = length;
    }
    return ours ? LeftoverEnd::Removed : LeftoverEnd::NotOurs;
}

// ---- Free space through an open file: a single call, where a query by path opens the root
// folder every time (measured under Wine: 0.8 against 190 microseconds, for every block).

// NtQueryVolumeInformationFile and what it fills in for FileFsFullSizeInformation, as the
// driver kit declares them; the SDK's headers leave them out.
struct IoStatusBlock {
    union {
        LONG status;
        void* pointer;
    };
    ULONG_PTR information;
};
struct FsFullSizeInformation {
    LARGE_INTEGER totalAllocationUnits;
    LARGE_INTEGER callerAvailableAllocationUnits;
    LARGE_INTEGER actualAvailableAllocationUnits;
    ULONG sectorsPerAllocationUnit;
    ULONG bytesPerSector;
};
constexpr ULONG kFileFsFullSizeInformation = 7;
using QueryVolumeFn = LONG(WINAPI*)(HANDLE, IoStatusBlock*, void*, ULONG, ULONG);
using StatusToErrorFn = ULONG(WINAPI*)(LONG);

/// A function of ntdll, looked up at run time so that nothing links against ntdll itself.
template <typename Fn> Fn NtdllFunction(const char* name) {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const FARPROC proc = ntdll != nullptr ? ::GetProcAddress(ntdll, name) : nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

// ---- Drive text.

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

/// "t", "t:", "t:\" and "t:/" all name drive T; anything else is taken as typed.
bool IsDriveLetterText(const std::string& text) {
    if (text.empty() || !IsAsciiLetter(text[0])) {
        return false;
    }
    return text.size() == 1 || (text.size() == 2 && text[1] == ':') ||
           (text.size() == 3 && text[1] == ':' && (text[2] == '\\' || text[2] == '/'));
}

/// The text upper-cased the way the system does it, so that any letter of any script works.
std::string UpperCase(const std::string& text) {
    std::wstring wide;
    if (!ToWide(text, wide) || wide.empty()) {
        std::string out = text;
        std::transform(out.begin(), out.end(), out.begin(), UpperAscii);
        return out;
    }
    ::CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return ToUtf8(wide.data(), wide.size());
}

/// The drive letter of a drive text, upper-cased ("t:\" gives "T"); other texts upper-cased
/// whole, as typed, so that a wrong entry fails visibly at the drive query.
std::string DriveLetter(const std::string& typed) {
    // Drive letters are trimmed, as the drive box always did.
    const auto first = typed.find_first_not_of(' ');
    const std::string driveText =
        first == std::string::npos ? std::string()
                                   : typed.substr(first, typed.find_last_not_of(' ') - first + 1);
    if (IsDriveLetterText(driveText)) {
        return std::string(1, UpperAscii(driveText[0]));
    }
    return UpperCase(driveText);
}

class Win32Platform final : public Platform {
public:
    bool pathExists(const std::string& path) override {
        std::wstring wide;
        if (path.empty() || !ToWide(path, wide)) {
            return false;
        }
        // Any attribute set counts: a folder, a reparse point, a read-only or hidden file.
        return ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    OsStatus createExclusive(const std::string& path, FillerHandle& out) override {
        std::wstring wide;
        if (!ToWide(path, wide)) {
            return FromError(ERROR_NO_UNICODE_TRANSLATION);
        }
        // CREATE_NEW fails on any name already taken, a link included, so nothing existing is
        // ever opened. Others may read the file while it grows, but not rename or delete it;
        // writing is shared so that writeDirect can open the same file past the cache by this
        // handle. No DELETE access: readers would then have to share deletion to open it.
        const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return LastError();
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(handle, &info)) {
            // Without its identity the file could not be told apart from one put in its place
            // later, so it is never deleted: it stays, empty, and the failure is reported.
            const OsStatus status = LastError();
            ::CloseHandle(handle);
            return status;
        }
        out.native = reinterpret_cast<std::intptr_t>(handle);
        out.id = IdOf(info);
        return OsStatus::success();
    }

    OsStatus append(FillerHandle& file, const std::uint8_t* data, std::size_t size,
                    std::size_t& written) override {
        written = 0;
        constexpr std::size_t kMaxChunk = 1u << 30;
        while (written < size) {
            const auto chunk = static_cast<DWORD>(std::min(size - written, kMaxChunk));
            // Whole aligned runs past the cache, the rest through it; both at the file's end,
            // which neither handle's own file pointer can follow alone.
            const bool direct = file.direct &&
                                Aligned(reinterpret_cast<std::uintptr_t>(data + written)) &&
                                Aligned(chunk) && Aligned(file.offset);
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(file.offset);
            at.OffsetHigh = static_cast<DWORD>(file.offset >> 32);
            DWORD n = 0;
            if (!::WriteFile(direct ? DirectHandle(file) : AsHandle(file), data + written, chunk,
                             &n, &at)) {
                return LastError();
            }
            if (n == 0) {
                // Success with nothing written: the volume takes no more.
                return FromError(ERROR_HANDLE_DISK_FULL);
            }
            // A short count reports success; the next round asks again and so obtains the
            // error that stopped it (a full disk, normally).
            written += n;
            file.offset += n;
        }
        return OsStatus::success();
    }

    bool writeDirect(FillerHandle& file) override {
        if (!file.open() || file.directNative != -1) {
            return file.direct;
        }
        // The buffer, lengths and offsets are aligned to kDirectAlignment, which must be a
        // whole number of the volume's sectors.
        FILE_STORAGE_INFO storage{};
        if (::GetFileInformationByHandleEx(AsHandle(file), FileStorageInfo, &storage,
                                           sizeof storage) &&
            (storage.LogicalBytesPerSector == 0 ||
             kDirectAlignment % storage.LogicalBytesPerSector != 0)) {
            return false;
        }
        const HANDLE direct =
            ::ReOpenFile(AsHandle(file), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         FILE_FLAG_NO_BUFFERING);
        if (direct == INVALID_HANDLE_VALUE) {
            return false;
        }
        file.directNative = reinterpret_cast<std::intptr_t>(direct);
        file.direct = true;
        return true;
    }

    OsStatus readBack(FillerHandle& file, std::uint64_t offset, std::uint8_t* data,
                      std::size_t size, std::size_t& read) override {
        read = 0;
        // The same file reopened by its handle, never by name: past the cache where the run
        // is aligned and the volume allows it, else through the cache the flush left current.
        const bool aligned =
            Aligned(reinterpret_cast<std::uintptr_t>(data)) && Aligned(size) && Aligned(offset);
        HANDLE reader = INVALID_HANDLE_VALUE;
        if (aligned && file.direct) {
            reader = ::ReOpenFile(AsHandle(file), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  FILE_FLAG_NO_BUFFERING);
        }
        if (reader == INVALID_HANDLE_VALUE) {
            reader =
                ::ReOpenFile(AsHandle(file), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
        }
        if (reader == INVALID_HANDLE_VALUE) {
            return LastError();
        }
        constexpr std::size_t kMaxChunk = 1u << 30;
        OsStatus status;
        while (read < size) {
            const auto chunk = static_cast<DWORD>(std::min(size - read, kMaxChunk));
            const std::uint64_t at = offset + read;
            OVERLAPPED where{};
            where.Offset = static_cast<DWORD>(at);
            where.OffsetHigh = static_cast<DWORD>(at >> 32);
            DWORD n = 0;
            if (!::ReadFile(reader, data + read, chunk, &n, &where)) {
                if (::GetLastError() != ERROR_HANDLE_EOF) {
                    status = LastError();
                }
                break;
            }
            if (n == 0) {
                break;
            }
            read += n;
        }
        ::CloseHandle(reader);
        return status;
    }

    OsStatus flush(FillerHandle& file) override {
        if (file.directNative != -1 && !::FlushFileBuffers(DirectHandle(file))) {
            return LastError();
        }
        if (!::FlushFileBuffers(AsHandle(file))) {
            return LastError();
        }
        return OsStatus::success();
    }

    TrimWay trimWay(const std::string& /*root*/) override {
        return TrimWay::Fillers; // a file's own ranges need no administrator
    }

    std::optional<std::uint64_t> trimFiller(FillerHandle& file) override {
        // FSCTL_FILE_LEVEL_TRIM and its input, which the MinGW headers do not carry.
        constexpr DWORD kFileLevelTrim =
            CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 130, METHOD_BUFFERED, FILE_WRITE_DATA);
        struct {
            DWORD key;
            DWORD ranges;
            DWORDLONG offset;
            DWORDLONG length;
        } trim{0, 1, 0, file.offset};
        DWORD processed = 0;
        DWORD returned = 0;
        if (file.offset == 0 ||
            !::DeviceIoControl(AsHandle(file), kFileLevelTrim, &trim, sizeof trim, &processed,
                               sizeof processed, &returned, nullptr)) {
            return std::nullopt; // FAT, network drives, devices without trim
        }
        return file.offset;
    }

    OsStatus release(FillerHandle& file) override {
        FILE_END_OF_FILE_INFO end{};
        if (!::SetFileInformationByHandle(AsHandle(file), FileEndOfFileInfo, &end, sizeof end)) {
            return LastError();
        }
        return OsStatus::success();
    }

    void close(FillerHandle& file) override {
        if (file.directNative != -1) {
            ::CloseHandle(DirectHandle(file));
            file.directNative = -1;
            file.direct = false;
        }
        if (file.open()) {
            ::CloseHandle(AsHandle(file));
            file.native = -1;
        }
    }

    OsStatus removeCreated(const std::string& path, const FileId& id) override {
        std::wstring wide;
        if (!ToWide(path, wide)) {
            return FromError(ERROR_NO_UNICODE_TRANSLATION);
        }
        // Opens whatever stands at path now, a link or a folder included, without following
        // it, so that the identity checked is that of the very entry that gets deleted.
        const HANDLE handle = ::CreateFileW(
            wide.c_str(), DELETE | FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return LastError();
        }
        OsStatus status;
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(handle, &info)) {
            status = LastError();
        } else if ((info.dwFileAttributes &
                    (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
                   IdOf(info).volume != id.volume || IdOf(info).index != id.index) {
            status = FromError(ERROR_FILE_EXISTS);
        } else if (!DeleteByHandle(handle)) {
            status = LastError();
        }
        ::CloseHandle(handle);
        return status;
    }

    LeftoverEnd removeLeftover(const LeftoverFiller& filler, std::uint64_t& bytes) override {
        bytes = 0;
        std::wstring folder;
        std::wstring name;
        if (!ToWide(filler.folder, folder) || !ToWide(filler.name, name) || name.empty() ||
            name.find_first_of(L"\\/:") != std::wstring::npos || name == L"." || name == L"..") {
            return LeftoverEnd::NotOurs;
        }
        FolderId now;
        if (!folderIdentity(filler.folder, now).ok() || !(now == filler.folderId)) {
            return LeftoverEnd::Unreachable;
        }
        if (folder.back() != L'\\' && folder.back() != L'/') {
            folder += L'\\';
        }
        return RemoveLeftoverFile(folder + name, filler, bytes);
    }

    OsStatus driveSpace(const std::string& root, SpaceInfo& out) override {
        std::wstring wide;
        if (!ToWide(root, wide)) {
            return FromError(ERROR_NO_UNICODE_TRANSLATION);
        }
        ULARGE_INTEGER available{};
        ULARGE_INTEGER total{};
        ULARGE_INTEGER free{};
        if (!::GetDiskFreeSpaceExW(wide.c_str(), &available, &total, &free)) {
            return LastError();
        }
        out.free = available.QuadPart;
        out.total = total.QuadPart;
        // A quota leaves the caller less than the volume has free.
        out.withheld = free.QuadPart > available.QuadPart ? free.QuadPart - available.QuadPart : 0;
        return OsStatus::success();
    }

    OsStatus driveSpaceThrough(const FillerHandle& file, const std::string& root,
                               SpaceInfo& out) override {
        static const auto query = NtdllFunction<QueryVolumeFn>("NtQueryVolumeInformationFile");
        static const auto toError = NtdllFunction<StatusToErrorFn>("RtlNtStatusToDosError");
        if (!file.open() || query == nullptr || toError == nullptr) {
            return driveSpace(root, out);
        }
        FsFullSizeInformation info{};
        IoStatusBlock io{};
        const LONG status =
            query(AsHandle(file), &io, &info, sizeof info, kFileFsFullSizeInformation);
        if (status < 0) {
            return FromError(toError(status));
        }
        const std::uint64_t unit =
            static_cast<std::uint64_t>(info.sectorsPerAllocationUnit) * info.bytesPerSector;
        // The units available to the caller: the same figure as GetDiskFreeSpaceExW's.
        out.free = static_cast<std::uint64_t>(info.callerAvailableAllocationUnits.QuadPart) * unit;
        out.total = static_cast<std::uint64_t>(info.totalAllocationUnits.QuadPart) * unit;
        const auto actual =
            static_cast<std::uint64_t>(info.actualAvailableAllocationUnits.QuadPart);
        const auto caller =
            static_cast<std::uint64_t>(info.callerAvailableAllocationUnits.QuadPart);
        out.withheld = actual > caller ? (actual - caller) * unit : 0;
        return OsStatus::success();
    }

    VolumeNames volumeNames(const std::string& root) override {
        std::wstring wide;
        wchar_t mount[MAX_PATH + 1]{};
        if (!ToWide(root, wide) || !::GetVolumePathNameW(wide.c_str(), mount, MAX_PATH)) {
            return {};
        }
        VolumeNames names;
        names.mountPoint = ToUtf8(mount, std::wcslen(mount));
        wchar_t text[MAX_PATH + 1]{};
        if (::GetVolumeInformationW(mount, nullptr, 0, nullptr, nullptr, nullptr, text, MAX_PATH)) {
            names.filesystem = ToUtf8(text, std::wcslen(text));
        }
        if (::GetVolumeNameForVolumeMountPointW(mount, text, MAX_PATH)) {
            names.device = ToUtf8(text, std::wcslen(text));
        }
        return names;
    }

    OsStatus recordSpace(const std::string& root, RecordSpace& out) override {
        out = {};
        std::wstring wide;
        if (!ToWide(root, wide)) {
            return FromError(ERROR_NO_UNICODE_TRANSLATION);
        }
        // The root folder rather than the volume, which would need an administrator's rights.
        const HANDLE folder = OpenForQueries(wide);
        if (folder == INVALID_HANDLE_VALUE) {
            return LastError();
        }
        NTFS_VOLUME_DATA_BUFFER ntfs{};
        DWORD returned = 0;
        // Only NTFS answers. Its master file table never shrinks, and a deleted small file's
        // data stays in a record of it: the records it holds are the table the record stage
        // fills, and the table growing says that none of them is free any more.
        if (::DeviceIoControl(folder, FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, &ntfs, sizeof ntfs,
                              &returned, nullptr) &&
            ntfs.BytesPerFileRecordSegment != 0) {
            out.tableRecords = static_cast<std::uint64_t>(ntfs.MftValidDataLength.QuadPart) /
                               ntfs.BytesPerFileRecordSegment;
        }
        ::CloseHandle(folder);
        return OsStatus::success();
    }

    OsStatus folderIdentity(const std::string& path, FolderId& out) override {
        std::wstring wide;
        if (!ToWide(path, wide)) {
            return FromError(ERROR_NO_UNICODE_TRANSLATION);
        }
        const HANDLE handle = OpenForQueries(wide);
        if (handle == INVALID_HANDLE_VALUE) {
            return LastError();
        }
        OsStatus status;
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(handle, &info)) {
            status = LastError();
        } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            status = FromError(ERROR_DIRECTORY);
        } else {
            const FileId id = IdOf(info);
            out = {id.volume, id.index};
        }
        ::CloseHandle(handle);
        return status;
    }

    std::string driveStrings() override {
        // 104 characters hold 25 drives; with all 26 letters in use the system asks for more,
        // and the string is fetched again with the size it names (drives may come and go
        // between the calls, hence the loop).
        std::wstring buffer(104, L'\0');
        for (int attempt = 0; attempt < 8; ++attempt) {
            const DWORD n =
                ::GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
            if (n == 0) {
                return {};
            }
            if (n < buffer.size()) {
                // n leaves out the final NUL, which the caller wants.
                return ToUtf8(buffer.data(), n + 1);
            }
            buffer.assign(static_cast<std::size_t>(n) + 1, L'\0');
        }
        return {};
    }

    std::string rootPath(const std::string& driveText) override {
        return DriveLetter(driveText) + ":\\";
    }

    std::string driveName(const std::string& driveText) override { return DriveLetter(driveText); }

    std::string joinPath(const std::string& root, const std::string& name) override {
        if (!root.empty() && (root.back() == '\\' || root.back() == '/')) {
            return root + name;
        }
        return root + "\\" + name;
    }
};

} // namespace

std::unique_ptr<Platform> makeSystemPlatform() {
    return std::make_unique<Win32Platform>();
}

} // namespace klar
