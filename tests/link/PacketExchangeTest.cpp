#include "link/PacketExchange.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/ScriptedPort.h"
#include "support/VirtualClock.h"

namespace loadstar {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using testing::bytesOf;
using testing::replyNow;
using testing::ScriptedPort;
using Bytes = std::vector<std::uint8_t>;

TEST(PacketFrame, KnownFramesAreByteExact) {
    const std::pair<Bytes, Bytes> cases[] = {
        {bytesOf("RST"), {0x21, 0x00, 0x09, 0xF7, 0x52, 0x53, 0x54, 0xF9, 0x55}},
        {bytesOf("PG 03"), {0x21, 0x00, 0x0B, 0xF5, 0x50, 0x47, 0x20, 0x30, 0x33, 0x1A, 0x34}},
        {{}, {0x21, 0x00, 0x06, 0xFA, 0x00, 0x00}},
    };
    for (const auto& [payload, expected] : cases) {
        Bytes frame(payload.size() + 6);
        std::copy(payload.begin(), payload.end(), frame.begin() + 4);
        EXPECT_EQ(buildPacket(frame.data(), static_cast<int>(payload.size())),
                  static_cast<int>(frame.size()));
        EXPECT_EQ(frame, expected);
    }
}

// The exchange against a scripted board on a virtual clock: its timing is exact and costs no time.
class PacketExchangeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        port.clock = &clock;
        line.clock = &clock;
        ASSERT_TRUE(port.open("scripted", 1600, 1600, 19200));
    }

    int exchange(const std::string& payload, int replyMax, int retries = 10) {
        std::memset(reply, 0x5A, sizeof reply);
        replyLength = -1;
        const auto start = clock.now();
        const int result = exchangePacket(
            &port, reinterpret_cast<const std::uint8_t*>(payload.data()),
            static_cast<int>(payload.size()), reply, replyMax, &replyLength, retries, &line);
        took = std::chrono::duration_cast<milliseconds>(clock.now() - start);
        return result;
    }
    std::string replyText() const { return reinterpret_cast<const char*>(reply); }

    testing::VirtualClock clock;
    ScriptedPort port;
    LineState line;
    std::uint8_t reply[1100];
    int replyLength = -1;
    milliseconds took{};
};

// Which replies are taken, and that an untagged one is sent for again, is left to the board
// commands' fuzz target; here, what is copied and what is left of a long reply.
TEST_F(PacketExchangeTest, ReplyMaxBytesAreCopiedAndWhatIsPastAThousandIsDropped) {
    port.answer = [](const auto&) { return replyNow("RST done"); };
    EXPECT_EQ(exchange("RRX", 100), 1);
    EXPECT_EQ(replyText(), "RST done");
    EXPECT_EQ(reply[99], 0) << "replyMax bytes are copied, zeros behind a short reply";
    EXPECT_EQ(reply[100], 0x5A) << "nothing is written past replyMax";
    port.answer = [](const auto&) { return replyNow("RRD " + std::string(1196, 'y')); };
    EXPECT_EQ(exchange("RRX", 0), 1);
    EXPECT_EQ(replyLength, 1000);
    EXPECT_EQ(port.pendingBytes(), 200u) << "the rest stays in the port";
    port.answer = [](const auto&) { return replyNow("PG 00"); };
    EXPECT_EQ(exchange("PG 00", 100, 0), 1);
    EXPECT_EQ(replyText(), "PG 00") << "what waited can only answer an earlier frame";
}

// "RRD AAAA CC" padded to 15 characters, then `count` bytes of `fill`.
std::string readReply(int address, int count, char fill) {
    char header[32];
    std::snprintf(header, sizeof header, "RRD %04X %02X", static_cast<unsigned>(address),
                  static_cast<unsigned>(count));
    std::string text = header;
    text.resize(15, ' ');
    return text + std::string(static_cast<std::size_t>(count), fill);
}
std::string readPayload(int address, int count) {
    return {'R',
            'R',
            'D',
            static_cast<char>(address >> 8),
            static_cast<char>(address & 0xFF),
            static_cast<char>(count)};
}
// The payload of a frame, as text.
std::string payloadOf(const Bytes& frame) {
    return frame.size() < 6 ? std::string() : std::string(frame.begin() + 4, frame.end() - 2);
}

