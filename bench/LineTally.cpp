#include "LineTally.h"

#include <algorithm>

#include "ObservedSerialPort.h"

namespace loadstar::bench {

double LineTally::wireLimitSeconds(double latencySeconds) const {
    const long exchanges = frames - resends;
    return static_cast<double>(frameBytes + replyBytes) * 10.0 / 19200.0 +
           static_cast<double>(exchanges) * (0.030 + latencySeconds);
}

std::unique_ptr<SerialPort> makeTallyingPort(LineTally& tally) {
    return std::make_unique<ObservedSerialPort>(
        makePlatformSerialPort(),
        [&tally](std::span<const std::uint8_t> frame) {
            ++tally.frames;
            tally.frameBytes += static_cast<long>(frame.size());
            if (std::equal(frame.begin(), frame.end(), tally.lastFrame.begin(),
                           tally.lastFrame.end())) {
                ++tally.resends;
            }
            tally.lastFrame.assign(frame.begin(), frame.end());
        },
        [&tally](std::span<const std::uint8_t> reply) {
            tally.replyBytes += static_cast<long>(reply.size());
        });
}

}  // namespace loadstar::bench
