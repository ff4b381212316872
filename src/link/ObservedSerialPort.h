#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "link/SerialPort.h"

namespace loadstar {

// A serial port that passes every call on to another one and tells its observers what crossed
// it: each write's bytes as they were handed to the port, and each read's bytes as they came.
// Used to trace the line for the user and to count frames in tests and benchmarks.
class ObservedSerialPort : public SerialPort {
  public:
    using BytesSeen = std::function<void(std::span<const std::uint8_t> bytes)>;

    // Either observer may be empty.
    ObservedSerialPort(std::unique_ptr<SerialPort> port, BytesSeen written, BytesSeen read)
        : port_(std::move(port)), written_(std::move(written)), read_(std::move(read)) {}

    [[nodiscard]] bool open(const std::string& deviceName, int inQueueSize, int outQueueSize,
                            int baud) override {
        return port_->open(deviceName, inQueueSize, outQueueSize, baud);
    }
    bool close() override { return port_->close(); }
    [[nodiscard]] bool isOpen() const override { return port_->isOpen(); }
    [[nodiscard]] int read(std::uint8_t* buffer, int maxBytes) override;
    [[nodiscard]] int write(const std::uint8_t* buffer, int count) override;
    [[nodiscard]] InputWait waitForInput(std::chrono::milliseconds timeout) override {
        return port_->waitForInput(timeout);
    }
    [[nodiscard]] int lineSpeed() const override { return port_->lineSpeed(); }
    [[nodiscard]] PortFault lastFault() const override { return port_->lastFault(); }

  private:
    std::unique_ptr<SerialPort> port_;
    BytesSeen written_;
    BytesSeen read_;
};

}  // namespace loadstar
