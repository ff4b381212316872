#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "link/SerialPort.h"

namespace loadstar {

// A COM port through the Windows serial API. Opened with share mode 0, so Windows itself refuses a
// second opener; a named mutex per port refuses a second Loadstar also where the serial layer
// does not (wine shares its COM ports). 8N1 at the given speed without flow control, the line
// settings and time-outs read back and checked; the settings it changed are restored when it
// closes.
//
// Reads never wait (the time-outs make ReadFile return what is queued). waitForInput is a ReadFile
// of one byte with a total time-out, which sleeps in the driver; the byte it takes is kept and
// handed out first by the next read. Writes are bounded by the 5000 ms write time-out and then
// wait until the driver's output queue has drained, within the same 5000 ms.
class Win32SerialPort : public SerialPort {
  public:
    Win32SerialPort() = default;
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    // `deviceName` as win32DevicePath takes it. The queue sizes go to SetupComm.
    bool open(const std::string& deviceName, int inQueueSize, int outQueueSize, int baud) override;
    bool close() override;
    [[nodiscard]] bool isOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
    int read(std::uint8_t* buffer, int maxBytes) override;
    int write(const std::uint8_t* buffer, int count) override;
    InputWait waitForInput(std::chrono::milliseconds timeout) override;
    [[nodiscard]] int lineSpeed() const override { return isOpen() ? baud_ : 0; }
    [[nodiscard]] PortFault lastFault() const override { return fault_; }

    // The name CreateFileA is given for a port: "COM1" to "COM256", in any case, and "\\.\COMn"
    // become "\\.\COMn", which opens every port number (a plain "COM10" would name a file); other
    // names in the device namespace ("\\.\CNCA0") stay as they are. Empty for anything else, so
    // that no ordinary file is ever opened as a port.
    [[nodiscard]] static std::string win32DevicePath(const std::string& deviceName);

    static constexpr std::chrono::milliseconds writeTimeout{5000};

  private:
    bool fail(PortFault fault);
    bool lockPort(const std::string& devicePath);
    PortFault applyLineSettings(int baud);
    bool setReadWait(DWORD milliseconds);
    void waitUntilSent(std::chrono::steady_clock::time_point end) const;

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HANDLE portLock_ = nullptr;
    int baud_ = 0;
    DCB saved_{};
    bool timerRaised_ = false;
    DWORD readWait_ = 0;  // the read time-out in force: 0 returns at once, else ms for one byte
    bool lookAheadHeld_ = false;
    std::uint8_t lookAhead_ = 0;
    PortFault fault_;
};

}  // namespace loadstar
