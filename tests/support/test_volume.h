#pragma once

#include "volumes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace klar::test {

/// True when the run must not skip volume tests (CI sets KLAR_REQUIRE_VOLUMES=1).
bool VolumesRequired();

/// A test volume could not be made (or needed root): fails the running test where volumes
/// are required, skips it otherwise. The caller returns at once.
void NoVolume(const std::string& whyNot);

// Plain file utilities for checking what is on a volume.
std::vector<std::string> ListFolder(const std::string& folder); ///< names, sorted
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
std::string JoinPath(const std::string& folder, const std::string& name);

} // namespace klar::test

/// Makes a volume or skips the test (fails it where volumes are required).
#define KLAR_REQUIRE_VOLUME(var, maker, bytes)                                                     \
    std::string var##WhyNot;                                                                       \
    auto var = maker(bytes, var##WhyNot);                                                          \
    if (!var) {                                                                                    \
        ::klar::test::NoVolume(var##WhyNot);                                                       \
        return;                                                                                    \
    }
