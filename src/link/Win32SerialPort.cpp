#include "link/Win32SerialPort.h"

#include <mmsystem.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <thread>

#include "link/Deadline.h"

namespace loadstar {

namespace {

constexpr char devicePrefix[] = "\\\\.\\";
constexpr int highestPortNumber = 256;

// A GetLastError code as the fault it stands for.
PortFault systemFault(PortFaultKind kind, DWORD error) {
    return {kind, static_cast<int>(error)};
}

PortFault openFailure(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return systemFault(PortFaultKind::portDoesNotExist, error);
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return systemFault(PortFaultKind::inUseByAnotherProgram, error);
        default:
            return systemFault(PortFaultKind::systemError, error);
    }
}

// "7" for "COM7" (any case), 0 when the text is no COM port name in 1 to 256.
int comPortNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 ||
        std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(name[2])) != 'M' || name[3] == '0') {
        return 0;
    }
    int number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(name[i])) == 0) {
            return 0;
        }
        number = number * 10 + (name[i] - '0');
    }
    return number <= highestPortNumber ? number : 0;
}

bool keepsLineSettings(const DCB& applied, int baud) {
    return applied.BaudRate == static_cast<DWORD>(baud) && applied.ByteSize == 8 &&
           applied.Parity == NOPARITY && applied.StopBits == ONESTOPBIT &&
           applied.fOutxCtsFlow == 0 && applied.fOutxDsrFlow == 0 && applied.fOutX == 0 &&
           applied.fInX == 0 && applied.fRtsControl != RTS_CONTROL_HANDSHAKE &&
           applied.fRtsControl != RTS_CONTROL_TOGGLE &&
           applied.fDtrControl != DTR_CONTROL_HANDSHAKE;
}

}  // namespace

// Windows answers "access denied" for a port that another program holds, and that is what it
// means there.
bool isPermissionFault(const PortFault& /*fault*/) {
    return false;
}

std::unique_ptr<SerialPort> makePlatformSerialPort() {
    return std::make_unique<Win32SerialPort>();
}

std::string Win32SerialPort::win32DevicePath(const std::string& deviceName) {
    const std::string prefix(devicePrefix);
    const bool inDeviceSpace = deviceName.rfind(prefix, 0) == 0;
    const std::string name = inDeviceSpace ? deviceName.substr(prefix.size()) : deviceName;
    if (const int number = comPortNumber(name); number > 0) {
        return prefix + "COM" + std::to_string(number);
    }
    return inDeviceSpace && !name.empty() ? deviceName : std::string();
}

Win32SerialPort::~Win32SerialPort() {
    (void)close();
}

