#include "link/PosixSerialPort.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "devices/OpenFailure.h"
#include "support/Descriptor.h"
#include "support/TempDir.h"

namespace loadstar {
namespace {

// The test plays the board on a pseudo-terminal's master side; the port opens the slave.
class PosixSerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        int masterFd = -1;
        int slaveFd = -1;
        ASSERT_EQ(::openpty(&masterFd, &slaveFd, nullptr, nullptr, nullptr), 0);
        master.reset(masterFd);
        observer.reset(slaveFd);  // held open so that the master sees no hang-up between clients
        slavePath = ::ptsname(masterFd);
    }
    bool openPort(PosixSerialPort& port) { return port.open(slavePath, 1600, 1600, 19200); }

    testing::Descriptor master;
    testing::Descriptor observer;
    std::string slavePath;
};

TEST_F(PosixSerialPortTest, OpensRaw8N1WithoutFlowControlAndRestoresOnClose) {
    termios before{};
    ASSERT_EQ(::tcgetattr(observer.get(), &before), 0);
    before.c_cflag |= CRTSCTS | PARENB;
    before.c_iflag |= IXON | IXOFF;
    before.c_lflag |= ECHO | ICANON;
    ::cfsetspeed(&before, B9600);
    ASSERT_EQ(::tcsetattr(observer.get(), TCSANOW, &before), 0);

    PosixSerialPort port;
    ASSERT_TRUE(openPort(port)) << portFaultReason(port.lastFault());
    termios during{};
    ASSERT_EQ(::tcgetattr(observer.get(), &during), 0);
    EXPECT_EQ(::cfgetospeed(&during), B19200);
    EXPECT_EQ(::cfgetispeed(&during), B19200);
    EXPECT_EQ(during.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(during.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(during.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
    EXPECT_EQ(during.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(during.c_lflag & (ECHO | ICANON), 0u);

    ASSERT_TRUE(port.close());
    termios after{};
    ASSERT_EQ(::tcgetattr(observer.get(), &after), 0);
    EXPECT_EQ(::cfgetospeed(&after), B9600);
    EXPECT_NE(after.c_cflag & CRTSCTS, 0u);
    EXPECT_NE(after.c_lflag & ICANON, 0u);
}

TEST_F(PosixSerialPortTest, SecondOpenerIsRefusedAlsoThroughALink) {
    PosixSerialPort first;
    ASSERT_TRUE(openPort(first)) << portFaultReason(first.lastFault());
    EXPECT_FALSE(openPort(first));
    EXPECT_EQ(first.lastFault().kind, PortFaultKind::openAlready);
    EXPECT_TRUE(first.isOpen()) << "a second open of the same object keeps it open";
    testing::TempDir dir;
    const std::string link = dir.file("COM1");
    std::filesystem::create_symlink(slavePath, link);
    PosixSerialPort second;
    EXPECT_FALSE(second.open(link, 1600, 1600, 19200));
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(second.lastFault().kind, PortFaultKind::inUseByAnotherProgram);
    EXPECT_FALSE(isPermissionFault(second.lastFault()));
    first.close();
    EXPECT_TRUE(second.open(link, 1600, 1600, 19200)) << "free again once the first closed";
    EXPECT_FALSE(second.lastFault().failed()) << "an open that succeeds forgets the last fault";
}

TEST_F(PosixSerialPortTest, OpenFailuresSayWhy) {
    testing::TempDir dir;
    const std::string plainFile = dir.write("image.hex", ":00000001FF\n");
    const struct {
        std::string device;
        int baud;
        PortFault fault;
    } cases[] = {
        {dir.file("missing"), 19200, {PortFaultKind::systemError, ENOENT}},
        {plainFile,
         19200,
         {PortFaultKind::notSerialDevice, ENOTTY, 0,
          std::filesystem::canonical(plainFile).string()}},
        {slavePath, 12345, {PortFaultKind::unsupportedSpeed, 0, 12345}},
    };
    for (const auto& c : cases) {
        PosixSerialPort port;
        EXPECT_FALSE(port.open(c.device, 1600, 1600, c.baud)) << c.device;
        const PortFault fault = port.lastFault();
        EXPECT_EQ(fault.kind, c.fault.kind) << c.device;
        EXPECT_EQ(fault.error, c.fault.error) << c.device;
        EXPECT_EQ(fault.baud, c.fault.baud) << c.device;
        EXPECT_EQ(fault.device, c.fault.device) << c.device;
        EXPECT_FALSE(port.isOpen());
        EXPECT_FALSE(isPermissionFault(fault));
    }
    PosixSerialPort port;
    EXPECT_TRUE(openPort(port)) << "a refused speed leaves the device free";
}

}  // namespace
}  // namespace loadstar
