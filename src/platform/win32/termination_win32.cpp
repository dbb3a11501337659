#include "platform/termination.h"

#include <atomic>
#include <windows.h>

namespace klar {
namespace {

std::atomic<bool> gJobActive{false};

// The system ends the process once the handler returns from a close, log-off or shutdown
// event, and grants it about 5 seconds (close) to 20 (log-off, shutdown) before that.
constexpr DWORD kWaitForJobMs = 4500;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    RequestTermination(event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        return TRUE; // the process goes on; the job aborts and the front end ends it
    }
    // Runs on a thread of its own: hold the process until the job has deleted its files.
    for (DWORD waited = 0; gJobActive.load() && waited < kWaitForJobMs; waited += 50) {
        ::Sleep(50);
    }
    return TRUE;
}

} // namespace

void InstallTerminationHandlers() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void SetJobActive(bool active) {
    gJobActive.store(active);
}

} // namespace klar
