#include "PacketExchange.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ScriptedPort.h"

namespace loadstar {
namespace {

using namespace std::chrono_literals;
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

class PacketExchangeTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(port.open("scripted", 1600, 1600, 19200)); }

    int exchange(const char* payload, int replyMax, int retries = 10) {
        std::memset(reply, 0x5A, sizeof reply);
        replyLength = -1;
        return exchangePacket(&port, reinterpret_cast<const std::uint8_t*>(payload), 0, reply,
                              replyMax, &replyLength, retries, &line);
    }
    std::string replyText() const { return reinterpret_cast<const char*>(reply); }

    ScriptedPort port;
    LineState line;
    std::uint8_t reply[1100];
    int replyLength = -1;
};

// Which replies are taken, and that an untagged one is sent for again, is left to the board
// commands' fuzz target; here, what is copied and what is left of a long reply.
TEST_F(PacketExchangeTest, ReplyMaxBytesAreCopiedAndWhatIsPastAThousandIsDropped) {
    port.answer = [](const auto&) { return replyNow("RST done"); };
    EXPECT_EQ(exchange("RRD", 100), 1);
    EXPECT_EQ(replyText(), "RST done");
    EXPECT_EQ(reply[99], 0) << "replyMax bytes are copied, zeros behind a short reply";
    EXPECT_EQ(reply[100], 0x5A) << "nothing is written past replyMax";
    port.answer = [](const auto&) { return replyNow("RRD " + std::string(1196, 'y')); };
    EXPECT_EQ(exchange("RRD", 0), 1);
    EXPECT_EQ(replyLength, 1000);
    EXPECT_EQ(port.pendingBytes(), 200u) << "the rest stays in the port";
    port.answer = [](const auto&) { return replyNow("PG 00"); };
    EXPECT_EQ(exchange("PG 00", 100, 0), 1);
    EXPECT_EQ(replyText(), "PG 00") << "what waited can only answer an earlier frame";
}

// The reply window opens when the frame has left the wire, its first byte must come within 30 ms
// after that, and a silence of 30 ms ends it.
TEST_F(PacketExchangeTest, RepliesAreTakenWithinThirtyMillisecondsAfterTheFrameHasLeftTheWire) {
    using std::chrono::milliseconds;
    struct Case {
        int speed;           // of the port's line; 0: no wire
        int payloadLength;   // 100: a 106-byte frame, 55.2 ms at 19200 baud
        milliseconds start;  // of the reply, after the write
        milliseconds pause;  // between the reply's two halves
        int expectedLength;  // 0: no reply taken
    } cases[] = {
        {0, 3, 20ms, 0ms, 8},   {0, 3, 45ms, 0ms, 0},       {0, 3, 0ms, 20ms, 8},
        {0, 3, 0ms, 45ms, 4},   {19200, 100, 75ms, 0ms, 8}, {19200, 100, 100ms, 0ms, 0},
        {0, 100, 75ms, 0ms, 0},
    };
    for (const auto& c : cases) {
        port.speed = c.speed;
        port.frames.clear();
        port.answer = [&c](const auto&) {
            return ScriptedPort::Reply{{c.start, bytesOf("RST ")},
                                       {c.start + c.pause, bytesOf("done")}};
        };
        const std::vector<std::uint8_t> payload(static_cast<std::size_t>(c.payloadLength), 'W');
        replyLength = -1;
        EXPECT_EQ(exchangePacket(&port, payload.data(), c.payloadLength, reply, 100, &replyLength,
                                 0, &line),
                  c.expectedLength > 0 ? 1 : 0)
            << c.speed << " baud, reply after " << c.start.count() << " ms";
        EXPECT_EQ(replyLength, c.expectedLength) << c.start.count() << " " << c.pause.count();
        std::this_thread::sleep_for(c.start + c.pause);  // the next case starts on a quiet line
    }
}

// Answers to the attempts of an exchange that had to resend its frame come late; they are kept
// off the next exchange. A compliant or silent board costs the next exchange no waiting.
TEST_F(PacketExchangeTest, LateAnswersNeverLandOnTheNextCommand) {
    const auto timed = [this](const char* payload, int retries) {
        const auto start = std::chrono::steady_clock::now();
        exchange(payload, 100, retries);
        return std::chrono::steady_clock::now() - start;
    };
    // The first answer 80 ms late, the later ones later still: their answers come after the taken
    // reply has ended, not a silence interval behind it, where scheduling decides.
    int readFrames = 0;
    port.answer = [&readFrames](const auto& frame) {
        return frame[4] == 'R'
                   ? ScriptedPort::Reply{{++readFrames == 1 ? 80ms : 95ms, bytesOf("RRD late")}}
                   : replyNow("PG 00");
    };
    EXPECT_EQ(exchange("RRD", 100), 1);
    EXPECT_EQ(replyText().rfind("RRD late", 0), 0u);
    EXPECT_GE(port.frames.size(), 3u) << "80 ms late: sent again before its answer came";
    EXPECT_GE(timed("PG 00", 0), lateAnswerLimit - 80ms);
    EXPECT_EQ(replyText(), "PG 00");
    EXPECT_LT(timed("PG 00", 0), 60ms) << "after a compliant exchange nothing is waited for";
    port.answer = nullptr;
    timed("RRD", 10);
    port.answer = [](const auto&) { return replyNow("PG 00"); };
    EXPECT_LT(timed("PG 00", 0), 60ms) << "a board that answered nothing is silent, not late";
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
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(exchangePacket(to, reinterpret_cast<const std::uint8_t*>("BRD"), 0, reply, 100,
                                 &replyLength, 3),
                  0);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, 4 * replySilence) << "each failed attempt lasts its 30 ms";
        EXPECT_LT(took, 4 * replySilence + 50ms);
        EXPECT_EQ(replyText(), "RETRY Timeout");
        EXPECT_EQ(replyLength, 0);
    }
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
    EXPECT_EQ(exchangePacket(&port, payload.data(), 995, reply, 100, &replyLength, 2), 0);
    EXPECT_TRUE(port.frames.empty());
    EXPECT_EQ(exchangePacket(&port, payload.data(), 994, reply, 100, &replyLength, 0), 0);
    ASSERT_EQ(port.frames.size(), 1u);
    EXPECT_EQ(port.frames[0].size(), 1000u);
}

}  // namespace
}  // namespace loadstar
