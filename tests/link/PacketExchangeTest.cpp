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

TEST_F(PacketExchangeTest, UntaggedReplyIsSentAgainAndAnyTagIsAccepted) {
    int calls = 0;
    port.answer = [&](const auto&) { return replyNow(++calls == 1 ? "!garbage" : "RST done"); };
    EXPECT_EQ(exchange("RRD", 100), 1);
    ASSERT_EQ(port.frames.size(), 2u);
    EXPECT_EQ(port.frames[0], port.frames[1]) << "the same frame goes out again";
    EXPECT_EQ(replyLength, 8);
    EXPECT_EQ(replyText(), "RST done");
    EXPECT_EQ(reply[99], 0) << "replyMax bytes are copied, zeros behind a short reply";
    EXPECT_EQ(reply[100], 0x5A) << "nothing is written past replyMax";
}

TEST_F(PacketExchangeTest, ReplyIsCutAtReplyMaxAndAtMostThousandBytesAreTaken) {
    port.answer = [](const auto&) { return replyNow("MIR " + std::string(200, 'x')); };
    EXPECT_EQ(exchange("MIR", 100), 1);
    EXPECT_EQ(replyLength, 100);
    EXPECT_EQ(reply[99], 'x') << "no terminating zero in a cut reply";
    EXPECT_EQ(reply[100], 0x5A);

    port.answer = [](const auto&) { return replyNow("RRD " + std::string(1196, 'y')); };
    EXPECT_EQ(exchange("RRD", 0), 1);
    EXPECT_EQ(replyLength, 1000);
    EXPECT_EQ(port.pendingBytes(), 200u) << "the rest waits for the next exchange";
}

TEST_F(PacketExchangeTest, ReplyRunsUntilThirtyMillisecondsOfSilenceAndTheRestStartsTheNext) {
    int calls = 0;
    port.answer = [&](const auto&) {
        ScriptedPort::Reply chunks;
        if (++calls == 1) {
            for (int i = 0; i < 5; ++i) {
                chunks.push_back({i * 10ms, bytesOf("RRD 56789")});
            }
            chunks.push_back({200ms, bytesOf("PG 00")});
        }
        return chunks;
    };
    EXPECT_EQ(exchange("RRD", 1000), 1);
    EXPECT_EQ(replyLength, 45) << "a reply spanning several waits is taken whole";
    std::this_thread::sleep_for(200ms);
    // Nothing is purged before a write: the late bytes are taken as the next reply.
    EXPECT_EQ(exchange("PG 00", 100, 0), 1);
    EXPECT_EQ(replyText(), "PG 00");
}

TEST_F(PacketExchangeTest, ReplyStartingLateIsNotWaitedFor) {
    port.answer = [](const auto&) { return ScriptedPort::Reply{{100ms, bytesOf("RST ")}}; };
    EXPECT_EQ(exchange("RST", 100, 0), 0);
    EXPECT_EQ(replyLength, 0);
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
        EXPECT_EQ(exchangePacket(to, reinterpret_cast<const std::uint8_t*>("BRD"), 0, reply, 100,
                                 &replyLength, 10),
                  0);
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
