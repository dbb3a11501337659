#pragma once

#include <csignal>

namespace klar {

// The end of the process asked for from outside: a signal, a closed console, the end of the
// user's session. A running job treats it as a click on Abort (its filler files are deleted),
// and the front end ends the process once no job runs. Handlers only raise a flag, so
// everything that follows runs on the job's own thread.

/// Installs the handlers: SIGINT, SIGTERM and SIGHUP on POSIX (SIGXFSZ and SIGPIPE are ignored,
/// so neither a file size limit nor a closed output pipe ends a job with its files); console
/// close, log-off and shutdown on Windows. Call once at start, before any job runs.
void InstallTerminationHandlers();

/// True once the process was asked to end. Safe to call from any thread at any time.
[[nodiscard]] bool TerminationRequested();

/// The signal number of the first request to end (SIGINT for Ctrl-C, on Windows too; SIGTERM
/// for any other request), or 0 while none came. A command line exits with 128 + this.
[[nodiscard]] int TerminationSignal();

/// Asks the process to end, as the handlers do: for what a front end learns by itself (the
/// display lost, WM_QUERYENDSESSION or WM_ENDSESSION in a Win32 window). Only the first request
/// is kept. Async-signal-safe.
void RequestTermination(int signalNumber = SIGTERM);

/// Front ends and the engine say here whether a job holds filler files. A Windows console
/// close or shutdown then waits for the job to end (a few seconds at most, as long as the
/// system grants) before letting the process go.
void SetJobActive(bool active);

} // namespace klar