// The exchange's timing and what it learns, one row per board. Each row runs its exchanges in
// order on a fresh connection and checks the replies taken, the frames sent (by their first three
// characters) and how long each exchange took.
TEST_F(PacketExchangeTest, TimingAndLearnedRepliesFollowTheBoard) {
    using Script = std::function<ScriptedPort::Reply(int frame, const std::string& payload)>;
    // The board echoes "PG xx"/"VM xx", answers READ FLASH as the emulator does, all `after` late.
    const auto echoing = [](milliseconds after) {
        return Script([after](int, const std::string& payload) {
            if (payload.rfind("RRD", 0) == 0) {
                const int address = static_cast<std::uint8_t>(payload[3]) * 256 +
                                    static_cast<std::uint8_t>(payload[4]);
                return ScriptedPort::Reply{
                    {after,
                     bytesOf(readReply(address, static_cast<std::uint8_t>(payload[5]), 'd'))}};
            }
            return ScriptedPort::Reply{{after, bytesOf(payload)}};
        });
    };
    const std::string read10 = readPayload(0x8010, 16);
    const std::string read20 = readPayload(0x8020, 16);
    struct Row {
        const char* name;
        Script board;
        std::vector<std::string> payloads;
        std::vector<std::string> taken;  // "" when the exchange failed
        std::string sent;
        std::vector<std::pair<int, int>> tookMs;   // at least, at most; empty: not checked
        std::vector<KnowledgeNote::Change> notes;  // what the trace is told was learned
    } rows[] = {
        {"an unknown board's first reply ends at 30 ms of silence, the next at its length",
         echoing(10ms),
         {"PG 03", "PG 04", "VM 92"},
         {"PG 03", "PG 04", "VM 92"},
         "PG PG VM",
         {{40, 40}, {10, 12}, {40, 40}},
         {}},
        {"a silent board costs eleven frames of 30 ms each",
         nullptr,
         {"PG 03"},
         {""},
         "PG PG PG PG PG PG PG PG PG PG PG",
         {{330, 331}},
         {}},
        {"a board answering 45 ms late: one resend, its answer kept off the next command",
         echoing(45ms),
         {"PG 03", "VM 92", "PG 04"},
         {"PG 03", "VM 92", "PG 04"},
         "PG PG VM PG",
         {},
         {}},
        {"a reply of another length is not taken, the frame is sent again",
         [](int frame, const std::string& payload) {
             return replyNow(frame == 1 ? payload + "X" : payload);
         },
         {"PG 03", "PG 03"},
         {"PG 03", "PG 03"},
         "PG PG PG",
         {},
         {}},
        {"a board whose replies vary falls back to silence for that command",
         [](int frame, const std::string& payload) {
             return replyNow(payload + std::string(static_cast<std::size_t>(frame), '.'));
         },
         {"PG 03", "PG 03"},
         {"PG 03", "PG 03...."},
         "PG PG PG PG PG",
         {},
         {KnowledgeNote::Change::lengthsVary}},
        {"another command's answer or another address is not taken",
         [](int frame, const std::string& payload) {
             if (frame == 1) {
                 return replyNow("VM 92");
             }
             if (frame == 4) {
                 return replyNow(readReply(0x8010, 16, 'd'));
             }
             return replyNow(payload.rfind("RRD", 0) == 0 ? readReply(0x8020, 16, 'd') : payload);
         },
         {"PG 03", "PG 03", read20, read20, read20},
         {"PG 03", "PG 03", readReply(0x8020, 16, 'd'), readReply(0x8020, 16, 'd'),
          readReply(0x8020, 16, 'd')},
         "PG PG PG RRD RRD RRD RRD",
         {},
         {}},
        {"a reply cut short whose rest comes 50 ms later is asked for again, once",
         [](int, const std::string&) {
             const std::string whole = readReply(0x8010, 16, 'c');
             return ScriptedPort::Reply{{5ms, bytesOf(whole.substr(0, 12))},
                                        {55ms, bytesOf(whole.substr(12))}};
         },
         {read10, read10},
         {readReply(0x8010, 16, 'c'), readReply(0x8010, 16, 'c')},
         "RRD RRD RRD",
         {},
         {KnowledgeNote::Change::pauseWidened}},
        {"a board that may have reset is given its selection before a read is sent again",
         [echoing](int frame, const std::string& payload) {
             return frame == 2 ? ScriptedPort::Reply{} : echoing(2ms)(frame, payload);
         },
         {"VM 8C", "PG 00", read10},
         {"VM 8C", "PG 00", readReply(0x8010, 16, 'd')},
         "VM PG RRD VM PG RRD",
         {},
         {}},
        {"a board whose reads are answered 100 ms late gets a window for them after the first",
         [echoing](int frame, const std::string& payload) {
             return echoing(payload.rfind("RRD", 0) == 0 ? 100ms : 2ms)(frame, payload);
         },
         {"VM 8C", "PG 00", read10, read20, read10},
         {"VM 8C", "PG 00", readReply(0x8010, 16, 'd'), readReply(0x8020, 16, 'd'),
          readReply(0x8010, 16, 'd')},
         "VM PG RRD VM PG RRD VM PG RRD RRD RRD",
         {},
         {}},
        {"an erase that takes 400 ms is waited for, not sent again",
         [](int, const std::string& payload) {
             return ScriptedPort::Reply{{400ms, bytesOf(payload.substr(0, 2) + " 8000 ERASED")}};
         },
         {"EM\x80", "EM\x80"},
         {"EM 8000 ERASED", "EM 8000 ERASED"},
         "EM\x80 EM\x80",
         {},
         {}},
    };
    for (auto& row : rows) {
        SCOPED_TRACE(row.name);
        line = LineState{};
        line.clock = &clock;
        port.close();
        ASSERT_TRUE(port.open("scripted", 1600, 1600, 0));
        port.frames.clear();
        std::vector<KnowledgeNote::Change> notes;
        line.note = [&notes](const KnowledgeNote& note) { notes.push_back(note.change); };
        int frame = 0;
        port.answer = [&](const Bytes& written) {
            return row.board ? row.board(frame++, payloadOf(written)) : ScriptedPort::Reply{};
        };
        std::vector<std::string> taken;
        std::vector<std::pair<int, int>> tookMs;
        for (auto payload : row.payloads) {
            if (payload.rfind("EM", 0) == 0) {
                payload += '\0';  // "EM", 0x80, 0x00
            }
            taken.push_back(exchange(payload, 1000) == 1
                                ? std::string(reinterpret_cast<char*>(reply),
                                              static_cast<std::size_t>(replyLength))
                                : "");
            const auto ms = static_cast<int>(took.count());
            tookMs.emplace_back(ms, ms);
        }
        std::string sent;
        for (const auto& written : port.frames) {
            std::string name = payloadOf(written).substr(0, 3);
            name.erase(name.find_last_not_of(' ') + 1);
            sent += (sent.empty() ? "" : " ") + name;
        }
        EXPECT_EQ(taken, row.taken);
        EXPECT_EQ(sent, row.sent);
        EXPECT_EQ(notes, row.notes);
        for (std::size_t i = 0; i < row.tookMs.size() && i < tookMs.size(); ++i) {
            EXPECT_GE(tookMs[i].first, row.tookMs[i].first) << "exchange " << i;
            EXPECT_LE(tookMs[i].first, row.tookMs[i].second) << "exchange " << i;
        }
        clock.advance(1s);  // the next row starts on a quiet line
    }
}

