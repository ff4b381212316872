#include "cli/LineTrace.h"

#include <ctime>
#include <string>

#include "link/HexText.h"
#include "link/ObservedSerialPort.h"

namespace loadstar::cli {

void LineTrace::sent(std::span<const std::uint8_t> bytes) {
    flush();
    writeLine(Clock::now(), '>', bytes);
}

void LineTrace::received(std::span<const std::uint8_t> bytes) {
    if (reply_.empty()) {
        replyTime_ = Clock::now();
    }
    reply_.insert(reply_.end(), bytes.begin(), bytes.end());
}

void LineTrace::note(const std::string& text) {
    flush();
    writeLine(Clock::now(), '#', {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
              false);
}

void LineTrace::flush() {
    if (!reply_.empty()) {
        writeLine(replyTime_, '<', reply_);
        reply_.clear();
    }
}

void LineTrace::writeLine(Clock::time_point time, char direction,
                          std::span<const std::uint8_t> bytes, bool asHex) {
    const std::time_t seconds = Clock::to_time_t(time);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() %
        1000;
    std::string hex(bytes.size() * 3 + 1, '\0');
    if (asHex) {
        bytesToHexText(bytes.data(), static_cast<int>(bytes.size()), hex.data());
    } else {
        hex.assign(bytes.begin(), bytes.end());
    }
    std::fprintf(out_, "%02d:%02d:%02d.%03d %c %s\n", local.tm_hour, local.tm_min, local.tm_sec,
                 static_cast<int>(milliseconds), direction, hex.c_str());
    std::fflush(out_);
}

SerialLink::PortFactory LineTrace::observing(SerialLink::PortFactory makePort) {
    return [this, makePort = std::move(makePort)]() -> std::unique_ptr<SerialPort> {
        return std::make_unique<ObservedSerialPort>(
            makePort(), [this](std::span<const std::uint8_t> bytes) { sent(bytes); },
            [this](std::span<const std::uint8_t> bytes) { received(bytes); });
    };
}

}  // namespace loadstar::cli
