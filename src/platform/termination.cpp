#include "platform/termination.h"

#include <atomic>

namespace klar {
namespace {

// The first request to end, as a signal number; 0 while none came. Lock-free, so that a
// signal handler may set it.
std::atomic<int> gTermination{0};
static_assert(std::atomic<int>::is_always_lock_free);

} // namespace

bool TerminationRequested() {
    return gTermination.load() != 0;
}

int TerminationSignal() {
    return gTermination.load();
}

void RequestTermination(int signalNumber) {
    int none = 0;
    gTermination.compare_exchange_strong(none, signalNumber);
}

} // namespace klar
