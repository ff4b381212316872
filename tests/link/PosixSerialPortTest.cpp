#include "PosixSerialPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TempDir.h"

namespace loadstar {
namespace {

using namespace std::chrono_literals;

// A pseudo-terminal pair: the test plays the board on the master side, the port opens the slave.
class PseudoTerminal {
  public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            slavePath_ = ::ptsname(master_);
            // Held open so that the master does not see a hang-up between clients.
            observer_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        }
    }
    ~PseudoTerminal() {
        closeMaster();
        if (observer_ >= 0) {
            ::close(observer_);
        }
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    [[nodiscard]] bool ready() const { return master_ >= 0 && observer_ >= 0; }
    [[nodiscard]] const std::string& slavePath() const { return slavePath_; }
    [[nodiscard]] int observer() const { return observer_; }
    void send(const std::string& bytes) const {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    std::string receive() const {
        std::string got;
        pollfd waiting{master_, POLLIN, 0};
        while (::poll(&waiting, 1, 200) > 0) {
            char buffer[256];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    void closeMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

  private:
    int master_ = -1;
    int observer_ = -1;
    std::string slavePath_;
};

class PosixSerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(pty.ready()); }
    bool openPort(PosixSerialPort& port) { return port.open(pty.slavePath(), 1600, 1600, 19200); }

    PseudoTerminal pty;
};

TEST_F(PosixSerialPortTest, OpensRaw8N1WithoutFlowControlAndRestoresOnClose) {
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.observer(), &before), 0);
    before.c_cflag |= CRTSCTS | PARENB;
    before.c_iflag |= IXON | IXOFF;
    before.c_lflag |= ECHO | ICANON;
    ::cfsetspeed(&before, B9600);
    ASSERT_EQ(::tcsetattr(pty.observer(), TCSANOW, &before), 0);

    PosixSerialPort port;
    ASSERT_TRUE(openPort(port)) << port.lastError();
    termios during{};
    ASSERT_EQ(::tcgetattr(pty.observer(), &during), 0);
    EXPECT_EQ(::cfgetospeed(&during), B19200);
    EXPECT_EQ(::cfgetispeed(&during), B19200);
    EXPECT_EQ(during.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(during.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(during.c_cflag & CREAD, 0u);
    EXPECT_NE(during.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(during.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(during.c_lflag & (ECHO | ICANON), 0u);

    ASSERT_TRUE(port.close());
    termios after{};
    ASSERT_EQ(::tcgetattr(pty.observer(), &after), 0);
    EXPECT_EQ(::cfgetospeed(&after), B9600);
    EXPECT_NE(after.c_cflag & CRTSCTS, 0u);
    EXPECT_NE(after.c_lflag & ICANON, 0u);
}

TEST_F(PosixSerialPortTest, ReadsNeverWaitAndWritesArrive) {
    PosixSerialPort port;
    ASSERT_TRUE(openPort(port)) << port.lastError();
    std::uint8_t buffer[64];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.read(buffer, sizeof buffer), 0);
    EXPECT_EQ(port.waitForInput(30ms), InputWait::timeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);

    const std::uint8_t frame[] = {0x21, 0x00, 0x09, 0xF7, 'R', 'S', 'T', 0xF9, 0x55};
    EXPECT_EQ(port.write(frame, sizeof frame), static_cast<int>(sizeof frame));
    EXPECT_EQ(pty.receive(), std::string(reinterpret_cast<const char*>(frame), sizeof frame));

    pty.send("RST ok");
    ASSERT_EQ(port.waitForInput(1000ms), InputWait::ready);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(port.read(buffer, 3), 3);
    EXPECT_EQ(port.read(buffer + 3, 61), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 6), "RST ok");
    EXPECT_EQ(port.read(buffer, 0 + 1), 0);
}

TEST_F(PosixSerialPortTest, SecondOpenerIsRefusedAlsoThroughALink) {
    PosixSerialPort first;
    ASSERT_TRUE(openPort(first)) << first.lastError();
    testing::TempDir dir;
    const std::string link = dir.file("COM1");
    std::filesystem::create_symlink(pty.slavePath(), link);
    PosixSerialPort second;
    EXPECT_FALSE(second.open(link, 1600, 1600, 19200));
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(second.lastError(), "the device is in use by another program");
    first.close();
    EXPECT_TRUE(second.open(link, 1600, 1600, 19200)) << "free again once the first closed";
}

TEST_F(PosixSerialPortTest, VanishedDeviceFailsReadsAndWaits) {
    PosixSerialPort port;
    ASSERT_TRUE(openPort(port)) << port.lastError();
    pty.closeMaster();
    std::uint8_t buffer[8];
    // The hang-up wakes a waiter at once (as "ready" or "failed"); the read then says it failed.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(port.waitForInput(1000ms), InputWait::timeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 900ms);
    EXPECT_EQ(port.read(buffer, sizeof buffer), -1);
}

TEST_F(PosixSerialPortTest, ClosedPortFailsEverything) {
    PosixSerialPort port;
    std::uint8_t buffer[8] = {};
    EXPECT_EQ(port.read(buffer, sizeof buffer), -1);
    EXPECT_EQ(port.write(buffer, sizeof buffer), -1);
    EXPECT_EQ(port.waitForInput(10ms), InputWait::failed);
    EXPECT_TRUE(port.close()) << "closing a closed port is not an error";
}

TEST(PosixSerialPort, OpenFailuresSayWhy) {
    struct Case {
        const char* device;
        const char* reason;
    } const cases[] = {
        {"/dev/loadstar-no-such-device", "No such file or directory"},
        {"/dev/null", "/dev/null is not a serial device"},
    };
    for (const auto& c : cases) {
        PosixSerialPort port;
        EXPECT_FALSE(port.open(c.device, 1600, 1600, 19200)) << c.device;
        EXPECT_EQ(port.lastError(), c.reason);
        EXPECT_FALSE(port.isOpen());
        EXPECT_FALSE(port.lastErrorWasPermission());
    }
}

TEST_F(PosixSerialPortTest, UnsupportedSpeedIsRefused) {
    PosixSerialPort port;
    EXPECT_FALSE(port.open(pty.slavePath(), 1600, 1600, 12345));
    EXPECT_EQ(port.lastError(), "unsupported line speed 12345");
}

}  // namespace
}  // namespace loadstar
