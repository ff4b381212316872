#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "SerialPort.h"

namespace loadstar::bench {

// What crossed the line through a tallying port: the frames written (a frame sent again counts
// again, and as a resend), their bytes, and the reply bytes read.
struct LineTally {
    long frames = 0;
    long resends = 0;
    long frameBytes = 0;
    long replyBytes = 0;
    std::vector<std::uint8_t> lastFrame;

    void reset() { *this = LineTally{}; }
    // The least these exchanges can take both ways on the wire at 19200 baud: (frame + reply
    // bytes) x 10 / 19200 s, plus per exchange the 30 ms of silence that ends a reply and the
    // adapter's latency timer.
    [[nodiscard]] double wireLimitSeconds(double latencySeconds) const;
};

// The platform's serial port, counting into `tally`, which must outlive it.
std::unique_ptr<SerialPort> makeTallyingPort(LineTally& tally);

}  // namespace loadstar::bench
