#include "cli/Interrupt.h"

#include <csignal>
#include <cstdlib>

namespace loadstar::cli {

namespace {

volatile std::sig_atomic_t interruptSeen = 0;
struct sigaction previousInt {};
struct sigaction previousTerm {};

void noteInterrupt(int signalNumber) {
    if (interruptSeen != 0) {
        // Asked a second time: the command has not come to a stop, so the process ends now.
        std::_Exit(128 + signalNumber);
    }
    interruptSeen = 1;
}

}  // namespace

InterruptGuard::InterruptGuard() {
    struct sigaction action {};
    action.sa_handler = noteInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a wait in progress ends early and looks again
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
}

bool InterruptGuard::interrupted() {
    return interruptSeen != 0;
}

void InterruptGuard::clear() {
    interruptSeen = 0;
}

}  // namespace loadstar::cli
