#pragma once

#include "engine/job_state.h"
#include "platform/platform.h"
#include "qt/app_windows.h"
#include "qt/frm_main.h"

#include <QIcon>
#include <memory>

class QApplication;

namespace klar::app {

/// What start-up creates; it lives as long as the program runs.
struct Module1 {
    JobState state;
    std::unique_ptr<Platform> platform = makeSystemPlatform();
    AppWindows windows;
    std::unique_ptr<ui::frmMain> main;
};

/// The program's icon, in every size it ships.
[[nodiscard]] QIcon AppIcon();

/// Names the application (the settings store's key) and gives every window the icon.
void ConfigureApplication(QApplication& application);

/// Gives back what a job of an earlier run left lifted, gives the job state its start values,
/// then creates, loads and shows the main window.
void Main(Module1& program);

/// Cleans up after a job that died (its filler files, a volume's space it had lifted), and tells
/// the user once in a message box when it had left filler files.
void RemoveInterruptedJobLeftovers(Module1& program);

/// Ends the program when the process is asked to end (a signal, the display lost): a running
/// job first aborts as Abort does and deletes its filler files. Call once, after Main.
void EndOnTermination(Module1& program);

} // namespace klar::app
