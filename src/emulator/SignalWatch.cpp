#include "emulator/SignalWatch.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "emulator/SetupError.h"

namespace loadstar::emulator {

SignalWatch::SignalWatch() {
    sigemptyset(&watched_);
    sigaddset(&watched_, SIGTERM);
    sigaddset(&watched_, SIGINT);
    sigaddset(&watched_, SIGHUP);
    if (::sigprocmask(SIG_BLOCK, &watched_, &previous_) != 0) {
        throw SetupError(std::string("cannot block the stop signals: ") + std::strerror(errno));
    }
    fd_ = UniqueDescriptor(::signalfd(-1, &watched_, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!fd_.valid()) {
        const std::string reason = std::strerror(errno);
        ::sigprocmask(SIG_SETMASK, &previous_, nullptr);
        throw SetupError("cannot watch the stop signals: " + reason);
    }
}

// The signals stay blocked: a second stop signal while the emulator winds down must not cut the
// saving of its flash short.
SignalWatch::~SignalWatch() = default;

int SignalWatch::takeSignal() {
    signalfd_siginfo info{};
    for (;;) {
        const ssize_t got = ::read(fd_.get(), &info, sizeof info);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got == static_cast<ssize_t>(sizeof info) ? static_cast<int>(info.ssi_signo) : 0;
    }
}

}  // namespace loadstar::emulator
