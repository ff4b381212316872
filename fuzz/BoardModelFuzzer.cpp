// The emulated board on any sequence of framed commands, compared with a plain model of what its
// description promises:
// - flash bits go from 1 to 0 only by programming and back only by an erase of the right sector;
//   a write stops at the first byte that would need a 0 -> 1 change or lies outside the flash,
//   and its reply counts the bytes before it;
// - a read returns the flash the selection maps at 0x8000..0xFFFF and 0xFF elsewhere;
// - every command it answers (the display mirror, whose text is its own, aside) is answered once,
//   in order, behind the command's own tag; a payload of no command, or of the wrong length, gets
//   no reply.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "emulator/BoardModel.h"
#include "link/PacketExchange.h"

using namespace loadstar;
using emulator::BoardModel;
using emulator::FlashMemory;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int mainSize = FlashMemory::mainSectorSize;
constexpr int bootSize = FlashMemory::bootSectorSize;

// The board as its description tells it, on a flash image of main sectors 0..7, then boot 0..3.
struct PlainBoard {
    Bytes image = Bytes(FlashMemory::imageSize, 0xFF);
    int vm = 0x92;
    int page = 0;

    // Index into the image of a board address under the current selection.
    [[nodiscard]] std::optional<std::size_t> cell(int address) const {
        if (address < 0x8000 || address > 0xFFFF) {
            return std::nullopt;
        }
        const auto offset = static_cast<std::size_t>(address - 0x8000);
        if (vm == 0x92 && page < 8) {
            return static_cast<std::size_t>(page) * mainSize + offset;
        }
        if (vm == 0x8C) {
            return std::size_t{8} * mainSize + offset;  // the four boot sectors follow each other
        }
        return std::nullopt;
    }
    void erase(std::size_t start, int size) {
        std::fill_n(image.begin() + static_cast<long>(start), size, std::uint8_t{0xFF});
    }
};

Bytes framed(const Bytes& payload) {
    std::array<std::uint8_t, 1000> frame{};
    std::copy(payload.begin(), payload.end(), frame.begin() + 4);
    return Bytes(frame.begin(),
                 frame.begin() + buildPacket(frame.data(), static_cast<int>(payload.size())));
}

Bytes text(const std::string& characters) {
    return Bytes(characters.begin(), characters.end());
}

std::string header(const char* tag, int address, int count) {
    char line[32];
    std::snprintf(line, sizeof line, "%s %04X %02X", tag, static_cast<unsigned>(address),
                  static_cast<unsigned>(count));
    return std::string(line) + std::string(15 - std::string(line).size(), ' ');
}

