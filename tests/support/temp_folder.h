#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace klar::test {

/// A new folder of this user's alone under the system's temporary folder, removed with
/// everything in it.
class TempFolder {
public:
    TempFolder() {
        namespace fs = std::filesystem;
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path candidate =
                fs::temp_directory_path() / ("klar-" + std::to_string(random()));
            std::error_code ec;
            // Made here or not at all: a folder of that name that exists is someone else's.
            if (fs::create_directory(candidate, ec)) {
                fs::permissions(candidate, fs::perms::owner_all, ec);
                path_ = candidate.string();
            }
        }
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ec);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] std::string operator/(const std::string& name) const {
        return (std::filesystem::path(path_) / name).string();
    }

private:
    std::string path_;
};

} // namespace klar::test
