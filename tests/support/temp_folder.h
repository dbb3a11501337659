#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace klar::test {

/// A private folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        // create_directory makes only a folder that was not there: a taken name is passed over.
        std::random_device random;
        std::error_code ec;
        const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
        for (int attempt = 0; !ec && path_.empty() && attempt < 100; ++attempt) {
            const auto folder = temp / ("klar-" + std::to_string(random()));
            if (std::filesystem::create_directory(folder, ec)) {
                std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
                path_ = folder.string();
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
        return path_ + "/" + name;
    }

private:
    std::string path_;
};

} // namespace klar::test
