// Widget tests: one QApplication for all of them, a private settings store, no display.
#include "qt/startup.h"
#include "ui_rig.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    klar::app::ConfigureApplication(application);
    // The windows close and reopen test after test; none of that may end the run.
    QApplication::setQuitOnLastWindowClosed(false);

    QTemporaryDir settings;
    if (!settings.isValid()) {
        return 1;
    }
    klar::uitest::SetSettingsFolder(settings.path());
    return RUN_ALL_TESTS();
}
