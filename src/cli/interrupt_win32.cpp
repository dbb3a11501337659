#include "interrupt.h"

#include <atomic>
#include <csignal>
#include <windows.h>

namespace klar::cli {
namespace {

std::atomic<int> gSignal{0};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    int none = 0;
    gSignal.compare_exchange_strong(none, SIGINT);
    return TRUE;
}

} // namespace

void InstallInterruptHandler() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int InterruptSignal() {
    return gSignal.load();
}

} // namespace klar::cli
