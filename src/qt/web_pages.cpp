#include "qt/web_pages.h"

#include <QDesktopServices>

namespace klar::app {

QUrl MakerPage(const char* path) {
    return QUrl(QString::fromStdString(forms::MakerPage(path)));
}

void OpenWebPage(const QUrl& address) {
    (void)QDesktopServices::openUrl(address);
}

void OpenMakerPage(const char* path) {
    OpenWebPage(MakerPage(path));
}

} // namespace klar::app
