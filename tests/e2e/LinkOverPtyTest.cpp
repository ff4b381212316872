// The serial link and the board commands over a real pseudo-terminal to kel-emulator: what the
// window and the command-line tool rely on, with the board misbehaving in the ways a real one can.

#include <gtest/gtest.h>

#include "BoardCommands.h"
#include "ComPortName.h"
#include "EmulatorProcess.h"
#include "ProcessFlags.h"
#include "RandomBytes.h"
#include "RecordingUserInterface.h"
#include "SerialLink.h"
#include "TempDir.h"

namespace loadstar {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An emulator started with `args`, and the link and commands of a host connected to it.
struct Host {
    explicit Host(std::vector<std::string> args) : board(std::move(args)) {
        processFlags() = ProcessFlags{};
        link.setDevicePath(board.devicePath());
        opened = board.started() && link.openPort() == 1;
    }
    Bytes read(int address, int count) {
        std::uint8_t reply[1000] = {};
        int length = 0;
        const int result = commands.readFlash(address, reply, count, &length);
        return result == 1 && length == 15 + count ? Bytes(reply + 15, reply + length) : Bytes{};
    }

    testing::EmulatorProcess board;
    testing::RecordingUserInterface ui;
    SerialLink link{[this](const std::string& text) { showError(ui, text); }};
    BoardCommands commands{link, ui};
    bool opened = false;
};

::testing::AssertionResult connected(const Host& host) {
    return host.opened ? ::testing::AssertionSuccess()
                       : ::testing::AssertionFailure()
                             << host.board.startupError() << host.link.lastOpenFailure();
}

// Every second reply is lost and each comes late, yet every command gets through by retrying.
TEST(LinkOverPtyTest, RoundTripsSucceedThroughLostAndLateRepliesAndANotBlankTargetIsReported) {
    Host host({"--no-link", "--baud", "0", "--drop-every", "2", "--delay-ms", "10"});
    ASSERT_TRUE(connected(host));
    EXPECT_TRUE(host.commands.identifyBoard());
    for (const auto& [kind, sector, address] :
         {std::tuple{0, 7, 0xFF00}, std::tuple{1, 2, 0xC000}}) {
        const Bytes data = testing::randomBytes(100, static_cast<unsigned>(address));
        ASSERT_EQ(host.commands.selectFlash(kind, static_cast<std::uint8_t>(sector)), 1);
        EXPECT_EQ(host.commands.writeFlash(address, data.data(), 100), 1);
        EXPECT_EQ(host.read(address, 100), data);
        EXPECT_EQ(host.commands.writeFlash(address, Bytes(16, 0xFF).data(), 16), 0);
        EXPECT_EQ(host.read(address, 100), data) << "bits cannot be set again";
        const int eraseAddress = kind == 0 ? 0x8000 : address;
        EXPECT_EQ(host.commands.eraseSector(kind, static_cast<std::uint8_t>(sector), eraseAddress),
                  1);
        EXPECT_EQ(host.read(address, 100), Bytes(100, 0xFF));
    }
    EXPECT_EQ(
        host.ui.messageTexts(),
        std::vector<std::string>(2, "Error writing data, target memory space probably not blank."));
}

TEST(LinkOverPtyTest, ASilentOrForeignBoardFailsEachCommandUntilItRecovers) {
    Host host(testing::EmulatorProcess::defaultArgs());
    ASSERT_TRUE(connected(host));
    for (const char* fault : {"silent on", "unknown-tag on", "clear"}) {
        host.board.control("clear");
        host.board.control(fault);
        std::string reply;
        const bool cleared = std::string(fault) == "clear";
        EXPECT_EQ(host.commands.identifyBoard(&reply), cleared) << fault;
        EXPECT_EQ(reply, cleared ? "BRD KEL520" : "RETRY Timeout") << fault;
        EXPECT_EQ(host.read(0x8000, 16), cleared ? Bytes(16, 0xFF) : Bytes{}) << fault;
    }
    EXPECT_EQ(host.ui.messageTexts(),
              std::vector<std::string>(2, "Error sending READ FLASH command."));
}

// The emulator's link in a private folder is what COM1 resolves to.
TEST(LinkOverPtyTest, Com1ReachesTheEmulatorsLink) {
    const testing::TempDir folder;
    const std::string com1 = folder.file("devices") + "/COM1";
    Host host({"--link", com1, "--baud", "0"});
    ASSERT_TRUE(connected(host));
    host.link.closePort();
    EXPECT_EQ(resolveComPort(folder.file("devices"), "/dev/no-COM1", "/dev/no-ttyS0"), com1);
    host.link.setDevicePath(com1);
    ASSERT_EQ(host.link.openPort(), 1) << host.link.lastOpenFailure();
    EXPECT_TRUE(host.commands.identifyBoard());
}

}  // namespace
}  // namespace loadstar
