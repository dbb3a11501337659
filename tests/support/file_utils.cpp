#include "test_volume.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace klar::test {
namespace fs = std::filesystem;

bool VolumesRequired() {
    const char* value = std::getenv("KLAR_REQUIRE_VOLUMES");
    return value != nullptr && std::string(value) == "1";
}

void NoVolume(const std::string& whyNot) {
    if (VolumesRequired()) {
        ADD_FAILURE() << "cannot make a test volume: " << whyNot;
        return;
    }
    GTEST_SKIP() << "no test volume: " << whyNot;
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name != "lost+found") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    // Read in chunks: volume tests look at every filler file many times per pass.
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes;
    std::vector<char> chunk(1 << 16);
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    }
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return (fs::path(folder) / name).string();
}

} // namespace klar::test
