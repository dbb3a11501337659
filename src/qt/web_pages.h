#pragma once

#include "forms/about_form.h"

#include <QUrl>

namespace klar::app {

using forms::kLicencePage;
using forms::kProductPage;

/// The address of a page of the maker's site.
[[nodiscard]] QUrl MakerPage(const char* path);

/// Asks the desktop to open the address in the user's browser; a failure is not reported.
void OpenWebPage(const QUrl& address);

/// Asks the desktop to open the page in the user's browser. A page that cannot be opened is
/// not reported: the windows that offer it stay as they are.
void OpenMakerPage(const char* path);

} // namespace klar::app
