#pragma once

#include <termios.h>

#include <string>

#include "link/SerialPort.h"

namespace loadstar {

// A serial device through termios. Opened raw 8N1 without flow control, receiver on and modem
// status ignored; reads never wait; writes return once the bytes have left the port. Held
// exclusively: an advisory lock on the real device (links resolved) plus the terminal's exclusive
// mode, so a second program is refused. The settings it changed are restored when it closes.
class PosixSerialPort : public SerialPort {
  public:
    PosixSerialPort() = default;
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    // The queue sizes have no Linux counterpart (the driver sizes its own buffers); they are kept
    // so that callers pass what the board's protocol was designed with.
    bool open(const std::string& deviceName, int inQueueSize, int outQueueSize, int baud) override;
    bool close() override;
    [[nodiscard]] bool isOpen() const override { return fd_ >= 0; }
    int read(std::uint8_t* buffer, int maxBytes) override;
    int write(const std::uint8_t* buffer, int count) override;
    InputWait waitForInput(std::chrono::milliseconds timeout) override;
    [[nodiscard]] int lineSpeed() const override { return fd_ >= 0 ? baud_ : 0; }
    [[nodiscard]] PortFault lastFault() const override { return fault_; }

    // How long a write may take before it returns with what it sent.
    static constexpr std::chrono::milliseconds writeTimeout{5000};

  private:
    bool fail(PortFault fault);
    PortFault applyLineSettings(int baud);
    void waitUntilSent(int baud, std::chrono::steady_clock::time_point deadline) const;

    int fd_ = -1;
    bool hungUp_ = false;  // the device hung up: every read and wait fails until reopened
    int baud_ = 0;
    termios saved_{};
    PortFault fault_;
};

}  // namespace loadstar
