// The board commands on any reply the line may bring. The reply comes at once after each frame
// and silence follows at once, so an exchange takes no time. Whatever the reply:
// - a command succeeds exactly when its reply is one the board's rule accepts (a reply tag, and
//   for WRITE FLASH the count and "B WRITTEN", or else the written bytes read back twice alike;
//   for the identification exactly "BRD KEL?20"). A board that has answered a WRITE FLASH in
//   its own tag "WFP " is known to answer in its commands' own tags: its READ FLASH answered
//   "WFP " is refused. A READ FLASH reply too short for its count is asked for again, and fails
//   the read when the last one is still short;
// - a failure names the board command that failed and why;
// - a READ FLASH hands back exactly the bytes behind the reply's header; the display text is the
//   reply behind "MIR ", at most 96 characters;
// - every command frames the payload it was asked to send.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "iap/AgreedRead.h"
#include "iap/BoardCommands.h"
#include "support/ScriptedPort.h"

using namespace loadstar;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rig {
    explicit Rig(Bytes reply)
        : link(nullptr,
               [this, reply] {
                   // Every frame gets the same reply at once, and nothing waits.
                   auto made = std::make_unique<testing::ScriptedPort>();
                   made->instant = true;
                   made->answer = [reply](const auto&) {
                       return testing::ScriptedPort::Reply{{{}, reply}};
                   };
                   port = made.get();
                   return made;
               }),
          board(link) {
        link.setDevicePath("instant");
        FUZZ_CHECK(link.openPort() == 1);
    }
    testing::ScriptedPort* port = nullptr;
    SerialLink link;
    BoardCommands board;
};

// The reply as the exchange keeps it: cut to the caller's buffer.
Bytes keptReply(const Bytes& reply, std::size_t replyMax) {
    return Bytes(reply.begin(),
                 reply.begin() + static_cast<long>(std::min(reply.size(), replyMax)));
}

bool tagged(const Bytes& kept) {
    for (const char* tag : {"WFT ", "WFP ", "WRC ", "WRD ", "RRC ", "RRD ", "RST ", "BRD ", "MIR ",
                            "PG ", "VM ", "LCD ", "EM ", "EB "}) {
        if (kept.size() >= std::strlen(tag) &&
            std::memcmp(kept.data(), tag, std::strlen(tag)) == 0) {
            return true;
        }
    }
    return false;
}

// Up to two hex digits after white space, within reply offsets 15 to 17; 0 when none.
int writtenCount(const Bytes& kept) {
    std::size_t at = 15;
    while (at < 18 && (kept[at] == ' ' || (kept[at] >= '\t' && kept[at] <= '\r'))) {
        ++at;
    }
    int value = 0;
    for (int digits = 0; digits < 2 && at < 18 && std::isxdigit(kept[at]) != 0; ++digits, ++at) {
        value = value * 16 +
                (std::isdigit(kept[at]) != 0 ? kept[at] - '0' : (kept[at] | 0x20) - 'a' + 10);
    }
    return value;
}

// The payload of `frame`, which must be well formed.
Bytes payloadOf(const Bytes& frame) {
    FUZZ_CHECK(frame.size() >= 6 && frame[0] == '!' &&
               frame[1] * 256 + frame[2] == static_cast<int>(frame.size()));
    return Bytes(frame.begin() + 4, frame.end() - 2);
}

// A success, or a failure that names its command and why, and the frames carrying `payloads`, in
// order.
void checkCommand(const Rig& rig, const Outcome& outcome, bool expected,
                  const std::vector<Bytes>& payloads) {
    FUZZ_CHECK(outcome.ok() == expected);
    FUZZ_CHECK(outcome.ok() || !outcome.failure.ok());
    FUZZ_CHECK(rig.port->frames.size() == payloads.size());
    for (std::size_t i = 0; i < payloads.size(); ++i) {
        FUZZ_CHECK(payloadOf(rig.port->frames[i]) == payloads[i]);
    }
}

Bytes readPayload(int address, int count) {
    const auto byte = [](int value) { return static_cast<std::uint8_t>(value); };
    return {'R', 'R', 'D', byte(address >> 8), byte(address), byte(count)};
}

