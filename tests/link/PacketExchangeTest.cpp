#include "PacketExchange.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ScriptedPort.h"

namespace loadstar {
namespace {

using namespace std::chrono_literals;
using testing::bytesOf;
using testing::replyNow;
using testing::ScriptedPort;

class PacketExchangeTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(port.open("scripted", 1600, 1600, 19200)); }

    int exchange(const char* payload, int replyMax, int retries = 10) {
        std::memset(reply, 0x5A, sizeof reply);
        replyLength = -1;
        return exchangePacket(&port, reinterpret_cast<const std::uint8_t*>(payload), 0, reply,
                              replyMax, &replyLength, retries);
    }
    std::string replyText() const { return reinterpret_cast<const char*>(reply); }

    ScriptedPort port;
    std::uint8_t reply[1100];
    int replyLength = -1;
};

TEST_F(PacketExchangeTest, AcceptedReplyIsCopiedWithItsTerminatingZero) {
    port.answer = [](const auto&) { return replyNow("RST done"); };
    EXPECT_EQ(exchange("RST", 100), 1);
    EXPECT_EQ(replyLength, 8);
    EXPECT_EQ(replyText(), "RST done");
    ASSERT_EQ(port.frames.size(), 1u);
    EXPECT_EQ(port.frames[0],
              (std::vector<std::uint8_t>{0x21, 0, 9, 0xF7, 'R', 'S', 'T', 0xF9, 0x55}));
    EXPECT_EQ(reply[99], 0) << "replyMax bytes are copied, zeros behind a short reply";
    EXPECT_EQ(reply[100], 0x5A) << "nothing is written past replyMax";
}

TEST_F(PacketExchangeTest, AnyTagAnswersAnyCommand) {
    port.answer = [](const auto&) { return replyNow("RST "); };
    EXPECT_EQ(exchange("RRD", 100), 1);
}

TEST_F(PacketExchangeTest, SilentBoardGetsMaxRetriesPlusOneFramesThenRetryTimeout) {
    EXPECT_EQ(exchange("BRD", 100, 3), 0);
    EXPECT_EQ(port.frames.size(), 4u);
    EXPECT_EQ(replyText(), "RETRY Timeout");
    EXPECT_EQ(replyLength, 0);
}

TEST_F(PacketExchangeTest, ReplyWithoutTagIsSentAgain) {
    int calls = 0;
    port.answer = [&](const auto&) { return replyNow(++calls == 1 ? "!garbage" : "PG 03"); };
    EXPECT_EQ(exchange("PG 03", 100), 1);
    EXPECT_EQ(port.frames.size(), 2u);
    EXPECT_EQ(port.frames[0], port.frames[1]) << "the same frame goes out again";
}

TEST_F(PacketExchangeTest, ReplyIsCutAtReplyMaxWithoutTerminatingZero) {
    port.answer = [](const auto&) { return replyNow("MIR " + std::string(200, 'x')); };
    EXPECT_EQ(exchange("MIR", 100), 1);
    EXPECT_EQ(replyLength, 100);
    EXPECT_EQ(reply[99], 'x');
    EXPECT_EQ(reply[100], 0x5A);
}

TEST_F(PacketExchangeTest, AtMostThousandBytesAreKeptAndTheRestWaitsForTheNextExchange) {
    port.answer = [](const auto&) { return replyNow("RRD " + std::string(1196, 'y')); };
    EXPECT_EQ(exchange("RRD", 0), 1);
    EXPECT_EQ(replyLength, 1000);
    EXPECT_EQ(port.pendingBytes(), 200u);
}

TEST_F(PacketExchangeTest, ReplySpanningSeveralWaitsIsTakenWhole) {
    port.answer = [](const auto&) {
        ScriptedPort::Reply chunks;
        chunks.push_back({0ms, bytesOf("RRD ")});
        for (int i = 1; i <= 6; ++i) {
            chunks.push_back({i * 10ms, bytesOf("0123456789")});
        }
        return chunks;
    };
    EXPECT_EQ(exchange("RRD", 1000), 1);
    EXPECT_EQ(replyLength, 64);
}

TEST_F(PacketExchangeTest, PauseOfThirtyMillisecondsEndsTheReplyAndTheRestStartsTheNext) {
    int calls = 0;
    port.answer = [&](const auto&) -> ScriptedPort::Reply {
        if (++calls == 1) {
            return {{0ms, bytesOf("VM 92")}, {120ms, bytesOf("PG 00")}};
        }
        return {};
    };
    EXPECT_EQ(exchange("VM 92", 100), 1);
    EXPECT_EQ(replyText(), "VM 92");
    std::this_thread::sleep_for(150ms);
    // Nothing is purged before a write: the late bytes are taken as the next reply.
    EXPECT_EQ(exchange("PG 00", 100, 0), 1);
    EXPECT_EQ(replyText(), "PG 00");
}

TEST_F(PacketExchangeTest, ReplyStartingLateIsNotWaitedFor) {
    port.answer = [](const auto&) { return ScriptedPort::Reply{{100ms, bytesOf("RST ")}}; };
    EXPECT_EQ(exchange("RST", 100, 0), 0);
    EXPECT_EQ(replyLength, 0);
}

TEST_F(PacketExchangeTest, ClosedPortFailsAfterItsRetriesWithoutWaiting) {
    port.close();
    EXPECT_EQ(exchange("BRD", 100, 10), 0);
    EXPECT_EQ(replyText(), "RETRY Timeout");
    EXPECT_EQ(replyLength, 0);
}

TEST(PacketExchange, NoPortFailsLikeASilentBoard) {
    std::uint8_t reply[100];
    int length = -1;
    EXPECT_EQ(exchangePacket(nullptr, reinterpret_cast<const std::uint8_t*>("RST"), 0, reply, 100,
                             &length, 10),
              0);
    EXPECT_STREQ(reinterpret_cast<const char*>(reply), "RETRY Timeout");
    EXPECT_EQ(length, 0);
}

TEST_F(PacketExchangeTest, SmallBuffersAreNeverOverrun) {
    // A reply buffer of replyMax bytes: the time-out text is cut rather than written past it.
    EXPECT_EQ(exchange("RST", 5, 0), 0);
    EXPECT_EQ(0, std::memcmp(reply, "RETRY", 5));
    EXPECT_EQ(reply[5], 0x5A);
    // replyMax 0 names no buffer size, so nothing is written there.
    EXPECT_EQ(exchange("RST", 0, 0), 0);
    EXPECT_EQ(reply[0], 0x5A);
}

TEST_F(PacketExchangeTest, PayloadTooLargeForTheFrameIsNotSent) {
    const std::vector<std::uint8_t> payload(995, 'R');
    EXPECT_EQ(exchangePacket(&port, payload.data(), 995, reply, 100, &replyLength, 2), 0);
    EXPECT_TRUE(port.frames.empty());
    const std::vector<std::uint8_t> largest(994, 'R');
    EXPECT_EQ(exchangePacket(&port, largest.data(), 994, reply, 100, &replyLength, 0), 0);
    ASSERT_EQ(port.frames.size(), 1u);
    EXPECT_EQ(port.frames[0].size(), 1000u);
}

}  // namespace
}  // namespace loadstar
