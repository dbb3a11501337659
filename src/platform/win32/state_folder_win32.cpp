#include "platform/state_folder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <windows.h>

namespace klar {
namespace {

std::wstring Environment(const wchar_t* name) {
    const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    const DWORD n = ::GetEnvironmentVariableW(name, value.data(), size);
    value.resize(n < size ? n : 0);
    return value;
}

OsStatus Failure(DWORD code) {
    OsStatus status;
    status.kind =
        code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS || code == ERROR_SHARING_VIOLATION
            ? OsStatus::Kind::Exists
            : OsStatus::Kind::Failed;
    status.code = static_cast<int>(code);
    status.text = "Windows error " + std::to_string(code);
    return status;
}

OsStatus Words(const std::string& why) {
    return {OsStatus::Kind::Failed, 0, why};
}

std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::wstring Wide(const std::string& folder, const std::string& name) {
    return (PathOf(folder) / PathOf(name)).wstring();
}

/// Why an entry of the state may not be trusted, from what its handle tells; empty when it may.
std::string Distrust(HANDLE handle, bool folder) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        return Failure(::GetLastError()).text;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return "it is a link";
    }
    const bool isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder != isFolder || (!folder && ::GetFileType(handle) != FILE_TYPE_DISK)) {
        return folder ? "it is not a folder" : "it is not a plain file";
    }
    return {};
}

} // namespace

StateFolderChoice ChooseStateFolder() {
    std::filesystem::path folder = Environment(L"LOCALAPPDATA");
    if (folder.empty()) {
        const std::wstring profile = Environment(L"USERPROFILE");
        if (profile.empty()) {
            return {};
        }
        folder = std::filesystem::path(profile) / L"AppData" / L"Local";
    }
    const std::u8string text = (folder / L"Klarvenor").u8string();
    return {{text.begin(), text.end()}, {}};
}

std::string StateFolder() {
    return ChooseStateFolder().path;
}

OsStatus CheckStateFolder(const std::string& folder) {
    if (folder.empty()) {
        return Words("there is no state folder");
    }
    const std::filesystem::path path = PathOf(folder);
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (!::CreateDirectoryW(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        return Failure(::GetLastError());
    }
    // The folder itself, not what a reparse point there leads to.
    const HANDLE handle = ::CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Failure(::GetLastError());
    }
    const std::string why = Distrust(handle, true);
    ::CloseHandle(handle);
    return why.empty() ? OsStatus::success() : Words(why);
}

OsStatus CreateHeldFile(const std::string& folder, const std::string& name, HeldFile& out) {
    if (const OsStatus usable = CheckStateFolder(folder); !usable.ok()) {
        return usable;
    }
    // Others may read it, but nobody else may open it for writing or take it over while this
    // handle lives; the system closes the handle when the process ends, however it ends.
    const HANDLE handle = ::CreateFileW(Wide(folder, name).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Failure(::GetLastError());
    }
    out.native = reinterpret_cast<std::intptr_t>(handle);
    return OsStatus::success();
}

OsStatus AppendToHeldFile(HeldFile& file, const std::string& text, bool flush) {
    const auto handle = reinterpret_cast<HANDLE>(file.native);
    DWORD n = 0;
    if (!::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &n, nullptr) ||
        n != text.size() || (flush && !::FlushFileBuffers(handle))) {
        return Failure(::GetLastError());
    }
    return OsStatus::success();
}

OsStatus TruncateHeldFile(HeldFile& file, std::uint64_t size) {
    const auto handle = reinterpret_cast<HANDLE>(file.native);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) || !::SetEndOfFile(handle) ||
        !::FlushFileBuffers(handle)) {
        return Failure(::GetLastError());
    }
    return OsStatus::success();
}

void CloseHeldFile(HeldFile& file) {
    if (file.open()) {
        ::CloseHandle(reinterpret_cast<HANDLE>(file.native));
        file.native = -1;
    }
}

std::vector<std::string> ListStateFiles(const std::string& folder, const std::string& suffix) {
    std::vector<std::string> names;
    if (!CheckStateFolder(folder).ok()) {
        return names;
    }
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(PathOf(folder), ec)) {
        const std::u8string text = entry.path().filename().u8string();
        const std::string name(text.begin(), text.end());
        if (name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

OsStatus TakeOverHeldFile(const std::string& folder, const std::string& name,
                          std::uint64_t maxBytes, HeldFile& out, std::uint64_t& size) {
    if (const OsStatus usable = CheckStateFolder(folder); !usable.ok()) {
        return usable;
    }
    // No sharing at all: refused while the maker still has it open for writing. A reparse
    // point is opened as itself and refused below.
    const HANDLE handle =
        ::CreateFileW(Wide(folder, name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Failure(::GetLastError());
    }
    std::string why = Distrust(handle, false);
    LARGE_INTEGER length{};
    if (why.empty() && (!::GetFileSizeEx(handle, &length) ||
                        static_cast<std::uint64_t>(length.QuadPart) > maxBytes)) {
        why = "it is larger than any journal of ours";
    }
    if (!why.empty()) {
        ::CloseHandle(handle);
        return Words(why);
    }
    size = static_cast<std::uint64_t>(length.QuadPart);
    out.native = reinterpret_cast<std::intptr_t>(handle);
    return OsStatus::success();
}

std::size_t ReadHeldFile(HeldFile& file, std::uint64_t offset, char* data, std::size_t size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(file.native), data, static_cast<DWORD>(size), &n,
                    &at)) {
        return 0;
    }
    return n;
}

bool RemoveStateFile(const std::string& folder, const std::string& name) {
    // DeleteFileW removes a link itself, never what it leads to.
    return ::DeleteFileW(Wide(folder, name).c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

} // namespace klar
