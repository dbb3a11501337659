#include "interrupt.h"

#include <atomic>
#include <csignal>

namespace klar::cli {
namespace {

std::atomic<int> gSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "read and written from a signal handler");

extern "C" void OnSignal(int signal) {
    int none = 0;
    gSignal.compare_exchange_strong(none, signal);
}

} // namespace

void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

int InterruptSignal() {
    return gSignal.load();
}

} // namespace klar::cli
