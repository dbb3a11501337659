#include "termination.h"

#include <atomic>
#include <csignal>

namespace klar {
namespace {

// Lock-free, so that the signal handler may set it.
std::atomic<bool> gTermination{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnTerminationSignal(int) {
    gTermination.store(true);
}

} // namespace

void InstallTerminationHandlers() {
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: a write or fsync in progress finishes; the job sees the flag after it.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
    ::signal(SIGXFSZ, SIG_IGN);
}

bool TerminationRequested() {
    return gTermination.load();
}

void RequestTermination() {
    gTermination.store(true);
}

void SetJobActive(bool) {
    // A signal leaves the process running until it ends by itself: nothing to wait for here.
}

} // namespace klar
