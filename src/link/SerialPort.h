#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "link/PortFault.h"

namespace loadstar {

// What waiting for input on a port can end with.
enum class InputWait {
    ready,    // at least one byte can be read now
    timeout,  // nothing arrived within the time given
    failed,   // the device is closed, failed or vanished
    // a signal ended the wait early (Ctrl-C, SIGTERM): the caller looks at its stop request and
    // waits again for what is left of its time
    interrupted,
};

// One open serial device, held for exclusive use while it is open.
//
// Two implementations pass the same contract tests: the platform's serial device and an
// in-process stand-in used by tests. Code above the port layer reaches it only through the
// serialOpen / serialClose / serialRead / serialWrite functions below and waitForInput.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Opens the device exclusively with raw 8N1 at `baud`, no flow control. False when the device
    // is missing, held by another program, or refuses the line settings; lastFault() tells why.
    [[nodiscard]] virtual bool open(const std::string& deviceName, int inQueueSize,
                                    int outQueueSize, int baud) = 0;
    // Releases the device and restores the settings that open() changed. False when the
    // platform refused to close it.
    virtual bool close() = 0;
    [[nodiscard]] virtual bool isOpen() const = 0;
    // Copies the bytes already received, at most maxBytes; never waits. 0 when none are there,
    // -1 when the device failed, vanished or is closed.
    [[nodiscard]] virtual int read(std::uint8_t* buffer, int maxBytes) = 0;
    // Returns once the bytes have left the port (drained), or after 5000 ms with what was sent
    // by then. -1 when the device failed or is closed.
    [[nodiscard]] virtual int write(const std::uint8_t* buffer, int count) = 0;
    // Sleeps until input is there, the time runs out, the device fails or a signal comes. Never
    // spins.
    [[nodiscard]] virtual InputWait waitForInput(std::chrono::milliseconds timeout) = 0;
    // The speed at which written bytes cross the wire, in baud, while the port is open. A driver
    // may report a write done while the bytes still wait in the adapter, so the exchange reckons
    // the frame's own line time from this. 0 for a port with no wire (in-process stand-ins).
    [[nodiscard]] virtual int lineSpeed() const = 0;
    // Why the last open failed; kind none after a successful one.
    [[nodiscard]] virtual PortFault lastFault() const = 0;
};

// The platform's serial device; the implementation is chosen by the build.
std::unique_ptr<SerialPort> makePlatformSerialPort();

// The thin port layer. Results are those of the board's original port layer: serialOpen 1 or 0,
// serialClose 1 or 0, serialRead and serialWrite a byte count or -1.
int serialOpen(SerialPort& port, const char* deviceName, int inQueueSize, int outQueueSize,
               int baud);
int serialClose(SerialPort& port);
int serialRead(SerialPort& port, std::uint8_t* buffer, int maxBytes);
int serialWrite(SerialPort& port, const std::uint8_t* buffer, int count);

}  // namespace loadstar
