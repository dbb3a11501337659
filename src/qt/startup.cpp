#include "qt/startup.h"

#include "engine/journal.h"
#include "forms/app_version.h"
#include "platform/state_folder.h"
#include "platform/termination.h"
#include "qt/message_box.h"

#include <QApplication>
#include <QTimer>
#include <cstdlib>

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
    QApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    QApplication::setOrganizationName(QString::fromLatin1(kAppTitle));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(kAppVersion.major)
                                            .arg(kAppVersion.minor)
                                            .arg(kAppVersion.revision));
    application.setWindowIcon(AppIcon());
}

void Main(Module1& program) {
    InitJobState(program.state);
    program.main = std::make_unique<ui::frmMain>(program.state, *program.platform, program.windows);
    program.main->Form_Load();
    program.main->show();
}

void RemoveInterruptedJobLeftovers(Module1& program) {
    const std::string message = CleanUpAfterDeadJobs(*program.platform);
    if (!message.empty()) {
        ui::MsgBox(program.main.get(), QString::fromStdString(message));
    }
}

namespace {

Module1* gRunningProgram = nullptr;

/// An exit from deep inside the toolkit (the X connection lost: Qt calls exit) never returns
/// to the job, so its filler files are deleted here.
void DeleteFillersAtExit() {
    if (gRunningProgram != nullptr) {
        DeletePassFilesNow(gRunningProgram->state, *gRunningProgram->platform);
    }
}

} // namespace

void EndOnTermination(Module1& program) {
    gRunningProgram = &program;
    std::atexit(DeleteFillersAtExit);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { gRunningProgram = nullptr; });
    // A running job sees the request at its next block and ends as after Abort; the program
    // ends once the job has returned to the event loop.
    auto* watch = new QTimer(qApp);
    QObject::connect(watch, &QTimer::timeout, [&program] {
        if (TerminationRequested() && !program.state.gJobRunning) {
            QApplication::exit(0);
        }
    });
    watch->start(100);
}

} // namespace klar::app
