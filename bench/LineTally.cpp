#include "LineTally.h"

#include <algorithm>
#include <cstdio>

#include "devices/OpenFailure.h"
#include "link/ObservedSerialPort.h"

namespace loadstar::bench {

double LineTally::wireLimitSeconds(double latencySeconds) const {
    const long exchanges = frames - resends;
    return static_cast<double>(frameBytes + replyBytes) * 10.0 / 19200.0 +
           static_cast<double>(exchanges) * latencySeconds;
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

namespace {

std::vector<std::string> pacedAt19200(std::vector<std::string> args) {
    args.insert(args.begin(), {"--no-link", "--baud", "19200"});
    return args;
}

}  // namespace

BenchLine::BenchLine(const std::string& name, std::vector<std::string> emulatorArgs)
    : board(pacedAt19200(std::move(emulatorArgs))),
      link(
          [this] {
              std::fprintf(stderr, "cannot open: %s\n",
                           portFaultReason(link.lastOpenFault()).c_str());
          },
          [this] { return makeTallyingPort(tally); }) {
    link.setDevicePath(board.devicePath());
    ready_ = board.started() && link.openPort() == 1;
    if (!ready_) {
        std::fprintf(stderr, "%s: kel-emulator did not start or cannot be opened: %s\n",
                     name.c_str(), board.startupError().c_str());
    }
}

}  // namespace loadstar::bench