// The first-byte window follows the board's answer delay in the manner of RFC 6298: never shorter
// than 30 ms, wide enough after a board has been late now and then that its late answers are
// waited for instead of paid for with resends, and back to the 30 ms rule on a new connection.
TEST(DelayEstimateTest, WindowStaysWithinItsBoundsAndCoversARegularlyLateBoard) {
    const auto window = [](const DelayEstimate& estimate) {
        return std::chrono::duration_cast<milliseconds>(estimate.window(30ms, 30ms, 1000ms));
    };
    DelayEstimate prompt;
    EXPECT_EQ(window(prompt), 30ms) << "nothing known: the 30 ms rule";
    for (int i = 0; i < 50; ++i) {
        prompt.sample(1ms);
    }
    EXPECT_EQ(window(prompt), 30ms) << "a prompt board never waits less than 30 ms";
    DelayEstimate lateEveryFifth;
    std::vector<milliseconds> windowsAtLateReplies;
    for (int i = 1; i <= 40; ++i) {
        if (i % 5 == 0) {
            windowsAtLateReplies.push_back(window(lateEveryFifth));
        }
        lateEveryFifth.sample(i % 5 == 0 ? 117ms : 17ms);
    }
    EXPECT_LT(windowsAtLateReplies.front(), 117ms) << "the first late answer is a surprise";
    for (std::size_t i = 2; i < windowsAtLateReplies.size(); ++i) {
        EXPECT_GT(windowsAtLateReplies[i], 117ms) << "late answer " << i << " is waited for";
        EXPECT_LT(windowsAtLateReplies[i], 400ms) << "late answer " << i;
    }
    DelayEstimate silent;
    silent.sample(5000ms);
    EXPECT_EQ(window(silent), 1000ms) << "never beyond its ceiling";
}

