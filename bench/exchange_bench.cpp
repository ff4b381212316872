// Time per exchange against kel-emulator at 19200 baud, as a ratio to the two-way wire limit
// ((frame + reply bytes) x 10 / 19200 s + the latency), on three lines: a plain one (the host's
// write done when the frame is on the wire), a USB adapter (frames cross the wire after the write
// has returned, replies held by a 16 ms latency timer), and the adapter before a board that
// answers every fifth reply 100 ms late. READ FLASH of 241 bytes, WRITE FLASH of 100 bytes, and
// a silent board with 10 retries.

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "LineTally.h"
#include "link/SerialLink.h"
#include "support/EmulatorProcess.h"

using namespace loadstar;

namespace {

struct Figures {
    std::string name;
    int exchanges;
    long resends;
    double wall;
    double limit;
    double cpu;
};

// `payload` with its address (bytes 3 and 4) moved on by `step` each time, so no two frames are
// alike and every second frame alike is a resend.
// `replyBytes` is what the board answers each frame with.
Figures measure(SerialLink& link, bench::LineTally& tally, const std::string& name,
                std::vector<std::uint8_t> payload, int replyBytes, int exchanges, bool silent,
                double latencySeconds) {
    std::array<std::uint8_t, 1000> reply{};
    tally.reset();
    const bench::BenchClock clock;
    for (int i = 0; i < exchanges; ++i) {
        payload[4] = static_cast<std::uint8_t>(i * 16);
        int length = 0;
        if (link.exchangePacket(payload.data(), static_cast<int>(payload.size()), reply.data(),
                                1000, &length, SerialLink::defaultRetries) == 0 &&
            !silent) {
            std::fprintf(stderr, "%s: an exchange failed\n", name.c_str());
        }
    }
    const double wall = clock.wallSeconds();
    // Each exchange once: its frame and reply on the wire, and the adapter's latency.
    double limit =
        exchanges *
        (static_cast<double>(payload.size() + 6 + replyBytes) * 10.0 / 19200.0 + latencySeconds);
    if (silent) {  // silent: every attempt is its frame's line time and 30 ms
        limit = static_cast<double>(tally.frameBytes) * 10.0 / 19200.0 +
                static_cast<double>(tally.frames) * 0.030;
    }
    return {name, exchanges, tally.frames - exchanges, wall, limit, clock.cpuSeconds()};
}

void benchLine(const std::string& name, std::vector<std::string> args, double latencySeconds,
               std::vector<Figures>& rows) {
    bench::BenchLine line(name, std::move(args));
    if (!line.ready()) {
        return;
    }
    SerialLink& link = line.link;
    bench::LineTally& tally = line.tally;
    std::array<std::uint8_t, 100> reply{};
    link.exchangePacket("VM 92", reply.data(), 100, nullptr, 10);
    link.exchangePacket("PG 00", reply.data(), 100, nullptr, 10);
    const std::vector<std::uint8_t> read = {'R', 'R', 'D', 0x80, 0x00, 241};
    std::vector<std::uint8_t> write = {'W', 'F', 'P', 0x90, 0x00, 100};
    write.resize(6 + 100, 0x00);  // zeros may be written again and again: no bit goes 0 -> 1
    rows.push_back(
        measure(link, tally, name + " READ FLASH 241", read, 15 + 241, 40, false, latencySeconds));
    rows.push_back(
        measure(link, tally, name + " WRITE FLASH 100", write, 27, 40, false, latencySeconds));
    line.board.control("silent on");
    rows.push_back(measure(link, tally, name + " silent, 10 retries", read, 0, 5, true, 0));
}

}  // namespace

int main() {
    std::vector<Figures> rows;
    benchLine("pty", {}, 0, rows);
    benchLine("adapter", {"--latency-ms", "16"}, 0.016, rows);
    benchLine("late 1/5", {"--latency-ms", "16", "--late-every", "5", "--late-ms", "100"}, 0.016,
              rows);
    std::printf("%-30s %6s %8s %10s %10s %7s %7s\n", "exchange", "count", "resends", "ms each",
                "limit ms", "ratio", "cpu %");
    for (const auto& row : rows) {
        std::printf("%-30s %6d %8ld %10.2f %10.2f %7.3f %7.2f\n", row.name.c_str(), row.exchanges,
                    row.resends, row.wall * 1000 / row.exchanges, row.limit * 1000 / row.exchanges,
                    row.wall / row.limit, 100 * row.cpu / row.wall);
    }
    return 0;
}
