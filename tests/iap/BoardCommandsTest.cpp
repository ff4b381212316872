#include "BoardCommands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Connection.h"
#include "ProcessFlags.h"
#include "RecordingUserInterface.h"
#include "ScriptedPort.h"

namespace loadstar {
namespace {

using testing::RecordingUserInterface;
using testing::ScriptedPort;
using Bytes = std::vector<std::uint8_t>;

Bytes payloadOf(const Bytes& frame) {
    return Bytes(frame.begin() + 4, frame.end() - 2);
}
Bytes bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// A board that answers each command with its own tag, unless the test says otherwise.
class BoardCommandsTest : public ::testing::Test {
  protected:
    BoardCommandsTest()
        : link([this](const std::string& text) { showError(ui, text); },
               [this] {
                   auto made = std::make_unique<ScriptedPort>();
                   port = made.get();
                   port->answer = [this](const Bytes& frame) { return answerFrame(frame); };
                   return made;
               }),
          board(link, ui) {}

    void SetUp() override { ASSERT_EQ(link.openPort(), 1); }
    void TearDown() override { processFlags() = ProcessFlags{}; }

    ScriptedPort::Reply answerFrame(const Bytes& frame) {
        const std::string payload(frame.begin() + 4, frame.end() - 2);
        for (const auto& [prefix, reply] : replies) {
            if (payload.rfind(prefix, 0) == 0) {
                return reply.empty() ? ScriptedPort::Reply{} : testing::replyNow(reply);
            }
        }
        const std::string tag = payload.substr(0, payload[0] == 'E' ? 2 : payload.find(' '));
        return testing::replyNow(tag.substr(0, 3) + " ok");
    }
    std::vector<Bytes> payloads() const {
        std::vector<Bytes> result;
        for (const auto& frame : port->frames) {
            result.push_back(payloadOf(frame));
        }
        return result;
    }
    std::vector<Bytes> distinctPayloads() const {
        std::vector<Bytes> result;
        for (const auto& payload : payloads()) {
            if (result.empty() || result.back() != payload) {
                result.push_back(payload);
            }
        }
        return result;
    }