// How many reads of `count` bytes that always come alike a write's read-back makes.
std::size_t readsAlike(int count) {
    std::size_t reads = 0;
    Bytes agreed;
    (void)readUntilAgreed(
        [&reads](Bytes&) {
            ++reads;
            return true;
        },
        count, {}, agreed);
    return reads;
}

// A write: confirmed by its reply, or else by the bytes read back until agreed on (the port gives
// every frame the same reply, so the reads agree); one frame per try when no reply came.
void checkWrite(Rig& rig, const Bytes& reply, int address, int count) {
    const Bytes bytes(static_cast<std::size_t>(count), 0x5A);
    Bytes payload = readPayload(address, count);
    std::copy_n("WFP", 3, payload.begin());
    payload.insert(payload.end(), bytes.begin(), bytes.end());
    const Bytes kept = keptReply(reply, replyCapacity);
    const bool confirmed = tagged(kept) && kept.size() >= 27 &&
                           std::memcmp(kept.data() + 18, "B WRITTEN", 9) == 0 &&
                           writtenCount(kept) == count;
    const bool readable = reply.size() >= 15 + bytes.size();
    const bool ownTag = kept.size() >= 4 && std::memcmp(kept.data(), "WFP ", 4) == 0;
    const bool readsBack = tagged(kept) && readable && !ownTag;
    const bool written =
        confirmed || (readsBack && std::equal(bytes.begin(), bytes.end(), reply.begin() + 15));
    std::vector<Bytes> payloads(tagged(kept) ? 1 : 11, payload);
    if (tagged(kept) && !confirmed) {
        payloads.insert(payloads.end(), readsBack ? readsAlike(count) : 11,
                        readPayload(address, count));
    }
    checkCommand(rig, rig.board.writeFlash(address, bytes), written, payloads);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int command = input.ConsumeIntegralInRange(0, 3);
    (void)input.ConsumeBool();  // kept, so that the corpus still reads as it did
    const auto address = input.ConsumeIntegral<std::uint16_t>();
    const int count = input.ConsumeIntegralInRange(1, 255);
    // At most 1000 bytes, all of which an exchange takes in; what it does with more is the
    // exchange's own tests' business.
    const Bytes reply = input.ConsumeBytes<std::uint8_t>(1000);
    Rig rig(reply);
    switch (command) {
        case 0:
            checkWrite(rig, reply, address, count);
            break;
        case 1: {
            Bytes bytes;
            const Bytes& kept = reply;
            const Outcome read = rig.board.readFlash(address, count, bytes);
            const bool whole = kept.size() >= 15 + static_cast<std::size_t>(count);
            // A reply too short for its count is a failed read, never a success.
            checkCommand(
                rig, read, tagged(kept) && whole,
                std::vector<Bytes>(tagged(kept) && whole ? 1 : 11, readPayload(address, count)));
            if (read.ok()) {
                FUZZ_CHECK(bytes == Bytes(kept.begin() + 15, kept.begin() + 15 + count));
            } else {
                FUZZ_CHECK(bytes.empty());
            }
            break;
        }
        case 2: {
            std::string text;
            Bytes kept = keptReply(reply, replyCapacity);
            const bool answered = tagged(kept);
            const bool accepted = rig.board.identifyBoard(&text).ok();
            kept.resize(replyCapacity + 1, 0);  // a terminated text, as the command's buffer is
            FUZZ_CHECK(text ==
                       (answered ? reinterpret_cast<const char*>(kept.data()) : "RETRY Timeout"));
            kept[7] = 'X';
            FUZZ_CHECK(accepted == (answered && reinterpret_cast<const char*>(kept.data()) ==
                                                    std::string("BRD KELX20")));
            break;
        }
        default: {
            const Bytes kept = keptReply(reply, 100);
            const std::string shown = rig.board.fetchDisplayText();
            std::string expected;
            if (tagged(kept)) {
                Bytes padded = kept;
                padded.resize(100, 0);
                expected.assign(reinterpret_cast<const char*>(padded.data()) + 4,
                                strnlen(reinterpret_cast<const char*>(padded.data()) + 4, 96));
            }
            FUZZ_CHECK(shown == expected && shown.size() <= 96);
            FUZZ_CHECK(rig.port->frames.size() == (tagged(kept) ? 1u : 4u));
            break;
        }
    }
    return 0;
}
