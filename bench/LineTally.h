#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/SerialLink.h"
#include "link/SerialPort.h"
#include "support/EmulatorProcess.h"

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
    // bytes) x 10 / 19200 s, plus per exchange the adapter's latency timer. Nothing for a
    // silence that ends a reply: a reply of known length needs none.
    [[nodiscard]] double wireLimitSeconds(double latencySeconds) const;
};

// The platform's serial port, counting into `tally`, which must outlive it.
std::unique_ptr<SerialPort> makeTallyingPort(LineTally& tally);

// kel-emulator at 19200 baud, started with `emulatorArgs` besides, and an open link to it whose
// port counts into `tally`. Says on stderr when it could not be set up.
class BenchLine {
  public:
    BenchLine(const std::string& name, std::vector<std::string> emulatorArgs);
    [[nodiscard]] bool ready() const { return ready_; }

    testing::EmulatorProcess board;
    LineTally tally;
    SerialLink link;

  private:
    bool ready_ = false;
};

}  // namespace loadstar::bench
