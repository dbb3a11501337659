#pragma once

#include "forwarding_platform.h"

#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

namespace klar::test {

/// True when the tests run under Wine, whose prefix the test run owns: only there may a test
/// change what the whole session sees (drive letters, say).
inline bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

/// Free bytes of the drive, straight from the system.
inline std::uint64_t FreeBytes(const std::string& root) {
    ULARGE_INTEGER available{};
    const std::wstring wide(root.begin(), root.end()); // drive roots are plain ASCII
    if (!::GetDiskFreeSpaceExW(wide.c_str(), &available, nullptr, nullptr)) {
        return ~std::uint64_t{0};
    }
    return available.QuadPart;
}

/// A letter that names no drive now ('\0' if all 26 are taken).
inline char UnusedDriveLetter() {
    const DWORD used = ::GetLogicalDrives();
    for (char letter = 'Z'; letter >= 'A'; --letter) {
        if ((used & (1u << (letter - 'A'))) == 0) {
            return letter;
        }
    }
    return '\0';
}

} // namespace klar::test
