#include "link/PosixSerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <thread>

#include "link/Deadline.h"

namespace loadstar {

namespace {

speed_t speedConstant(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return B0;
    }
}

// The bits of the line settings this port depends on; a driver that does not keep one of them
// (flow control staying on is the classic) is refused at open.
constexpr tcflag_t controlBitsChecked = CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD;
constexpr tcflag_t inputBitsChecked = IXON | IXOFF | IXANY;

std::string realDevicePath(const std::string& deviceName) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(deviceName.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : deviceName;
}

}  // namespace

std::unique_ptr<SerialPort> makePlatformSerialPort() {
    return std::make_unique<PosixSerialPort>();
}

PosixSerialPort::~PosixSerialPort() {
    (void)close();
}

bool isPermissionFault(const PortFault& fault) {
    return fault.kind == PortFaultKind::systemError &&
           (fault.error == EACCES || fault.error == EPERM);
}

bool PosixSerialPort::fail(PortFault fault) {
    fault_ = std::move(fault);
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    return false;
}

bool PosixSerialPort::open(const std::string& deviceName, int /*inQueueSize*/, int /*outQueueSize*/,
                           int baud) {
    if (fd_ >= 0) {
        fault_ = {PortFaultKind::openAlready};  // and stays open
        return false;
    }
    fault_ = {};
    hungUp_ = false;
    // Lock the device itself, so that a link and the adapter it names are one lock.
    const std::string device = realDevicePath(deviceName);
    do {
        fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        return fail({PortFaultKind::systemError, errno});
    }
    if (::isatty(fd_) == 0) {
        return fail({PortFaultKind::notSerialDevice, ENOTTY, 0, device});
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        return fail({error == EWOULDBLOCK ? PortFaultKind::inUseByAnotherProgram
                                          : PortFaultKind::systemError,
                     error});
    }
    if (::ioctl(fd_, TIOCEXCL) != 0) {
        return fail({PortFaultKind::systemError, errno});
    }
    if (::tcgetattr(fd_, &saved_) != 0) {
        return fail({PortFaultKind::systemError, errno});
    }
    if (PortFault refused = applyLineSettings(baud); refused.failed()) {
        ::tcsetattr(fd_, TCSANOW, &saved_);
        ::ioctl(fd_, TIOCNXCL);
        return fail(std::move(refused));
    }
    baud_ = baud;
    // A new connection starts empty: whatever a board sent before nobody listened is dropped.
    ::tcflush(fd_, TCIFLUSH);
    return true;
}

PortFault PosixSerialPort::applyLineSettings(int baud) {
    const speed_t speed = speedConstant(baud);
    if (speed == B0) {
        return {PortFaultKind::unsupportedSpeed, 0, baud};
    }
    termios wanted = saved_;
    ::cfmakeraw(&wanted);
    wanted.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    wanted.c_cflag |= CS8 | CLOCAL | CREAD;
    wanted.c_iflag &= ~inputBitsChecked;
    // With O_NONBLOCK, VMIN 1 makes an empty read fail with EAGAIN, so that a read of 0 bytes
    // can only mean the device hung up.
    wanted.c_cc[VMIN] = 1;
    wanted.c_cc[VTIME] = 0;
    ::cfsetispeed(&wanted, speed);
    ::cfsetospeed(&wanted, speed);
    if (::tcsetattr(fd_, TCSANOW, &wanted) != 0) {
        return {PortFaultKind::settingsRefused, errno};
    }
    termios applied{};
    if (::tcgetattr(fd_, &applied) != 0) {
        return {PortFaultKind::settingsNotReadBack, errno};
    }
    if ((applied.c_cflag & controlBitsChecked) != (wanted.c_cflag & controlBitsChecked) ||
        (applied.c_iflag & inputBitsChecked) != 0 || ::cfgetospeed(&applied) != speed ||
        ::cfgetispeed(&applied) != speed) {
        return {PortFaultKind::settingsNotKept, 0, baud};
    }
    return {};
}

bool PosixSerialPort::close() {
    if (fd_ < 0) {
        return true;
    }
    ::tcsetattr(fd_, TCSANOW, &saved_);
    ::ioctl(fd_, TIOCNXCL);
    const int result = ::close(fd_);  // also releases the lock
    fd_ = -1;
    return result == 0;
}

int PosixSerialPort::read(std::uint8_t* buffer, int maxBytes) {
    if (fd_ < 0 || hungUp_) {
        return -1;
    }
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, static_cast<std::size_t>(maxBytes));
        if (got > 0) {
            return static_cast<int>(got);
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return 0;
        }
        // A read of 0 bytes or EIO: the adapter was unplugged or the other side went away, for
        // good; every later read and wait fails at once.
        hungUp_ = true;
        return -1;
    }
}

int PosixSerialPort::write(const std::uint8_t* buffer, int count) {
    if (fd_ < 0) {
        return -1;
    }
    const Deadline deadline(writeTimeout);
    int sent = 0;
    while (sent < count) {
        const ssize_t put = ::write(fd_, buffer + sent, static_cast<std::size_t>(count - sent));
        if (put > 0) {
            sent += static_cast<int>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd waiting{fd_, POLLOUT, 0};
            const auto left = deadline.remaining();
            if (left.count() == 0) {
                return sent;
            }
            const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno != EINTR) {
                return sent > 0 ? sent : -1;
            }
            if (ready > 0 && (waiting.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                return sent > 0 ? sent : -1;
            }
            continue;
        }
        return sent > 0 ? sent : -1;
    }
    waitUntilSent(baud_, deadline.end());
    return sent;
}

// tcdrain() has no time limit, so the output queue is watched instead: sleep for about as long as
// the queued bytes take on the wire, until it is empty or the write's deadline has passed.
void PosixSerialPort::waitUntilSent(int baud, std::chrono::steady_clock::time_point end) const {
    const Deadline deadline(end);
    for (;;) {
        int queued = 0;
        if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0 || deadline.expired()) {
            return;
        }
        const int perSecond = baud > 0 ? baud : 19200;
        const auto wireTime =
            std::chrono::microseconds(static_cast<long long>(queued) * 10'000'000 / perSecond);
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            wireTime + std::chrono::microseconds(200), deadline.remaining()));
    }
}

InputWait PosixSerialPort::waitForInput(std::chrono::milliseconds timeout) {
    if (fd_ < 0 || hungUp_) {
        return InputWait::failed;
    }
    pollfd waiting{fd_, POLLIN, 0};
    const int ready =
        ::poll(&waiting, 1, static_cast<int>(std::min<long long>(timeout.count(), INT_MAX)));
    if (ready < 0) {
        // A signal ends the wait early, so its caller can look at its stop request and deadline.
        return errno == EINTR ? InputWait::interrupted : InputWait::failed;
    }
    if (ready == 0) {
        return InputWait::timeout;
    }
    if ((waiting.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        // Hung up, also when bytes are still there to read: nothing more will come.
        hungUp_ = true;
        return InputWait::failed;
    }
    return InputWait::ready;
}

}  // namespace loadstar
