#include "run/interrupt.h"

#include <csignal>

namespace qor {

namespace {
volatile std::sig_atomic_t gSignal = 0;

void OnSignal(int signal) { gSignal = signal; }
}  // namespace

void CatchInterrupts() {
    gSignal = 0;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
}

void ReleaseInterrupts() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

int InterruptSignal() { return gSignal; }

int InterruptExitCode(int signal) { return 128 + signal; }

}  // namespace qor
