#include "emulator/PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <cstring>

#include "emulator/SetupError.h"

namespace loadstar::emulator {

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw SetupError("cannot set up the pseudo-terminal: " + what + ": " + std::strerror(errno));
}

}  // namespace

PseudoTerminal::PseudoTerminal()
    : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (!master_.valid()) {
        fail("posix_openpt");
    }
    if (::grantpt(master_.get()) != 0) {
        fail("grantpt");
    }
    if (::unlockpt(master_.get()) != 0) {
        fail("unlockpt");
    }
    char name[128];
    if (::ptsname_r(master_.get(), name, sizeof name) != 0) {
        fail("ptsname");
    }
    slavePath_ = name;
    slave_ = UniqueDescriptor(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!slave_.valid()) {
        fail("open " + slavePath_);
    }
    termios settings{};
    if (::tcgetattr(slave_.get(), &settings) != 0) {
        fail("tcgetattr");
    }
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&settings, B19200);
    ::cfsetospeed(&settings, B19200);
    if (::tcsetattr(slave_.get(), TCSANOW, &settings) != 0) {
        fail("tcsetattr");
    }
}

void PseudoTerminal::discardUnreadInput() {
    ::tcflush(slave_.get(), TCIFLUSH);
}

void PseudoTerminal::clearExclusiveMode() {
    ::ioctl(slave_.get(), TIOCNXCL);
}

}  // namespace loadstar::emulator
