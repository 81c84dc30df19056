#include "cli/interrupt.h"

#include <csignal>

namespace quorvane {
namespace {

volatile std::sig_atomic_t interrupts = 0;

extern "C" void OnInterrupt(int) {
    if (interrupts < 2) interrupts = interrupts + 1;
}

}  // namespace

void CatchInterrupt() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

int InterruptCount() { return interrupts; }

}  // namespace quorvane
