#include "state_folder.h"

#include <filesystem>
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

std::wstring Wide(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end())).wstring();
}

} // namespace

std::string StateFolder() {
    std::filesystem::path folder = Environment(L"LOCALAPPDATA");
    if (folder.empty()) {
        const std::wstring profile = Environment(L"USERPROFILE");
        if (profile.empty()) {
            return {};
        }
        folder = std::filesystem::path(profile) / L"AppData" / L"Local";
    }
    const std::u8string text = (folder / L"Klarvenor").u8string();
    return {text.begin(), text.end()};
}

OsStatus CreateHeldFile(const std::string& path, FillerHandle& out) {
    // Others may read it, but nobody else may open it for writing or take it over while this
    // handle lives; the system closes the handle when the process ends, however it ends.
    const HANDLE handle = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Failure(::GetLastError());
    }
    out.native = reinterpret_cast<std::intptr_t>(handle);
    return OsStatus::success();
}

OsStatus AppendToHeldFile(FillerHandle& file, const std::string& text, bool flush) {
    const auto handle = reinterpret_cast<HANDLE>(file.native);
    DWORD n = 0;
    if (!::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &n, nullptr) ||
        n != text.size() || (flush && !::FlushFileBuffers(handle))) {
        return Failure(::GetLastError());
    }
    return OsStatus::success();
}

void CloseHeldFile(FillerHandle& file) {
    if (file.open()) {
        ::CloseHandle(reinterpret_cast<HANDLE>(file.native));
        file.native = -1;
    }
}

OsStatus TakeOverHeldFile(const std::string& path, FillerHandle& out, std::string& content) {
    // No sharing at all: refused while the maker still has it open for writing.
    const HANDLE handle = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Failure(::GetLastError());
    }
    content.clear();
    char buffer[4096];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(handle, buffer, sizeof buffer, &n, nullptr)) {
            const DWORD error = ::GetLastError();
            ::CloseHandle(handle);
            return Failure(error);
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, n);
    }
    out.native = reinterpret_cast<std::intptr_t>(handle);
    return OsStatus::success();
}

} // namespace klar
