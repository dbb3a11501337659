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

/// Records what the real backend answered, for tests that check how a job met the system.
class ObservingPlatform : public ForwardingPlatform {
public:
    explicit ObservingPlatform(Platform& real) : ForwardingPlatform(real) {}

    struct Append {
        std::size_t size;
        std::size_t written;
        OsStatus status;
    };
    std::vector<Append> appends;
    std::uint64_t leastFree = ~std::uint64_t{0};

    OsStatus append(FillerHandle& file, const std::uint8_t* data, std::size_t size,
                    std::size_t& written) override {
        OsStatus status = real().append(file, data, size, written);
        appends.push_back({size, written, status});
        return status;
    }
    OsStatus driveSpace(const std::string& root, SpaceInfo& out) override {
        return note(real().driveSpace(root, out), out);
    }
    OsStatus driveSpaceThrough(const FillerHandle& file, const std::string& root,
                               SpaceInfo& out) override {
        return note(real().driveSpaceThrough(file, root, out), out);
    }

private:
    OsStatus note(OsStatus status, const SpaceInfo& space) {
        if (status.ok() && space.free < leastFree) {
            leastFree = space.free;
        }
        return status;
    }
};

} // namespace klar::test
