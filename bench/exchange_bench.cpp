// Time per exchange against kel-emulator paced at 19200 baud, as a ratio to the wire limit:
// READ FLASH of 241 bytes, WRITE FLASH of 100 bytes, and a silent board with 10 retries.

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "EmulatorProcess.h"
#include "SerialLink.h"

using namespace loadstar;

namespace {

struct Figures {
    const char* name;
    int exchanges;
    double wall;
    double limit;
    double cpu;
};

Figures measure(SerialLink& link, const char* name, const std::vector<std::uint8_t>& payload,
                int exchanges, int retries, double limitPerExchange) {
    std::array<std::uint8_t, 1000> reply{};
    double limit = 0;
    const bench::BenchClock clock;
    for (int i = 0; i < exchanges; ++i) {
        int length = 0;
        const int accepted = link.exchangePacket(payload.data(), static_cast<int>(payload.size()),
                                                 reply.data(), 1000, &length, retries);
        limit += limitPerExchange > 0 ? limitPerExchange : bench::wireLimitSeconds(length);
        if (limitPerExchange == 0 && accepted == 0) {
            std::fprintf(stderr, "%s: the exchange failed\n", name);
        }
    }
    return {name, exchanges, clock.wallSeconds(), limit, clock.cpuSeconds()};
}

}  // namespace

int main() {
    testing::EmulatorProcess board({"--no-link", "--baud", "19200"});
    if (!board.started()) {
        std::fprintf(stderr, "kel-emulator did not start: %s\n", board.startupError().c_str());
        return 2;
    }
    SerialLink link([](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
    link.setDevicePath(board.devicePath());
    if (link.openPort() != 1) {
        return 2;
    }
    std::array<std::uint8_t, 100> reply{};
    link.exchangePacket("VM 92", reply.data(), 100, nullptr, 10);
    link.exchangePacket("PG 00", reply.data(), 100, nullptr, 10);

    const std::vector<std::uint8_t> read = {'R', 'R', 'D', 0x80, 0x00, 241};
    std::vector<std::uint8_t> write = {'W', 'F', 'P', 0x90, 0x00, 100};
    write.resize(6 + 100, 0x00);  // zeros may be written again and again: no bit goes 0 -> 1

    std::vector<Figures> rows;
    rows.push_back(measure(link, "READ FLASH 241 bytes", read, 40, 10, 0));
    rows.push_back(measure(link, "WRITE FLASH 100 bytes", write, 40, 10, 0));
    board.control("silent on");
    rows.push_back(measure(link, "silent board, 10 retries", read, 5, 10, 11 * 0.030));

    std::printf("%-26s %9s %12s %12s %7s %7s\n", "exchange", "count", "ms each", "limit ms",
                "ratio", "cpu %");
    for (const auto& row : rows) {
        std::printf("%-26s %9d %12.2f %12.2f %7.3f %7.2f\n", row.name, row.exchanges,
                    row.wall * 1000 / row.exchanges, row.limit * 1000 / row.exchanges,
                    row.wall / row.limit, 100 * row.cpu / row.wall);
    }
    return 0;
}
