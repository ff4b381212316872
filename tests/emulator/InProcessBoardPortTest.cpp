#include "InProcessBoardPort.h"

#include <gtest/gtest.h>

#include "FrameBytes.h"
#include "PacketExchange.h"

namespace loadstar::emulator {
namespace {

using std::chrono::milliseconds;
using testing::Bytes;
using testing::bytesOf;
using testing::frameOf;
using testing::textOf;

int writeBytes(InProcessBoardPort& port, const Bytes& bytes) {
    return port.write(bytes.data(), static_cast<int>(bytes.size()));
}

std::string readAll(InProcessBoardPort& port) {
    std::uint8_t buffer[1000];
    const int n = port.read(buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, buffer + n) : std::string();
}

class InProcessBoardPortTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(port.open("COM1", 1600, 1600, 19200)); }

    BoardModel board;
    InProcessBoardPort port{board};
};

TEST_F(InProcessBoardPortTest, CarriesExchangesToTheBoardAndBack) {
    std::uint8_t reply[1000];
    int length = 0;
    const Bytes write = testing::writePayload(0x8100, {0x12, 0x34});
    ASSERT_EQ(exchangePacket(&port, write.data(), static_cast<int>(write.size()), reply, 1000,
                             &length, 10),
              1);
    EXPECT_EQ(std::string(reply, reply + length), "WFP 8100 02    02 B WRITTEN");
    EXPECT_EQ(board.flash().sector(FlashBank::main, 0)[0x100], 0x12);
    const Bytes read = testing::readPayload(0x8100, 2);
    ASSERT_EQ(exchangePacket(&port, read.data(), 6, reply, 1000, &length, 10), 1);
    EXPECT_EQ(length, 17);
    EXPECT_EQ(reply[15], 0x12);
    EXPECT_EQ(reply[16], 0x34);
}

TEST_F(InProcessBoardPortTest, SilentBoardFailsTheExchangeAfterAllItsFrames) {
    board.setFaults({.silent = true});
    std::uint8_t reply[100];
    EXPECT_EQ(exchangePacket(&port, bytesOf("BRD").data(), 3, reply, 100, nullptr, 10), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(reply), "RETRY Timeout");
    EXPECT_EQ(board.countOf("BRD"), 11);
}

TEST_F(InProcessBoardPortTest, DroppedRepliesAreRetriedUntilOneComes) {
    board.setFaults({.dropEvery = 1});
    port.onWrite = [this](const std::vector<std::uint8_t>&) {
        if (board.countOf("BRD") == 2) {
            board.setFaults({});  // the third frame gets its reply
        }
    };
    std::uint8_t reply[100];
    EXPECT_EQ(exchangePacket(&port, bytesOf("BRD").data(), 3, reply, 100, nullptr, 10), 1);
    EXPECT_EQ(board.countOf("BRD"), 3);
}

TEST_F(InProcessBoardPortTest, WaitsOnlyForRepliesDueWithinTheTimeout) {
    board.setFaults({.delay = milliseconds(5)});
    ASSERT_EQ(writeBytes(port, frameOf("BRD")), 9);
    EXPECT_EQ(port.waitForInput(milliseconds(30)), InputWait::ready);
    EXPECT_EQ(readAll(port), "BRD KEL520");

    board.setFaults({.delay = milliseconds(60'000)});
    ASSERT_EQ(writeBytes(port, frameOf("BRD")), 9);
    EXPECT_EQ(port.waitForInput(milliseconds(30)), InputWait::timeout);
    EXPECT_EQ(port.read(nullptr, 0), 0);
    EXPECT_EQ(port.pendingBytes(), 10u) << "the late reply is still on its way";
}

TEST_F(InProcessBoardPortTest, GivesUpAHalfSentFrameOnceTheHostWaits) {
    const Bytes truncatedHeader{0x21, 0x03, 0xE8, 0x15};  // promises 1000 bytes
    Bytes line = truncatedHeader;
    const Bytes frame = frameOf("MIR");
    line.insert(line.end(), frame.begin(), frame.end());
    ASSERT_EQ(writeBytes(port, line), static_cast<int>(line.size()));
    EXPECT_EQ(port.waitForInput(milliseconds(30)), InputWait::ready);
    EXPECT_EQ(readAll(port).substr(0, 4), "MIR ");
}

TEST_F(InProcessBoardPortTest, HookSeesEveryWriteAndMayPullTheDevice) {
    std::vector<Bytes> seen;
    port.onWrite = [&](const std::vector<std::uint8_t>& bytes) {
        seen.push_back(bytes);
        if (seen.size() == 2) {
            port.setVanished(true);
        }
    };
    EXPECT_EQ(writeBytes(port, frameOf("RST")), 9);
    EXPECT_EQ(writeBytes(port, frameOf("BRD")), -1);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], frameOf("BRD"));
    EXPECT_EQ(board.countOf("BRD"), 0) << "a pulled device delivers nothing";
    std::uint8_t byte = 0;
    EXPECT_EQ(port.read(&byte, 1), -1);
    EXPECT_EQ(port.waitForInput(milliseconds(30)), InputWait::failed);
    EXPECT_TRUE(port.isOpen());
}

TEST_F(InProcessBoardPortTest, HoldsTheBoardsLineAgainstASecondPortUntilClosed) {
    InProcessBoardPort second(board);
    EXPECT_FALSE(second.open("COM1", 1600, 1600, 19200));
    EXPECT_EQ(second.lastError(), "Device or resource busy");
    EXPECT_FALSE(port.open("COM1", 1600, 1600, 19200)) << "open twice";
    EXPECT_TRUE(port.close());
    EXPECT_TRUE(second.open("COM1", 1600, 1600, 19200));
    EXPECT_EQ(second.openedDevice, "COM1");
}

TEST(InProcessBoardPortRefusalTest, RefuseOpenSaysTheDeviceIsBusy) {
    BoardModel board;
    InProcessBoardPort port(board);
    port.refuseOpen = true;
    EXPECT_FALSE(port.open("COM1", 1600, 1600, 19200));
    EXPECT_EQ(port.lastError(), "Device or resource busy");
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(board.lineHeld());
}

}  // namespace
}  // namespace loadstar::emulator
