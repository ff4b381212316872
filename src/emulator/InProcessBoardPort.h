#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "emulator/BoardModel.h"
#include "link/LinkClock.h"
#include "link/SerialPort.h"

namespace loadstar::emulator {

// A serial port wired straight to a BoardModel in the same process, for fast tests of the core
// and the windows. The board is borrowed, so a test can look at its flash and at the payloads it
// got. Replies come at once, or after the board's fault delay; no line speed is modelled.
//
// Waiting never spends time on a reply that will not come: waitForInput sleeps only until a reply
// that falls due within its time-out, and otherwise reports the time-out at once. The host's
// 30 ms reply windows therefore cost nothing while the board is silent. Replies are timed and
// waited for on `clock`.
class InProcessBoardPort : public SerialPort {
  public:
    explicit InProcessBoardPort(BoardModel& board, LinkClock& clock = systemClock())
        : board_(board), clock_(clock) {}
    ~InProcessBoardPort() override;
    InProcessBoardPort(const InProcessBoardPort&) = delete;
    InProcessBoardPort& operator=(const InProcessBoardPort&) = delete;

    // Succeeds unless refuseOpen is set, the port is open already, or another port holds the
    // board's line; then lastFault() is the system's EBUSY ("Device or resource busy").
    [[nodiscard]] bool open(const std::string& deviceName, int inQueueSize, int outQueueSize,
                            int baud) override;
    bool close() override;
    [[nodiscard]] bool isOpen() const override { return open_; }
    // -1 when closed.
    [[nodiscard]] int read(std::uint8_t* buffer, int maxBytes) override;
    // Runs onWrite, then hands the bytes to the board and schedules its replies. -1 when closed.
    [[nodiscard]] int write(const std::uint8_t* buffer, int count) override;
    [[nodiscard]] InputWait waitForInput(std::chrono::milliseconds timeout) override;
    // No wire: the board gets each frame the moment it is written.
    [[nodiscard]] int lineSpeed() const override { return 0; }
    [[nodiscard]] PortFault lastFault() const override { return fault_; }

    // Bytes delivered or scheduled and not read yet.
    [[nodiscard]] std::size_t pendingBytes() const;

    bool refuseOpen = false;
    // The name open() was given last.
    std::string openedDevice;
    // Called with the bytes of every write before the board sees them, so a test can act in the
    // middle of a pass (make the board silent, close the port, press ESC).
    std::function<void(const std::vector<std::uint8_t>& bytes)> onWrite;

  private:
    using Clock = LinkClock::Clock;
    struct Scheduled {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
    };
    void schedule(std::vector<BoardReply> replies);
    void moveDueReplies();
    bool awaitReplyDueBy(Clock::time_point deadline);

    BoardModel& board_;
    LinkClock& clock_;
    bool open_ = false;
    PortFault fault_;
    std::deque<Scheduled> scheduled_;
    std::deque<std::uint8_t> input_;
};

}  // namespace loadstar::emulator
