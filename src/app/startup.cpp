#include "startup.h"

#include "app_version.h"
#include "message_box.h"

#include <QApplication>

// Resources of a static library are registered by hand, outside any namespace.
static void InitResources() {
    Q_INIT_RESOURCE(klarvenor);
}

namespace klar::app {

QIcon AppIcon() {
    InitResources();
    QIcon icon;
    for (int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/icons/klarvenor-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

void ConfigureApplication(QApplication& application) {
    QApplication::setApplicationName(QString::fromLatin1(ui::kAppTitle));
    QApplication::setOrganizationName(QString::fromLatin1(ui::kAppTitle));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(kAppVersion.major)
                                            .arg(kAppVersion.minor)
                                            .arg(kAppVersion.revision));
    application.setWindowIcon(AppIcon());
}

void Main(Module1& program) {
    // A job that died may have left space of a volume lifted for its fill.
    program.platform->restoreLeftovers();
    InitJobState(program.state);
    program.main = std::make_unique<ui::frmMain>(program.state, *program.platform, program.windows);
    program.main->Form_Load();
    program.main->show();
}

} // namespace klar::app
