#include "termination.h"

#include <atomic>
#include <csignal>

namespace klar {
namespace {

// Lock-free, so that the signal handler may set it.
// The first signal that asked the process to end; 0 while none did.
std::atomic<int> gTermination{0};
static_assert(std::atomic<int>::is_always_lock_free);

void Record(int signal) {
    int none = 0;
    gTermination.compare_exchange_strong(none, signal);
}

extern "C" void OnTerminationSignal(int signal) {
    Record(signal);
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
    ::signal(SIGPIPE, SIG_IGN);
}

bool TerminationRequested() {
    return gTermination.load() != 0;
}

int TerminationSignal() {
    return gTermination.load();
}

void RequestTermination() {
    Record(SIGTERM);
}

void SetJobActive(bool) {
    // A signal leaves the process running until it ends by itself: nothing to wait for here.
}

} // namespace klar
