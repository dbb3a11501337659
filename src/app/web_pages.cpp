#include "web_pages.h"

#include <QDesktopServices>

namespace klar::app {

QUrl MakerPage(const char* path) {
    return QUrl(QString::fromLatin1(kMakerSite) + QString::fromLatin1(path));
}

void OpenMakerPage(const char* path) {
    (void)QDesktopServices::openUrl(MakerPage(path));
}

} // namespace klar::app