// Makes the next command from the input and returns it with the reply the plain board expects
// (nothing when none is due), carrying the command out on the plain board.
std::pair<Bytes, std::optional<Bytes>> nextCommand(FuzzedDataProvider& input, PlainBoard& board) {
    const int address = input.ConsumeBool() ? input.ConsumeIntegralInRange(0x7F00, 0xFFFF)
                                            : input.ConsumeIntegral<std::uint16_t>();
    const auto high = static_cast<std::uint8_t>(address >> 8);
    const auto low = static_cast<std::uint8_t>(address);
    switch (input.ConsumeIntegralInRange(0, 9)) {
        case 0: {
            const char* name = input.ConsumeBool() ? "VM " : "PG ";
            const int value = input.ConsumeBool() ? (input.ConsumeBool() ? 0x92 : 0x8C)
                                                  : input.ConsumeIntegralInRange(0, 9);
            char digits[4];
            std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(value));
            (name[0] == 'V' ? board.vm : board.page) = value;
            const Bytes payload = text(std::string(name) + digits);
            return {payload, payload};
        }
        case 1: {
            const int count = input.ConsumeIntegral<std::uint8_t>();
            Bytes reply = text(header("RRD", address, count));
            for (int i = 0; i < count; ++i) {
                const auto where = board.cell(address + i);
                reply.push_back(where ? board.image[*where] : 0xFF);
            }
            return {{'R', 'R', 'D', high, low, static_cast<std::uint8_t>(count)}, reply};
        }
        case 2: {
            Bytes data = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegral<std::uint8_t>());
            Bytes payload = {'W', 'F', 'P', high, low, static_cast<std::uint8_t>(data.size())};
            payload.insert(payload.end(), data.begin(), data.end());
            int written = 0;
            for (; written < static_cast<int>(data.size()); ++written) {
                const auto where = board.cell(address + written);
                const std::uint8_t value = data[static_cast<std::size_t>(written)];
                if (!where || (board.image[*where] & value) != value) {
                    break;
                }
                board.image[*where] = value;
            }
            char tail[16];
            std::snprintf(tail, sizeof tail, "%02X B WRITTEN", static_cast<unsigned>(written));
            return {payload, text(header("WFP", address, static_cast<int>(data.size())) + tail)};
        }
        case 3:
        case 4: {
            const bool main = input.ConsumeBool();
            const bool mapped = address >= 0x8000 && (!main || board.page < 8);
            if (mapped && main) {
                board.erase(static_cast<std::size_t>(board.page) * mainSize, mainSize);
            } else if (mapped) {
                board.erase(std::size_t{8} * mainSize +
                                static_cast<std::size_t>((address - 0x8000) / bootSize) * bootSize,
                            bootSize);
            }
            char reply[32];
            std::snprintf(reply, sizeof reply, "%s %04X %s", main ? "EM" : "EB",
                          static_cast<unsigned>(address), mapped ? "ERASED" : "NOTHING");
            return {{'E', main ? std::uint8_t{'M'} : std::uint8_t{'B'}, high, low}, text(reply)};
        }
        case 5:
            board.vm = 0x92;
            board.page = 0;
            return {text("RST"), text("RST OK")};
        case 6:
            return {text("BRD"), text("BRD KEL520")};
        default: {
            // Anything else: no command, or one of the wrong length, is not answered.
            Bytes payload = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 12));
            const std::string asText(payload.begin(), payload.end());
            const bool command =
                asText == "RST" || asText == "BRD" || asText == "MIR" ||
                (payload.size() == 5 && (asText.starts_with("PG ") || asText.starts_with("VM "))) ||
                (payload.size() == 6 && asText.starts_with("RRD")) || asText.starts_with("WFP") ||
                (payload.size() == 4 && (asText.starts_with("EM") || asText.starts_with("EB")));
            return {command ? Bytes{'?'} : payload, std::nullopt};
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    // Both boards are made once, and each input starts them afresh: erased and reset. A new
    // board's flash for every input would cost more than the commands.
    static BoardModel board;
    static PlainBoard plain;
    static const Bytes erased(FlashMemory::imageSize, 0xFF);
    FUZZ_CHECK(board.flash().setImage(erased));
    FUZZ_CHECK(board.handlePayload(text("RST")).has_value());
    board.clearPayloads();
    std::fill(plain.image.begin(), plain.image.end(), std::uint8_t{0xFF});
    plain.vm = 0x92;
    plain.page = 0;
    std::vector<Bytes> expected;
    Bytes stream;
    while (input.remaining_bytes() > 0 && expected.size() < 200) {
        auto [payload, reply] = nextCommand(input, plain);
        const Bytes frame = framed(payload);
        stream.insert(stream.end(), frame.begin(), frame.end());
        if (reply) {
            expected.push_back(std::move(*reply));
        }
    }
    // In one piece: that pieces make no difference is the frame decoder's fuzz target's business.
    std::vector<Bytes> replies;
    for (auto& reply : board.receive(stream)) {
        replies.push_back(std::move(reply.bytes));
    }
    FUZZ_CHECK(!board.hasIncompleteFrame());
    FUZZ_CHECK(replies == expected);
    FUZZ_CHECK(board.flash().image() == plain.image);
    FUZZ_CHECK(board.vm() == plain.vm && board.page() == plain.page);
    return 0;
}
