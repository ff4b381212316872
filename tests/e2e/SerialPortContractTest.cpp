// One contract for every SerialPort: the platform's port over the emulator's pseudo-terminal and
// the in-process port wired to a board model must behave alike wherever the host relies on it.

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "devices/OpenFailure.h"
#include "emulator/BoardModel.h"
#include "emulator/InProcessBoardPort.h"
#include "link/PacketExchange.h"
#include "support/EmulatorProcess.h"

namespace loadstar {
namespace {

using std::chrono::milliseconds;

class SerialPortContractTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        if (GetParam() == "pty") {
            emulator_.emplace();
            ASSERT_TRUE(emulator_->started()) << emulator_->startupError();
        }
        port_ = emulator_ ? makePlatformSerialPort()
                          : std::make_unique<emulator::InProcessBoardPort>(board_);
        const std::string device = emulator_ ? emulator_->devicePath() : "COM1";
        ASSERT_TRUE(port_->open(device, 1600, 1600, 19200)) << portFaultReason(port_->lastFault());
    }
    int sendFrame(const std::string& payload) {
        std::uint8_t frame[1000];
        std::copy(payload.begin(), payload.end(), frame + 4);
        return port_->write(frame, buildPacket(frame, static_cast<int>(payload.size())));
    }
    // Reads until `count` bytes have come or the input stays away for a second.
    std::string receive(std::size_t count) {
        std::string received;
        std::uint8_t buffer[100];
        for (int got = 0; got >= 0 && received.size() < count &&
                          port_->waitForInput(milliseconds(1000)) == InputWait::ready;) {
            got = port_->read(buffer, sizeof buffer);
            received.append(buffer, buffer + std::max(got, 0));
        }
        return received;
    }

    std::optional<testing::EmulatorProcess> emulator_;
    emulator::BoardModel board_;
    std::unique_ptr<SerialPort> port_;
};

TEST_P(SerialPortContractTest, ReadsNeverWaitRepliesComeWholeAndAClosedPortFails) {
    std::uint8_t buffer[16];
    EXPECT_EQ(port_->read(buffer, sizeof buffer), 0);
    EXPECT_EQ(port_->waitForInput(milliseconds(40)), InputWait::timeout);
    EXPECT_EQ(sendFrame("BRD"), 9);
    EXPECT_EQ(receive(10), "BRD KEL520");
    EXPECT_EQ(port_->read(buffer, sizeof buffer), 0) << "nothing behind the reply";

    EXPECT_TRUE(port_->close());
    EXPECT_FALSE(port_->isOpen());
    EXPECT_EQ(port_->read(buffer, sizeof buffer), -1);
    EXPECT_EQ(sendFrame("BRD"), -1);
    EXPECT_EQ(port_->waitForInput(milliseconds(40)), InputWait::failed);
    EXPECT_TRUE(port_->close()) << "closing again is harmless";
}

INSTANTIATE_TEST_SUITE_P(Ports, SerialPortContractTest, ::testing::Values("pty", "in_process"),
                         [](const auto& parameter) { return parameter.param; });

}  // namespace
}  // namespace loadstar
