#include "platform/record_file.h"

#include <string>
#include <windows.h>

namespace klar {
namespace {

std::wstring Wide(const std::string& text) {
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Utf8(const wchar_t* text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) {
        return {};
    }
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.pop_back(); // the terminating NUL
    return out;
}

std::string LastErrorText() {
    wchar_t* buffer = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, ::GetLastError(), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = buffer != nullptr ? Utf8(buffer) : "unknown error";
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

} // namespace

std::string WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::wstring target = Wide(path);
    const std::wstring temporary = target + L".tmp-" + std::to_wstring(::GetCurrentProcessId());
    const HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return LastErrorText();
    }
    DWORD written = 0;
    const bool ok =
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size() && ::FlushFileBuffers(file);
    std::string why = ok ? std::string() : LastErrorText();
    ::CloseHandle(file);
    if (ok && !::MoveFileExW(temporary.c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        why = LastErrorText();
    }
    if (!why.empty()) {
        ::DeleteFileW(temporary.c_str());
    }
    return why;
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1]{};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return ::GetComputerNameW(name, &size) ? Utf8(name) : "";
}

std::string UserName() {
    wchar_t name[257]{};
    DWORD size = 257;
    return ::GetUserNameW(name, &size) ? Utf8(name) : "";
}

} // namespace klar
