// The Windows program: start-up as on every platform, then the message loop until the main
// window has been unloaded. It reads no command line and no environment.
#include "engine/journal.h"
#include "platform/termination.h"
#include "win32/forms_win32.h"
#include "win32/frm_main.h"
#include "win32/win_util.h"

#include <commctrl.h>

namespace klar::win32 {
namespace {

/// What start-up creates; it lives as long as the program runs.
struct Module1 {
    JobState state;
    std::unique_ptr<Platform> platform = makeSystemPlatform();
    AppForms forms;
    std::unique_ptr<frmMain> main;
};

int Main() {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    if (!RegisterFormClasses(GetModuleHandleW(nullptr))) {
        MsgBox(nullptr,
               "The program's windows could not be made: " + ErrorText(GetLastError()) + ".");
        return 1;
    }
    InstallTerminationHandlers();
    Module1 program;
    InitJobState(program.state);
    // The filler files of a job that died (a crash, a kill, a power loss) go first, and the
    // user hears of them once.
    if (const std::string removed = CleanUpAfterDeadJobs(*program.platform); !removed.empty()) {
        MsgBox(nullptr, removed);
    }
    program.main = std::make_unique<frmMain>(program.state, *program.platform, program.forms);
    program.main->Form_Load();
    program.main->Show();
    return RunMessageLoop();
}

} // namespace
} // namespace klar::win32

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*command*/,
                    int /*show*/) {
    return klar::win32::Main();
}
