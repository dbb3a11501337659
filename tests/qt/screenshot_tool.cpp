// Saves a picture of one of the program's windows as it first appears:
//   klar_screenshot OUTPUT.png [main|donate|about]   (default: main)
// scripts/screenshot.sh runs it under Xvfb for the README.
#include "qt/aux_windows.h"
#include "qt/frm_about.h"
#include "qt/frm_donate.h"
#include "qt/frm_main.h"
#include "qt/startup.h"
#include "recording_aux.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const char* which = argc > 2 ? argv[2] : "main";
    if (argc < 2 || argc > 3 ||
        (std::strcmp(which, "main") != 0 && std::strcmp(which, "donate") != 0 &&
         std::strcmp(which, "about") != 0)) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [main|donate|about]\n", argv[0]);
        return 2;
    }
    klar::app::ConfigureApplication(application);
    klar::JobState state;
    klar::InitJobState(state);
    auto platform = klar::makeSystemPlatform();
    klar::uitest::RecordingAux aux; // the main window's picture shows it alone
    klar::ui::frmMain main(state, *platform, aux);
    main.Form_Load();

    std::unique_ptr<QWidget> shown;
    if (std::strcmp(which, "donate") == 0) {
        auto donate = std::make_unique<klar::app::frmDonate>();
        donate->setAttribute(Qt::WA_DeleteOnClose, false);
        donate->Form_Load();
        shown = std::move(donate);
    } else if (std::strcmp(which, "about") == 0) {
        auto about = std::make_unique<klar::app::frmAbout>(&main);
        about->Form_Load();
        shown = std::move(about);
    }
    QWidget& window = shown ? *shown : main;
    window.show();

    int status = 1;
    // A moment for the window to be mapped and painted.
    QTimer::singleShot(500, &window, [&] {
        status = window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
        if (status != 0) {
            std::fprintf(stderr, "cannot write %s\n", argv[1]);
        }
        QApplication::exit(status);
    });
    QApplication::exec();
    return status;
}
