#include "ScriptedPort.h"

#include <algorithm>
#include <thread>

namespace loadstar::testing {

bool ScriptedPort::open(const std::string& deviceName, int, int, int) {
    if (refuseOpen) {
        lastError_ = "Device or resource busy";
        return false;
    }
    openedDevice = deviceName;
    open_ = true;
    return true;
}

bool ScriptedPort::close() {
    open_ = false;
    return true;
}

int ScriptedPort::read(std::uint8_t* buffer, int maxBytes) {
    if (!open_) {
        return -1;
    }
    moveDueChunks();
    int n = 0;
    while (n < maxBytes && !input_.empty()) {
        buffer[n++] = input_.front();
        input_.pop_front();
    }
    return n;
}

int ScriptedPort::write(const std::uint8_t* buffer, int count) {
    if (!open_) {
        return -1;
    }
    frames.emplace_back(buffer, buffer + count);
    if (answer) {
        const auto now = Clock::now();
        for (auto& chunk : answer(frames.back())) {
            scheduled_.push_back({now + chunk.after, std::move(chunk.bytes)});
        }
        std::stable_sort(scheduled_.begin(), scheduled_.end(),
                         [](const Scheduled& a, const Scheduled& b) { return a.due < b.due; });
    }
    return count;
}

InputWait ScriptedPort::waitForInput(std::chrono::milliseconds timeout) {
    if (!open_) {
        return InputWait::failed;
    }
    moveDueChunks();
    if (!input_.empty()) {
        return InputWait::ready;
    }
    const auto deadline = Clock::now() + timeout;
    if (!scheduled_.empty() && scheduled_.front().due <= deadline) {
        std::this_thread::sleep_until(scheduled_.front().due);
        moveDueChunks();
        return InputWait::ready;
    }
    std::this_thread::sleep_until(deadline);
    return InputWait::timeout;
}

std::size_t ScriptedPort::pendingBytes() const {
    std::size_t n = input_.size();
    for (const auto& s : scheduled_) {
        n += s.bytes.size();
    }
    return n;
}

void ScriptedPort::deliverNow(const std::vector<std::uint8_t>& bytes) {
    input_.insert(input_.end(), bytes.begin(), bytes.end());
}

void ScriptedPort::moveDueChunks() {
    const auto now = Clock::now();
    while (!scheduled_.empty() && scheduled_.front().due <= now) {
        input_.insert(input_.end(), scheduled_.front().bytes.begin(),
                      scheduled_.front().bytes.end());
        scheduled_.pop_front();
    }
}

ScriptedPort::Reply replyNow(const std::string& text) {
    return {{{}, bytesOf(text)}};
}

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace loadstar::testing
