// The serial link and the board commands over a real pseudo-terminal to kel-emulator: what the
// window and the command-line tool rely on, with the board misbehaving in the ways a real one can.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BoardCommands.h"
#include "ComPortName.h"
#include "EmulatorProcess.h"
#include "ProcessFlags.h"
#include "RecordingUserInterface.h"
#include "SerialLink.h"
#include "TempDir.h"

namespace loadstar {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char notBlankMessage[] = "Error writing data, target memory space probably not blank.";

// An emulator started with `args`, and the link and commands of a host connected to it.
class LinkOverPty {
  public:
    explicit LinkOverPty(std::vector<std::string> args = testing::EmulatorProcess::defaultArgs())
        : board(std::move(args)) {
        processFlags() = ProcessFlags{};
        if (board.started()) {
            link.setDevicePath(board.devicePath());
            opened = link.openPort();
        }
    }

    testing::EmulatorProcess board;
    testing::RecordingUserInterface ui;
    SerialLink link{[this](const std::string& text) { showError(ui, text); }};
    BoardCommands commands{link, ui};
    int opened = 0;
};

// Whether the emulator came up and the host's link opened it.
::testing::AssertionResult connected(LinkOverPty& host) {
    if (!host.board.started()) {
        return ::testing::AssertionFailure() << host.board.startupError();
    }
    if (host.opened != 1) {
        return ::testing::AssertionFailure() << host.link.lastOpenFailure();
    }
    return ::testing::AssertionSuccess();
}

Bytes readBack(BoardCommands& commands, int address, int count) {
    std::uint8_t reply[1000] = {};
    int length = 0;
    if (commands.readFlash(address, reply, count, &length) != 1 || length < 15 + count) {
        return {};
    }
    return Bytes(reply + 15, reply + 15 + count);
}

TEST(LinkOverPtyTest, IdentifiesEitherBoardModel) {
    for (const std::string model : {"KEL520", "KEL620"}) {
        LinkOverPty host({"--no-link", "--baud", "0", "--model", model});
        ASSERT_TRUE(connected(host));
        std::string reply;
        EXPECT_TRUE(host.commands.identifyBoard(&reply)) << reply;
        EXPECT_EQ(reply, "BRD " + model);
    }
}

TEST(LinkOverPtyTest, WritesReadsAndErasesMainAndBootSectors) {
    LinkOverPty host;
    ASSERT_TRUE(connected(host));
    struct Case {
        int kind;
        int sector;
        int address;
    };
    for (const Case c : {Case{0, 3, 0x8000}, Case{0, 7, 0xFF00}, Case{1, 2, 0xC000}}) {
        Bytes data(100);
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<std::uint8_t>(i * 7 + c.sector);
        }
        ASSERT_EQ(host.commands.selectFlash(c.kind, static_cast<std::uint8_t>(c.sector)), 1);
        EXPECT_EQ(host.commands.writeFlash(c.address, data.data(), 100), 1) << c.address;
        EXPECT_EQ(readBack(host.commands, c.address, 100), data) << c.address;
        const int eraseAddress = c.kind == 0 ? 0x8000 : c.address;
        EXPECT_EQ(
            host.commands.eraseSector(c.kind, static_cast<std::uint8_t>(c.sector), eraseAddress),
            1);
        EXPECT_EQ(readBack(host.commands, c.address, 100), Bytes(100, 0xFF)) << c.address;
    }
    EXPECT_TRUE(host.ui.messages.empty());
}

TEST(LinkOverPtyTest, WriteOverProgrammedBytesIsReportedNotBlank) {
    LinkOverPty host;
    ASSERT_TRUE(connected(host));
    ASSERT_EQ(host.commands.selectFlash(0, 1), 1);
    const Bytes zeros(16, 0x00);
    ASSERT_EQ(host.commands.writeFlash(0x9000, zeros.data(), 16), 1);
    const Bytes ones(16, 0x01);
    EXPECT_EQ(host.commands.writeFlash(0x9000, ones.data(), 16), 0);
    EXPECT_EQ(host.ui.messageTexts(), std::vector<std::string>{notBlankMessage});
    EXPECT_EQ(readBack(host.commands, 0x9000, 16), zeros);
}

