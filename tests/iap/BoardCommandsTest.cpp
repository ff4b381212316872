#include "BoardCommands.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Connection.h"
#include "RecordingUserInterface.h"
#include "ScriptedPort.h"

namespace loadstar {
namespace {

using testing::ScriptedPort;
using Texts = std::vector<std::string>;

class BoardCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(link.openPort(), 1); }

    // The first of `replies` whose prefix the payload starts with answers ("": silent); any other
    // command gets "RST ok", as any tag answers any command.
    ScriptedPort::Reply answer(const std::vector<std::uint8_t>& frame) const {
        const std::string payload(frame.begin() + 4, frame.end() - 2);
        for (const auto& [prefix, reply] : replies) {
            if (payload.rfind(prefix, 0) == 0) {
                return reply.empty() ? ScriptedPort::Reply{} : testing::replyNow(reply);
            }
        }
        return testing::replyNow("RST ok");
    }
    Texts payloads() const {
        Texts sent;
        for (const auto& frame : port->frames) {
            sent.emplace_back(frame.begin() + 4, frame.end() - 2);
        }
        return sent;
    }

    testing::RecordingUserInterface ui;
    std::vector<std::pair<std::string, std::string>> replies;
    ScriptedPort* port = nullptr;
    SerialLink link{[this](const std::string& text) { showError(ui, text); },
                    [this] {
                        auto made = std::make_unique<ScriptedPort>();
                        port = made.get();
                        port->answer = [this](const auto& frame) { return answer(frame); };
                        return made;
                    }};
    BoardCommands board{link, ui};
};

TEST_F(BoardCommandsTest, PayloadsOfSelectEraseAndReset) {
    const struct {
        std::function<int()> command;
        Texts sent;
    } cases[] = {
        {[&] { return board.selectFlash(0, 7); }, {"VM 92", "PG 07"}},
        {[&] { return board.selectFlash(1, 3); }, {"VM 8C", "PG 00"}},
        {[&] { return board.eraseSector(0, 2, 0x8000); }, {"VM 92", "PG 02", {"EM\x80\0", 4}}},
        {[&] { return board.eraseSector(1, 2, 0xC000); }, {"VM 8C", "PG 00", {"EB\xC0\0", 4}}},
        {[&] { return board.resetBoard(); }, {"RST"}},
    };
    for (const auto& c : cases) {
        port->frames.clear();
        EXPECT_EQ(c.command(), 1) << c.sent.back();
        EXPECT_EQ(payloads(), c.sent);
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(BoardCommandsTest, EachCommandShowsItsOwnFailureMessage) {
    EXPECT_EQ(board.selectFlash(1, 4), 0);
    EXPECT_TRUE(port->frames.empty()) << "a boot sector above 3 is refused before sending";
    EXPECT_EQ(ui.messages.at(0).caption, "Error");
    EXPECT_EQ(ui.messages.at(0).icon, MessageIcon::warning);
    replies = {{"", ""}};
    std::uint8_t buffer[1000];
    EXPECT_EQ(board.selectFlash(0, 2), 0);
    EXPECT_EQ(payloads(), Texts(11, "VM 92")) << "ten retries, and no SET PAGE after a failure";
    EXPECT_EQ(board.resetBoard(), 0);
    EXPECT_EQ(board.setPage(1), 0);
    EXPECT_EQ(board.readFlash(0x8000, buffer, 1), 0);
    EXPECT_EQ(board.writeFlash(0x8000, buffer, 1), 0);
    replies = {{"E", ""}};
    EXPECT_EQ(board.eraseSector(0, 1, 0x8000), 0);
    EXPECT_EQ(ui.messageTexts(),
              (Texts{"Secondary/boot flash sector can not be > 3.", "Error sending SET VM command.",
                     "Error sending RESET command.", "Error sending SET PAGE command.",
                     "Error sending READ FLASH command.", "Error sending WRITE FLASH command.",
                     "Error sending SECTOR ERASE command."}));
}

// A reply hit on the line does not fail a write the flash holds; only a real difference does.
TEST_F(BoardCommandsTest, AWriteTheReplyDoesNotConfirmIsReadBack) {
    const std::uint8_t data[] = {0x12, 0x34};
    const std::string header = "RRD 8000 02    ";
    const struct {
        std::string writeReply;
        std::string flash;  // what READ FLASH finds
        int result;
        Texts messages;
    } cases[] = {
        {"WFP 8000 02    02 B WRITTEN", "", 1, {}},
        {"WFP 8000 02    0\xB2 B WRITTEN", header + "\x12\x34", 1, {}},
        {"WFP 8000 02    01 B WRITTEN",
         header + "\x12\xFF",
         0,
         {"Error writing data, target memory space probably not blank."}},
    };
    for (const auto& c : cases) {
        replies = {{"WFP", c.writeReply}, {"RRD", c.flash}};
        ui.messages.clear();
        port->frames.clear();
        EXPECT_EQ(board.writeFlash(0x8000, data, 2), c.result) << c.writeReply;
        EXPECT_EQ(ui.messageTexts(), c.messages) << c.writeReply;
        // Two bytes read back as a pass of their own: six reads give the lead of 6 they need.
        EXPECT_EQ(port->frames.size(), c.flash.empty() ? 1u : 7u) << "read back until agreed";
    }
}

TEST_F(BoardCommandsTest, ConnectRefusesAWrongBoardAndClosesThePort) {
    link.closePort();
    replies = {{"BRD", "BRD KEL520\r"}};
    EXPECT_EQ(connectBoard(board), 0);
    EXPECT_EQ(link.isPortOpen(), 0);
    EXPECT_EQ(ui.messageTexts(), Texts{connectionFailedMessage});
    EXPECT_EQ(payloads(), Texts(3, "BRD")) << "asked three times: a reply may have been hit";
    ASSERT_EQ(link.openPort(), 1);
    int asks = 0;
    port->answer = [&asks](const auto&) {
        return testing::replyNow(++asks == 1 ? "BRD KEL5\xB2"
                                               "0"
                                             : "BRD KEL520");
    };
    EXPECT_TRUE(board.identifyBoard()) << "a reply hit on the line is no wrong board";
    link.closePort();
    replies = {{"BRD", "BRD KEL620"}};
    EXPECT_EQ(connectBoard(board), 1);
    EXPECT_EQ(link.isPortOpen(), 1);
    EXPECT_EQ(connectBoard(board), 2) << "open already: nothing is sent";
}

}  // namespace
}  // namespace loadstar
