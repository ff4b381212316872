#include "emulator/InProcessBoardPort.h"

#include <algorithm>
#include <cerrno>

#include "emulator/FrameDecoder.h"

namespace loadstar::emulator {

InProcessBoardPort::~InProcessBoardPort() {
    (void)close();
}

bool InProcessBoardPort::open(const std::string& deviceName, int /*inQueueSize*/,
                              int /*outQueueSize*/, int /*baud*/) {
    if (refuseOpen || open_ || board_.lineHeld()) {
        fault_ = {PortFaultKind::systemError, EBUSY};
        return false;
    }
    fault_ = {};
    openedDevice = deviceName;
    board_.setLineHeld(true);
    open_ = true;
    scheduled_.clear();
    input_.clear();
    return true;
}

bool InProcessBoardPort::close() {
    if (open_) {
        board_.setLineHeld(false);
        open_ = false;
    }
    return true;
}

int InProcessBoardPort::read(std::uint8_t* buffer, int maxBytes) {
    if (!open_) {
        return -1;
    }
    moveDueReplies();
    int n = 0;
    while (n < maxBytes && !input_.empty()) {
        buffer[n++] = input_.front();
        input_.pop_front();
    }
    return n;
}

int InProcessBoardPort::write(const std::uint8_t* buffer, int count) {
    if (!open_) {
        return -1;
    }
    if (onWrite) {
        onWrite(std::vector<std::uint8_t>(buffer, buffer + count));
        if (!open_) {
            return -1;  // the hook closed the port or pulled the device
        }
    }
    schedule(board_.receive({buffer, static_cast<std::size_t>(count)}, clock_.now()));
    return count;
}

InputWait InProcessBoardPort::waitForInput(std::chrono::milliseconds timeout) {
    if (!open_) {
        return InputWait::failed;
    }
    moveDueReplies();
    if (!input_.empty()) {
        return InputWait::ready;
    }
    const auto deadline = clock_.now() + timeout;
    if (awaitReplyDueBy(deadline)) {
        return InputWait::ready;
    }
    // Nothing will come within the time-out. The host keeps the line quiet that long, so a frame
    // it left half-sent is given up as the board would, which may bring a reply after all.
    if (timeout >= incompleteFrameTimeout && board_.hasIncompleteFrame()) {
        schedule(board_.expireIncompleteFrame(clock_.now()));
        if (awaitReplyDueBy(deadline)) {
            return InputWait::ready;
        }
    }
    return InputWait::timeout;
}

// Sleeps until the first scheduled reply when it falls due by `deadline`; spends no time otherwise.
bool InProcessBoardPort::awaitReplyDueBy(Clock::time_point deadline) {
    if (scheduled_.empty() || scheduled_.front().due > deadline) {
        return false;
    }
    clock_.sleepUntil(scheduled_.front().due);
    moveDueReplies();
    return true;
}

std::size_t InProcessBoardPort::pendingBytes() const {
    std::size_t n = input_.size();
    for (const auto& reply : scheduled_) {
        n += reply.bytes.size();
    }
    return n;
}

void InProcessBoardPort::schedule(std::vector<BoardReply> replies) {
    const auto now = clock_.now();
    // No wire here: a part that follows the one before it comes its gap after that one.
    auto previous = now;
    for (auto& reply : replies) {
        previous = reply.afterPrevious ? previous + *reply.afterPrevious : now + reply.delay;
        scheduled_.push_back({previous, std::move(reply.bytes)});
    }
    std::stable_sort(scheduled_.begin(), scheduled_.end(),
                     [](const Scheduled& a, const Scheduled& b) { return a.due < b.due; });
}

void InProcessBoardPort::moveDueReplies() {
    const auto now = clock_.now();
    while (!scheduled_.empty() && scheduled_.front().due <= now) {
        input_.insert(input_.end(), scheduled_.front().bytes.begin(),
                      scheduled_.front().bytes.end());
        scheduled_.pop_front();
    }
}

}  // namespace loadstar::emulator
