#include "link/PosixSerialPort.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <string>

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
    ASSERT_TRUE(openPort(port)) << port.lastError();
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
    ASSERT_TRUE(openPort(first)) << first.lastError();
    EXPECT_FALSE(openPort(first));
    EXPECT_TRUE(first.isOpen()) << "a second open of the same object keeps it open";
    testing::TempDir dir;
    const std::string link = dir.file("COM1");
    std::filesystem::create_symlink(slavePath, link);
    PosixSerialPort second;
    EXPECT_FALSE(second.open(link, 1600, 1600, 19200));
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(second.lastError(), "the device is in use by another program");
    first.close();
    EXPECT_TRUE(second.open(link, 1600, 1600, 19200)) << "free again once the first closed";
}

TEST_F(PosixSerialPortTest, OpenFailuresSayWhy) {
    const std::pair<const char*, const char*> cases[] = {
        {"/dev/loadstar-no-such-device", "No such file or directory"},
        {"/dev/null", "/dev/null is not a serial device"},
    };
    for (const auto& [device, reason] : cases) {
        PosixSerialPort port;
        EXPECT_FALSE(port.open(device, 1600, 1600, 19200)) << device;
        EXPECT_EQ(port.lastError(), reason);
        EXPECT_FALSE(port.isOpen());
        EXPECT_FALSE(port.lastErrorWasPermission());
    }
}

}  // namespace
}  // namespace loadstar
