#pragma once

#include <QUrl>

namespace klar::app {

/// The maker's web site: the one place its address is written.
inline constexpr const char* kMakerSite = "https://www.klarvenor.example";

inline constexpr const char* kLicencePage = "/eulaklarvenor.html";
inline constexpr const char* kProductPage = "/klarvenor.html";

/// The address of a page of the maker's site.
[[nodiscard]] QUrl MakerPage(const char* path);

/// Asks the desktop to open the page in the user's browser. A page that cannot be opened is
/// not reported: the windows that offer it stay as they are.
void OpenMakerPage(const char* path);

} // namespace klar::app