TEST(LinkOverPtyTest, LostAndLateRepliesAreRetriedUntilTheCommandSucceeds) {
    const std::vector<std::vector<std::string>> faults = {
        {"--drop-every", "2"},
        {"--drop-every", "3", "--delay-ms", "10"},
    };
    for (const auto& fault : faults) {
        std::vector<std::string> args = testing::EmulatorProcess::defaultArgs();
        args.insert(args.end(), fault.begin(), fault.end());
        LinkOverPty host(args);
        ASSERT_TRUE(connected(host));
        EXPECT_TRUE(host.commands.identifyBoard()) << fault[1];
        EXPECT_EQ(host.commands.selectFlash(0, 2), 1) << fault[1];
        const Bytes data{1, 2, 3, 4, 5};
        EXPECT_EQ(host.commands.writeFlash(0x8000, data.data(), 5), 1) << fault[1];
        EXPECT_EQ(readBack(host.commands, 0x8000, 5), data) << fault[1];
        EXPECT_TRUE(host.ui.messages.empty()) << fault[1];
    }
}

TEST(LinkOverPtyTest, SilentOrForeignBoardFailsEachCommandWithItsMessage) {
    for (const char* fault : {"--silent", "--unknown-tag"}) {
        LinkOverPty host({"--no-link", "--baud", "0", fault});
        ASSERT_TRUE(connected(host));
        std::string reply;
        EXPECT_FALSE(host.commands.identifyBoard(&reply)) << fault;
        EXPECT_EQ(reply, "RETRY Timeout") << fault;
        EXPECT_EQ(host.commands.selectFlash(0, 0), 0) << fault;
        std::uint8_t buffer[1000];
        EXPECT_EQ(host.commands.readFlash(0x8000, buffer, 16), 0) << fault;
        EXPECT_EQ(host.ui.messageTexts(),
                  (std::vector<std::string>{"Error sending SET VM command.",
                                            "Error sending READ FLASH command."}))
            << fault;
    }
}

TEST(LinkOverPtyTest, BoardThatFallsSilentInTheMiddleFailsAndRecovers) {
    LinkOverPty host;
    ASSERT_TRUE(connected(host));
    ASSERT_EQ(host.commands.selectFlash(0, 4), 1);
    host.board.control("silent on");
    std::uint8_t buffer[1000];
    EXPECT_EQ(host.commands.readFlash(0x8000, buffer, 16), 0);
    host.board.control("silent off");
    EXPECT_EQ(host.commands.readFlash(0x8000, buffer, 16), 1);
    EXPECT_EQ(host.ui.messageTexts(),
              std::vector<std::string>{"Error sending READ FLASH command."});
}

TEST(LinkOverPtyTest, HeldPortIsRefusedToASecondOpener) {
    LinkOverPty host;
    ASSERT_TRUE(connected(host));
    testing::RecordingUserInterface otherUi;
    SerialLink other([&otherUi](const std::string& text) { showError(otherUi, text); });
    other.setDevicePath(host.board.devicePath());
    EXPECT_EQ(other.openPort(), 0);
    EXPECT_EQ(
        otherUi.messageTexts(),
        std::vector<std::string>{"Can't open COM1, port does not exist or is already allocated."});
    EXPECT_FALSE(other.lastOpenFailure().empty());
    EXPECT_TRUE(host.commands.identifyBoard()) << "the holder keeps working";
    host.link.closePort();
    EXPECT_EQ(other.openPort(), 1) << other.lastOpenFailure();
}

TEST(LinkOverPtyTest, Com1ResolvesToTheEmulatorsLinkInAPrivateFolder) {
    testing::TempDir folder;
    const std::string devices = folder.file("devices");
    testing::EmulatorProcess board({"--link", devices + "/COM1", "--baud", "0"});
    ASSERT_TRUE(board.started()) << board.startupError();
    const std::string resolved = resolveComPort(devices, "/dev/no-COM1", "/dev/no-ttyS0");
    EXPECT_EQ(resolved, devices + "/COM1");
    testing::RecordingUserInterface ui;
    SerialLink link([&ui](const std::string& text) { showError(ui, text); });
    link.setDevicePath(resolved);
    ASSERT_EQ(link.openPort(), 1) << link.lastOpenFailure();
    BoardCommands commands(link, ui);
    EXPECT_TRUE(commands.identifyBoard());
}

}  // namespace
}  // namespace loadstar