bool Win32SerialPort::fail(PortFault fault) {
    fault_ = std::move(fault);
    if (isOpen()) {
        ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    if (portLock_ != nullptr) {
        ::CloseHandle(portLock_);
        portLock_ = nullptr;
    }
    return false;
}

// The mutex exists while some Loadstar holds the port, and goes with its last handle, also when
// that program ends without closing.
bool Win32SerialPort::lockPort(const std::string& devicePath) {
    std::string port = devicePath.substr(sizeof devicePrefix - 1);
    std::transform(port.begin(), port.end(), port.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    portLock_ = ::CreateMutexA(nullptr, FALSE, ("Global\\loadstar-port-" + port).c_str());
    if (portLock_ == nullptr) {
        return fail(systemFault(PortFaultKind::lockRefused, ::GetLastError()));
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        return fail(openFailure(ERROR_ACCESS_DENIED));
    }
    return true;
}

bool Win32SerialPort::open(const std::string& deviceName, int inQueueSize, int outQueueSize,
                           int baud) {
    if (isOpen()) {
        fault_ = {PortFaultKind::openAlready};  // and stays open
        return false;
    }
    fault_ = {};
    const std::string path = win32DevicePath(deviceName);
    if (path.empty()) {
        return fail({PortFaultKind::notComPortName});
    }
    if (!lockPort(path)) {
        return false;
    }
    handle_ = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!isOpen()) {
        return fail(openFailure(::GetLastError()));
    }
    // Advisory both: a driver that ignores them still works with its own queues.
    (void)::SetCommMask(handle_, EV_RXCHAR);
    (void)::SetupComm(handle_, static_cast<DWORD>(inQueueSize), static_cast<DWORD>(outQueueSize));
    if (::GetCommState(handle_, &saved_) == 0) {
        return fail(systemFault(PortFaultKind::settingsUnreadable, ::GetLastError()));
    }
    if (PortFault refused = applyLineSettings(baud); refused.failed()) {
        (void)::SetCommState(handle_, &saved_);
        return fail(std::move(refused));
    }
    baud_ = baud;
    lookAheadHeld_ = false;
    // The 30 ms reply rule needs waits of a few milliseconds, not the default 15.6 ms tick.
    timerRaised_ = ::timeBeginPeriod(1) == TIMERR_NOERROR;
    // A new connection starts empty: whatever a board sent before nobody listened is dropped.
    (void)::PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    return true;
}

PortFault Win32SerialPort::applyLineSettings(int baud) {
    DCB wanted = saved_;
    const std::string mode = "baud=" + std::to_string(baud) + " parity=N data=8 stop=1";
    if (::BuildCommDCBA(mode.c_str(), &wanted) == 0) {
        return {PortFaultKind::unsupportedSpeed, 0, baud};
    }
    wanted.fBinary = TRUE;
    wanted.fParity = FALSE;
    wanted.fOutxCtsFlow = FALSE;
    wanted.fOutxDsrFlow = FALSE;
    wanted.fDtrControl = DTR_CONTROL_ENABLE;
    wanted.fDsrSensitivity = FALSE;
    wanted.fOutX = FALSE;
    wanted.fInX = FALSE;
    wanted.fErrorChar = FALSE;
    wanted.fNull = FALSE;
    wanted.fRtsControl = RTS_CONTROL_ENABLE;
    wanted.fAbortOnError = FALSE;  // a framing error must not stall every later read
    if (::SetCommState(handle_, &wanted) == 0) {
        return systemFault(PortFaultKind::settingsRefused, ::GetLastError());
    }
    DCB applied{};
    applied.DCBlength = sizeof applied;
    if (::GetCommState(handle_, &applied) == 0 || !keepsLineSettings(applied, baud)) {
        return {PortFaultKind::settingsNotKept, 0, baud};
    }
    readWait_ = 1;  // forces setReadWait to set the whole record
    if (!setReadWait(0)) {
        return systemFault(PortFaultKind::timeoutsRefused, ::GetLastError());
    }
    COMMTIMEOUTS timeouts{};
    if (::GetCommTimeouts(handle_, &timeouts) == 0 || timeouts.ReadIntervalTimeout != MAXDWORD ||
        timeouts.WriteTotalTimeoutConstant != static_cast<DWORD>(writeTimeout.count())) {
        return {PortFaultKind::timeoutsNotKept};
    }
    return {};
}

// 0: a read returns at once with what is queued. Otherwise a read returns as soon as one byte is
// there, or after `milliseconds` with none.
bool Win32SerialPort::setReadWait(DWORD milliseconds) {
    if (milliseconds == readWait_) {
        return true;
    }
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = milliseconds == 0 ? 0 : MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = milliseconds;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(writeTimeout.count());
    if (::SetCommTimeouts(handle_, &timeouts) == 0) {
        return false;  // GetLastError tells why
    }
    readWait_ = milliseconds;
    return true;
}

bool Win32SerialPort::close() {
    if (!isOpen()) {
        return true;
    }
    (void)::SetCommState(handle_, &saved_);
    const BOOL closed = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    ::CloseHandle(portLock_);
    portLock_ = nullptr;
    lookAheadHeld_ = false;
    if (timerRaised_) {
        ::timeEndPeriod(1);
        timerRaised_ = false;
    }
    return closed != 0;
}

int Win32SerialPort::read(std::uint8_t* buffer, int maxBytes) {
    if (!isOpen()) {
        return -1;
    }
    int count = 0;
    if (lookAheadHeld_ && maxBytes > 0) {
        buffer[count++] = lookAhead_;
        lookAheadHeld_ = false;
    }
    if (count == maxBytes) {
        return count;
    }
    DWORD got = 0;
    if (!setReadWait(0) || ::ReadFile(handle_, buffer + count, static_cast<DWORD>(maxBytes - count),
                                      &got, nullptr) == 0) {
        return count > 0 ? count : -1;
    }
    return count + static_cast<int>(got);
}

InputWait Win32SerialPort::waitForInput(std::chrono::milliseconds timeout) {
    if (!isOpen()) {
        return InputWait::failed;
    }
    if (lookAheadHeld_) {
        return InputWait::ready;
    }
    // The "one byte or the time-out" mode takes a constant between 1 and MAXDWORD - 1.
    const auto wait = std::clamp<long long>(timeout.count(), 0, MAXDWORD - 1);
    DWORD got = 0;
    if (!setReadWait(static_cast<DWORD>(wait)) ||
        ::ReadFile(handle_, &lookAhead_, 1, &got, nullptr) == 0) {
        return InputWait::failed;
    }
    lookAheadHeld_ = got == 1;
    return lookAheadHeld_ ? InputWait::ready : InputWait::timeout;
}

int Win32SerialPort::write(const std::uint8_t* buffer, int count) {
    if (!isOpen()) {
        return -1;
    }
    const Deadline deadline(writeTimeout);
    DWORD written = 0;
    const BOOL done = ::WriteFile(handle_, buffer, static_cast<DWORD>(count), &written, nullptr);
    if (done == 0 && written == 0) {
        const DWORD error = ::GetLastError();
        return error == ERROR_SEM_TIMEOUT || error == WAIT_TIMEOUT ? 0 : -1;
    }
    waitUntilSent(deadline.end());
    return static_cast<int>(written);
}

// A driver may report a write done while the bytes still wait in its queue: sleep for about as
// long as the queued bytes take on the wire, until the queue is empty or the deadline has passed.
void Win32SerialPort::waitUntilSent(std::chrono::steady_clock::time_point end) const {
    const Deadline deadline(end);
    for (;;) {
        COMSTAT status{};
        DWORD errors = 0;
        if (::ClearCommError(handle_, &errors, &status) == 0 || status.cbOutQue == 0 ||
            deadline.expired()) {
            return;
        }
        const auto wireTime = std::chrono::microseconds(static_cast<long long>(status.cbOutQue) *
                                                        10'000'000 / std::max(baud_, 1));
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            wireTime + std::chrono::microseconds(200), deadline.remaining()));
    }
}

}  // namespace loadstar
