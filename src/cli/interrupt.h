#pragma once

namespace klar::cli {

// Ctrl-C and the system's polite requests to end turn into a flag that the console view's yield
// polls and answers with btnAbort_Click, so that the job deletes its filler files before the
// program ends. One backend per system (interrupt_posix.cpp, interrupt_win32.cpp).

/// Catches the interrupt and termination requests from now on; on POSIX also ignores SIGPIPE,
/// so that a closed output pipe cannot end the program with its filler files left behind.
void InstallInterruptHandler();

/// The signal number of the first request to stop (SIGINT for Ctrl-C); 0 while none came.
[[nodiscard]] int InterruptSignal();

} // namespace klar::cli
