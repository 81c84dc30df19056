#include "cli/interrupt.h"

#include <csignal>

namespace quorvane {
namespace {

volatile std::sig_atomic_t interrupts = 0;

extern "C" void OnInterrupt(int) {
    if (interrupts < 2) interrupts = interrupts + 1;
    // After the stop at once, a third signal ends the program as it would uncaught.
    if (interrupts >= 2) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
}

}  // namespace

void CatchInterrupt() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

int InterruptCount() { return interrupts; }

}  // namespace quorvane