TEST_F(PacketExchangeTest, SilentClosedOrMissingPortFailsAfterItsRetriesWithRetryTimeout) {
    EXPECT_EQ(exchange("BRD", 100, 3), 0);
    EXPECT_EQ(port.frames.size(), 4u);
    EXPECT_EQ(replyText(), "RETRY Timeout");
    EXPECT_EQ(replyLength, 0);
    port.close();
    for (SerialPort* to : {static_cast<SerialPort*>(&port), static_cast<SerialPort*>(nullptr)}) {
        replyLength = -1;
        reply[0] = 0;
        const auto start = clock.now();
        EXPECT_EQ(exchangePacket(to, reinterpret_cast<const std::uint8_t*>("BRD"), 0, reply, 100,
                                 &replyLength, 3, &line),
                  0);
        EXPECT_EQ(clock.now() - start, 4 * replySilence) << "each failed attempt lasts its 30 ms";
        EXPECT_EQ(replyText(), "RETRY Timeout");
        EXPECT_EQ(replyLength, 0);
    }
    replyLength = -1;
    EXPECT_EQ(exchangePacket(nullptr, reinterpret_cast<const std::uint8_t*>("BRD"), 0, nullptr, 0,
                             &replyLength, 0, &line),
              0);
    EXPECT_EQ(replyLength, 0) << "0 on failure also without a reply buffer";
    // A stop request ends the exchange at once.
    ASSERT_TRUE(port.open("scripted", 1600, 1600, 0));
    line.stopRequested = [] { return true; };
    const auto start = clock.now();
    EXPECT_EQ(exchange("BRD", 100, 10), 0);
    EXPECT_EQ(clock.now(), start);
}

TEST_F(PacketExchangeTest, SmallBuffersAreNeverOverrun) {
    // A reply buffer of replyMax bytes: the time-out text is cut rather than written past it.
    EXPECT_EQ(exchange("RST", 5, 0), 0);
    EXPECT_EQ(0, std::memcmp(reply, "RETRY", 5));
    EXPECT_EQ(reply[5], 0x5A);
    // replyMax 0 names no buffer size, so nothing is written there.
    EXPECT_EQ(exchange("RST", 0, 0), 0);
    EXPECT_EQ(reply[0], 0x5A);
    // A payload too large for the 1000-byte frame is not sent at all.
    port.frames.clear();
    const std::vector<std::uint8_t> payload(995, 'R');
    EXPECT_EQ(exchangePacket(&port, payload.data(), 995, reply, 100, &replyLength, 2, &line), 0);
    EXPECT_TRUE(port.frames.empty());
    EXPECT_EQ(exchangePacket(&port, payload.data(), 994, reply, 100, &replyLength, 0, &line), 0);
    ASSERT_EQ(port.frames.size(), 1u);
    EXPECT_EQ(port.frames[0].size(), 1000u);
}

}  // namespace
}  // namespace loadstar
