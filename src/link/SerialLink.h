#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "link/PacketExchange.h"
#include "link/SerialPort.h"

namespace loadstar {

// The one serial link of the program: which device, at what speed, and whether it is open.
// Its owner (the main window or the command-line tool) holds it for the life of the program;
// board commands and sector passes borrow it. Everything runs on one thread.
class SerialLink {
  public:
    using PortFactory = std::function<std::unique_ptr<SerialPort>()>;
    using ErrorReporter = std::function<void()>;

    static constexpr int defaultRetries = 10;
    static constexpr int queueSize = 1600;  // Windows driver queue sizes; no Linux counterpart
    static constexpr int lineSpeed = 19200;

    // `reportError` is told when openPort fails (its caller words it from lastOpenFault);
    // `makePort` makes the port that openPort opens, the platform's serial device unless a test
    // supplies another.
    explicit SerialLink(ErrorReporter reportError, PortFactory makePort = makePlatformSerialPort);

    // Which device openPort opens for "COM1"; by default the one resolveComPort picks.
    void setDevicePath(std::string devicePath) { devicePath_ = std::move(devicePath); }
    [[nodiscard]] const std::string& portName() const { return portName_; }
    [[nodiscard]] int baudRate() const { return baudRate_; }

    // 1: the device is open now; 0: it could not be opened (reportError has been told); -1: it was
    // open already and nothing was done.
    int openPort();
    // Always 1. Closes the device if it is open.
    int closePort();
    // 1 while the device is open, else 0.
    [[nodiscard]] int isPortOpen() const { return portOpen_; }
    // Why the last openPort failed; kind none after one that opened the device.
    [[nodiscard]] const PortFault& lastOpenFault() const { return lastOpenFault_; }

    // Sends one command frame and takes the board's raw reply; see PacketExchange.h. What the
    // link learns of the board's replies and timing holds from openPort to the next openPort.
    // 1 when a reply that fits the frame came in, 0 when the retries ran out.
    int exchangePacket(const std::uint8_t* payload, int payloadLength, std::uint8_t* replyBuffer,
                       int replyMax, int* replyLength, int maxRetries);
    int exchangePacket(const char* payloadText, std::uint8_t* replyBuffer, int replyMax,
                       int* replyLength, int maxRetries);

    // The clock every wait of the link reads (tests give a virtual one); the system's by default.
    void setClock(LinkClock& clock);
    // Asked during every wait; true ends the exchange at once as failed (an interrupted program).
    void setStopRequest(std::function<bool()> stopRequested);
    // Hears every change of what the link has learned of the board, for a trace of the line.
    void setKnowledgeNotes(ReplyKnowledge::Note note);
    // The port in use, for tests and tools that look below the link; null before openPort.
    [[nodiscard]] SerialPort* port() { return port_.get(); }

  private:
    void resetLineState();

    ErrorReporter reportError_;
    PortFactory makePort_;
    std::string devicePath_;
    std::string portName_;
    int baudRate_ = 0;
    std::unique_ptr<SerialPort> port_;
    int portOpen_ = 0;
    LineState line_;
    LinkClock* clock_ = &systemClock();
    std::function<bool()> stopRequested_;
    ReplyKnowledge::Note note_;
    PortFault lastOpenFault_;
};

}  // namespace loadstar
