// One contract for every SerialPort: the platform's port over the emulator's pseudo-terminal and
// the in-process port wired to a board model must behave alike wherever the host relies on it.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "BoardModel.h"
#include "EmulatorProcess.h"
#include "InProcessBoardPort.h"
#include "PacketExchange.h"
#include "SerialPort.h"

namespace loadstar {
namespace {

using std::chrono::milliseconds;

// Where the ports under test come from: a board to talk to and a way to make ports to it.
class PortSetting {
  public:
    virtual ~PortSetting() = default;
    [[nodiscard]] virtual std::string problem() const { return {}; }
    [[nodiscard]] virtual std::string device() const = 0;
    [[nodiscard]] virtual std::unique_ptr<SerialPort> makePort() = 0;
};

class PtySetting : public PortSetting {
  public:
    [[nodiscard]] std::string problem() const override {
        return board_.started() ? std::string() : board_.startupError();
    }
    [[nodiscard]] std::string device() const override { return board_.devicePath(); }
    std::unique_ptr<SerialPort> makePort() override { return makePlatformSerialPort(); }

  private:
    testing::EmulatorProcess board_;
};

class InProcessSetting : public PortSetting {
  public:
    [[nodiscard]] std::string device() const override { return "COM1"; }
    std::unique_ptr<SerialPort> makePort() override {
        return std::make_unique<emulator::InProcessBoardPort>(board_);
    }

  private:
    emulator::BoardModel board_;
};

std::vector<std::uint8_t> frameFor(const char* payload) {
    std::vector<std::uint8_t> frame(1000);
    const auto length = std::char_traits<char>::length(payload);
    std::copy(payload, payload + length, frame.begin() + 4);
    frame.resize(static_cast<std::size_t>(buildPacket(frame.data(), static_cast<int>(length))));
    return frame;
}

class SerialPortContractTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        if (GetParam() == "pty") {
            setting_ = std::make_unique<PtySetting>();
        } else {
            setting_ = std::make_unique<InProcessSetting>();
        }
        ASSERT_EQ(setting_->problem(), "");
        port_ = setting_->makePort();
        ASSERT_TRUE(port_->open(setting_->device(), 1600, 1600, 19200)) << port_->lastError();
    }

    // Reads until `count` bytes have come or the input stays away for a second.
    std::string receive(std::size_t count) {
        std::string received;
        while (received.size() < count &&
               port_->waitForInput(milliseconds(1000)) == InputWait::ready) {
            std::uint8_t buffer[100];
            const int got = port_->read(buffer, sizeof buffer);
            if (got < 0) {
                break;
            }
            received.append(buffer, buffer + got);
        }
        return received;
    }

    std::unique_ptr<PortSetting> setting_;
    std::unique_ptr<SerialPort> port_;
};

TEST_P(SerialPortContractTest, ReadWithNothingWaitingReturnsZero) {
    std::uint8_t buffer[16];
    EXPECT_EQ(port_->read(buffer, sizeof buffer), 0);
    EXPECT_EQ(port_->waitForInput(milliseconds(40)), InputWait::timeout);
}

TEST_P(SerialPortContractTest, WriteReturnsTheCountAndACommandGetsItsReply) {
    const auto frame = frameFor("BRD");
    EXPECT_EQ(port_->write(frame.data(), static_cast<int>(frame.size())), 9);
    EXPECT_EQ(receive(10), "BRD KEL520");
    std::uint8_t buffer[16];
    EXPECT_EQ(port_->read(buffer, sizeof buffer), 0) << "nothing behind the reply";
}

TEST_P(SerialPortContractTest, AClosedPortFailsEveryCall) {
    EXPECT_TRUE(port_->isOpen());
    EXPECT_TRUE(port_->close());
    EXPECT_FALSE(port_->isOpen());
    std::uint8_t buffer[16];
    EXPECT_EQ(port_->read(buffer, sizeof buffer), -1);
    const auto frame = frameFor("BRD");
    EXPECT_EQ(port_->write(frame.data(), static_cast<int>(frame.size())), -1);
    EXPECT_EQ(port_->waitForInput(milliseconds(40)), InputWait::failed);
    EXPECT_TRUE(port_->close()) << "closing again is harmless";
}

TEST_P(SerialPortContractTest, OpenIsExclusive) {
    EXPECT_FALSE(port_->open(setting_->device(), 1600, 1600, 19200));
    EXPECT_TRUE(port_->isOpen()) << "a second open of the same object keeps it open";
    auto second = setting_->makePort();
    EXPECT_FALSE(second->open(setting_->device(), 1600, 1600, 19200));
    EXPECT_FALSE(second->lastError().empty());
    ASSERT_TRUE(port_->close());
    EXPECT_TRUE(second->open(setting_->device(), 1600, 1600, 19200)) << second->lastError();
}

TEST_P(SerialPortContractTest, ExchangeSucceedsAndFailsAlikeOnEveryPort) {
    std::uint8_t reply[100];
    int length = 0;
    EXPECT_EQ(exchangePacket(port_.get(), reinterpret_cast<const std::uint8_t*>("MIR"), 3, reply,
                             100, &length, 3),
              1);
    EXPECT_EQ(std::string(reply, reply + 4), "MIR ");
    EXPECT_EQ(exchangePacket(port_.get(), reinterpret_cast<const std::uint8_t*>("NOP"), 3, reply,
                             100, &length, 2),
              0)
        << "the board does not answer an unknown command";
    EXPECT_EQ(length, 0);
}

INSTANTIATE_TEST_SUITE_P(Ports, SerialPortContractTest, ::testing::Values("pty", "in_process"),
                         [](const ::testing::TestParamInfo<std::string>& parameter) {
                             return parameter.param;
                         });

}  // namespace
}  // namespace loadstar
