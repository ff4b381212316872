#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "FrameBytes.h"

namespace loadstar::emulator::testing {

// A bare client of the emulator's pseudo-terminal, independent of the host's serial port code:
// opens the device raw, writes frames and collects what comes back until the line stays quiet.
class PtyClient {
  public:
    explicit PtyClient(const std::string& device)
        : fd_(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        termios settings{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~PtyClient() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    [[nodiscard]] bool isOpen() const { return fd_ >= 0; }

    bool send(const Bytes& bytes) {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Bytes that arrive until the line has been quiet for `quiet` (waiting at most `firstByte`
    // for the first one).
    std::string collect(std::chrono::milliseconds quiet = std::chrono::milliseconds(150),
                        std::chrono::milliseconds firstByte = std::chrono::milliseconds(2000)) {
        std::string received;
        for (;;) {
            pollfd waiting{fd_, POLLIN, 0};
            const auto wait = received.empty() ? firstByte : quiet;
            if (::poll(&waiting, 1, static_cast<int>(wait.count())) <= 0) {
                return received;
            }
            char buffer[512];
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got <= 0) {
                return received;
            }
            received.append(buffer, static_cast<std::size_t>(got));
        }
    }

    // Sends the payload framed and returns the reply ("" when none came).
    std::string ask(const Bytes& payload,
                    std::chrono::milliseconds firstByte = std::chrono::milliseconds(2000)) {
        if (!send(frameOf(payload))) {
            return "<write failed>";
        }
        return collect(std::chrono::milliseconds(150), firstByte);
    }
    std::string ask(const std::string& payload,
                    std::chrono::milliseconds firstByte = std::chrono::milliseconds(2000)) {
        return ask(bytesOf(payload), firstByte);
    }

  private:
    int fd_;
};

}  // namespace loadstar::emulator::testing
