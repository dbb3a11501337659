#include "engine/drive_list.h"

#include <cctype>

namespace klar {

std::string TakeFirstItem(std::string& text) {
    const auto nul = text.find('\0');
    if (nul == std::string::npos) {
        return {};
    }
    std::string item = text.substr(0, nul);
    text.erase(0, nul + 1);
    return item;
}

std::string GetDriveStrings(Platform& platform) {
    return platform.driveStrings();
}

std::vector<std::string> ParseDriveList(std::string driveString) {
    std::vector<std::string> entries;
    // A string without its NUL terminators would never shrink: it ends the list instead.
    while (driveString.find('\0') != std::string::npos && driveString != std::string(1, '\0')) {
        const std::string item = TakeFirstItem(driveString);
        if (item.size() == 3 && item[1] == ':' && (item[2] == '\\' || item[2] == '/')) {
            entries.emplace_back(
                1, static_cast<char>(std::toupper(static_cast<unsigned char>(item[0]))));
        } else if (!item.empty()) {
            entries.push_back(item);
        }
    }
    return entries;
}

std::vector<std::string> LoadDriveList(Platform& platform) {
    return ParseDriveList(GetDriveStrings(platform));
}

} // namespace klar