    RecordingUserInterface ui;
    std::vector<std::pair<std::string, std::string>>
        replies;  // payload prefix -> reply ("" silent)
    ScriptedPort* port = nullptr;
    SerialLink link;
    BoardCommands board;
};

TEST_F(BoardCommandsTest, SelectFlashPayloads) {
    struct Case {
        int kind;
        int sector;
        std::vector<Bytes> sent;
    } const cases[] = {
        {0, 7, {bytes("VM 92"), bytes("PG 07")}},
        {0, 0, {bytes("VM 92"), bytes("PG 00")}},
        {1, 3, {bytes("VM 8C"), bytes("PG 00")}},
        {1, 0, {bytes("VM 8C"), bytes("PG 00")}},
    };
    for (const auto& c : cases) {
        port->frames.clear();
        EXPECT_EQ(board.selectFlash(c.kind, static_cast<std::uint8_t>(c.sector)), 1);
        EXPECT_EQ(payloads(), c.sent) << c.kind << "/" << c.sector;
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(BoardCommandsTest, BootSectorAboveThreeIsRefusedWithoutSending) {
    EXPECT_EQ(board.selectFlash(1, 4), 0);
    EXPECT_TRUE(port->frames.empty());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Secondary/boot flash sector can not be > 3.");
    EXPECT_EQ(ui.messages[0].caption, "Error");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::warning);
}

TEST_F(BoardCommandsTest, FailedSetVmStopsTheSelection) {
    replies = {{"VM", ""}};
    EXPECT_EQ(board.selectFlash(0, 2), 0);
    EXPECT_EQ(distinctPayloads(), std::vector<Bytes>{bytes("VM 92")});
    EXPECT_EQ(port->frames.size(), 11u) << "ten retries";
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Error sending SET VM command."});
}

TEST_F(BoardCommandsTest, EachCommandShowsItsOwnFailureMessage) {
    replies = {{"", ""}};
    std::uint8_t buffer[1000];
    const std::uint8_t data[1] = {0x12};
    EXPECT_EQ(board.resetBoard(), 0);
    EXPECT_EQ(board.setPage(1), 0);
    EXPECT_EQ(board.readFlash(0x8000, buffer, 1), 0);
    EXPECT_EQ(board.writeFlash(0x8000, data, 1), 0);
    EXPECT_EQ(ui.messageTexts(),
              (std::vector<std::string>{
                  "Error sending RESET command.", "Error sending SET PAGE command.",
                  "Error sending READ FLASH command.", "Error sending WRITE FLASH command."}));
}

TEST_F(BoardCommandsTest, ReadFlashSendsAddressHighFirstAndKeepsTheWholeReply) {
    replies = {{"RRD", "RRD 8123 10    " + std::string("\x01\x02\x03", 3)}};
    std::uint8_t buffer[1000] = {};
    int length = 0;
    EXPECT_EQ(board.readFlash(0x8123, buffer, 16, &length), 1);
    EXPECT_EQ(payloads().back(), (Bytes{0x52, 0x52, 0x44, 0x81, 0x23, 0x10}));
    EXPECT_EQ(length, 18);
    EXPECT_EQ(buffer[replyHeaderLength], 0x01);
    EXPECT_EQ(buffer[replyHeaderLength + 2], 0x03);
}

TEST_F(BoardCommandsTest, WriteFlashChecksTheWrittenCount) {
    const std::uint8_t data[16] = {};
    struct Case {
        std::string reply;
        int count;
        bool succeeds;
    } const cases[] = {
        {"WFP 8000 0F    0F B WRITTEN", 15, true},
        {"WFP 8000 0F    0f B WRITTEN", 15, true},  // either case of digits
        {"WFP 8000 0F    0F B WRITTEN", 16, false},
        {"WFP 8000 0F    0F B WRITTE", 15, false},  // shorter than 27 characters
        {"WFP 8000 0F    0F b written", 15, false},
        {"WFP 8000 0F    zz B WRITTEN", 0 + 15, false},
    };
    for (const auto& c : cases) {
        replies = {{"WFP", c.reply}};
        ui.messages.clear();
        EXPECT_EQ(board.writeFlash(0x8000, data, c.count), c.succeeds ? 1 : 0) << c.reply;
        if (!c.succeeds) {
            EXPECT_EQ(ui.messageTexts(),
                      std::vector<std::string>{"Error writing data, target memory space probably "
                                               "not blank."});
        }
    }
    EXPECT_EQ(payloads().back().size(), 6u + 15u);
    EXPECT_EQ(payloads().back()[5], 15);
}

TEST_F(BoardCommandsTest, EraseSelectsThenErasesAtTheAddress) {
    EXPECT_EQ(board.eraseSector(0, 2, 0x8000), 1);
    EXPECT_EQ(payloads(),
              (std::vector<Bytes>{bytes("VM 92"), bytes("PG 02"), Bytes{0x45, 0x4D, 0x80, 0x00}}));
    port->frames.clear();
    EXPECT_EQ(board.eraseSector(1, 2, 0xC000), 1);
    EXPECT_EQ(payloads(),
              (std::vector<Bytes>{bytes("VM 8C"), bytes("PG 00"), Bytes{0x45, 0x42, 0xC0, 0x00}}));
}

TEST_F(BoardCommandsTest, EraseFailureAfterSelection) {
    replies = {{"E", ""}};
    EXPECT_EQ(board.eraseSector(0, 1, 0x8000), 0);
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Error sending SECTOR ERASE command."});
}

TEST_F(BoardCommandsTest, IdentificationAcceptsExactlyTheKelx20Family) {
    struct Case {
        std::string reply;
        bool accepted;
    } const cases[] = {
        {"BRD KEL520", true}, {"BRD KEL620", true},  {"BRD KEL920", true},  {"BRD KEL520\r", false},
        {"BRD KEL52", false}, {"BRD KEL521", false}, {"BRD XYZ520", false},
    };
    for (const auto& c : cases) {
        replies = {{"BRD", c.reply}};
        EXPECT_EQ(board.identifyBoard(), c.accepted) << c.reply;
    }
}

TEST_F(BoardCommandsTest, ConnectRefusesAWrongBoardAndClosesThePort) {
    link.closePort();
    replies = {{"BRD", "BRD KEL520\r"}};
    EXPECT_EQ(connectBoard(board), 0);
    EXPECT_EQ(link.isPortOpen(), 0);
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{connectionFailedMessage});
    replies = {{"BRD", "BRD KEL620"}};
    EXPECT_EQ(connectBoard(board), 1);
    EXPECT_EQ(link.isPortOpen(), 1);
    EXPECT_EQ(connectBoard(board), 2) << "open already: nothing is sent";
}

TEST_F(BoardCommandsTest, DisplayTextFollowsTheTagAndStopsAt96Characters) {
    replies = {{"MIR", "MIR line one\nline two"}};
    EXPECT_EQ(board.fetchDisplayText(), "line one\nline two");
    replies = {{"MIR", "MIR " + std::string(150, 'd')}};
    EXPECT_EQ(board.fetchDisplayText(), std::string(96, 'd'));
    replies = {{"MIR", ""}};
    port->frames.clear();
    EXPECT_EQ(board.fetchDisplayText(), "");
    EXPECT_EQ(port->frames.size(), 4u) << "the mirror retries three times";
    EXPECT_TRUE(ui.messages.empty()) << "a failed tick shows no box";
}

TEST_F(BoardCommandsTest, ErrorBoxIsSilentWhileTheTestRuns) {
    processFlags().testRunning = true;
    replies = {{"RRD", ""}};
    std::uint8_t buffer[1000];
    EXPECT_EQ(board.readFlash(0x8000, buffer, 10), 0);
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace loadstar
