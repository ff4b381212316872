// The Windows serial port. The cases with a board need a COM port with kel-emulator behind it: the
// end-to-end test under wine links one to the emulator's pseudo-terminal and names it in
// LOADSTAR_TEST_COM_PORT. Without that they are skipped.

#include "link/Win32SerialPort.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "devices/OpenFailure.h"
#include "link/PacketExchange.h"

namespace loadstar {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(Win32SerialPort, TakesCom1ToCom256AndTheDeviceNamespaceOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"COM1", "\\\\.\\COM1"},
        {"com7", "\\\\.\\COM7"},
        {"COM10", "\\\\.\\COM10"},
        {"COM256", "\\\\.\\COM256"},
        {"\\\\.\\com12", "\\\\.\\COM12"},
        {"\\\\.\\CNCA0", "\\\\.\\CNCA0"},
        {"COM0", ""},
        {"COM257", ""},
        {"COM01", ""},
        {"COM", ""},
        {"COM1a", ""},
        {"image.hex", ""},
        {"C:\\COM1", ""},
        {"\\\\.\\", ""},
        {"", ""},
    };
    for (const auto& [name, path] : cases) {
        EXPECT_EQ(Win32SerialPort::win32DevicePath(name), path) << name;
    }
    Win32SerialPort port;
    EXPECT_FALSE(port.open("image.hex", 1600, 1600, 19200));
    EXPECT_EQ(port.lastFault().kind, PortFaultKind::notComPortName);
    EXPECT_FALSE(port.open("COM199", 1600, 1600, 19200));
    EXPECT_EQ(port.lastFault().kind, PortFaultKind::portDoesNotExist);
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(isPermissionFault(port.lastFault()));
}

class Win32SerialPortBoardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* name = std::getenv("LOADSTAR_TEST_COM_PORT");
        if (name == nullptr) {
            GTEST_SKIP() << "no COM port with a board behind it (LOADSTAR_TEST_COM_PORT)";
        }
        portName = name;
        ASSERT_TRUE(port.open(portName, 1600, 1600, 19200)) << portFaultReason(port.lastFault());
    }
    int sendFrame(const std::string& payload) {
        std::uint8_t frame[100];
        std::copy(payload.begin(), payload.end(), frame + 4);
        return port.write(frame, buildPacket(frame, static_cast<int>(payload.size())));
    }
    // Reads until `count` bytes have come or the input stays away for a second.
    std::string receive(std::size_t count) {
        std::string received;
        std::uint8_t buffer[100];
        for (int got = 0; got >= 0 && received.size() < count &&
                          port.waitForInput(1000ms) == InputWait::ready;) {
            got = port.read(buffer, sizeof buffer);
            received.append(buffer, buffer + std::max(got, 0));
        }
        return received;
    }

    std::string portName;
    Win32SerialPort port;
};

TEST_F(Win32SerialPortBoardTest, ReadsNeverWaitAndAWaitEndsAtItsTimeOutOrItsFirstByte) {
    std::uint8_t buffer[16];
    auto start = Clock::now();
    EXPECT_EQ(port.read(buffer, sizeof buffer), 0);
    EXPECT_LT(Clock::now() - start, 20ms);
    start = Clock::now();
    EXPECT_EQ(port.waitForInput(40ms), InputWait::timeout);
    EXPECT_GE(Clock::now() - start, 39ms);
    EXPECT_LT(Clock::now() - start, 400ms);

    EXPECT_EQ(port.lineSpeed(), 19200);
    EXPECT_EQ(sendFrame("BRD"), 9);
    start = Clock::now();
    EXPECT_EQ(port.waitForInput(3000ms), InputWait::ready);
    EXPECT_LT(Clock::now() - start, 1000ms) << "woken by the reply, not by the time-out";
    EXPECT_EQ(receive(10), "BRD KEL520");
    EXPECT_EQ(port.read(buffer, sizeof buffer), 0) << "nothing behind the reply";
}

TEST_F(Win32SerialPortBoardTest, OpenIsExclusiveAndAClosedPortFailsEveryCall) {
    EXPECT_FALSE(port.open(portName, 1600, 1600, 19200));
    EXPECT_TRUE(port.isOpen()) << "a second open of the same object keeps it open";
    Win32SerialPort second;
    EXPECT_FALSE(second.open(portName, 1600, 1600, 19200));
    EXPECT_EQ(second.lastFault().kind, PortFaultKind::inUseByAnotherProgram);

    ASSERT_TRUE(port.close());
    std::uint8_t buffer[16];
    EXPECT_EQ(port.read(buffer, sizeof buffer), -1);
    EXPECT_EQ(sendFrame("BRD"), -1);
    EXPECT_EQ(port.waitForInput(40ms), InputWait::failed);
    EXPECT_EQ(port.lineSpeed(), 0);
    EXPECT_TRUE(port.close()) << "closing again is harmless";
    EXPECT_TRUE(second.open(portName, 1600, 1600, 19200)) << portFaultReason(second.lastFault());
}

}  // namespace
}  // namespace loadstar
