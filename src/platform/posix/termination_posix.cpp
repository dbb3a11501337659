#include "platform/termination.h"

#include <csignal>
#include <initializer_list>

namespace klar {
namespace {

extern "C" void OnTerminationSignal(int signalNumber) {
    RequestTermination(signalNumber);
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

void SetJobActive(bool) {
    // A signal leaves the process running until it ends by itself: nothing to wait for here.
}

} // namespace klar
