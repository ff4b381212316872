#include <atomic>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "cli/ExitCode.h"
#include "cli/Interrupt.h"

namespace loadstar::cli {

namespace {

// The console calls the handler on a thread of its own, hence the atomic.
std::atomic<bool> interruptSeen{false};

BOOL WINAPI noteInterrupt(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        if (interruptSeen.exchange(true)) {
            // Asked a second time: the command has not come to a stop, so the process ends now.
            ::ExitProcess(exitInterrupted);
        }
        return TRUE;  // handled: the command stops by itself at its next check
    }
    return FALSE;  // closing the console or logging off ends the program as usual
}

}  // namespace

InterruptGuard::InterruptGuard() {
    ::SetConsoleCtrlHandler(noteInterrupt, TRUE);
}

InterruptGuard::~InterruptGuard() {
    ::SetConsoleCtrlHandler(noteInterrupt, FALSE);
}

bool InterruptGuard::interrupted() {
    return interruptSeen;
}

void InterruptGuard::clear() {
    interruptSeen = false;
}

}  // namespace loadstar::cli
