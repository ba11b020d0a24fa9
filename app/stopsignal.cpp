#include "app/stopsignal.h"

#include <csignal>
#include <initializer_list>

namespace talvo {

namespace {

volatile std::sig_atomic_t received = 0;

void record(int signal) {
    if (received != 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    received = signal;
}

void handle(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Restarted: a signal must not fail the read or wait it happens to interrupt.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGQUIT}) sigaction(signal, &action, nullptr);
}

}  // namespace

stopsignals::stopsignals() { handle(record); }

stopsignals::~stopsignals() { handle(SIG_DFL); }

int stopsignal() { return received; }

}  // namespace talvo
