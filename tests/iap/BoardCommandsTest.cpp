#include "iap/BoardCommands.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "iap/Connection.h"
#include "support/ScriptedPort.h"

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

    std::vector<std::pair<std::string, std::string>> replies;
    ScriptedPort* port = nullptr;
    SerialLink link{nullptr, [this] {
                        auto made = std::make_unique<ScriptedPort>();
                        port = made.get();
                        port->answer = [this](const auto& frame) { return answer(frame); };
                        return made;
                    }};
    BoardCommands board{link};
};

TEST_F(BoardCommandsTest, PayloadsOfSelectEraseAndReset) {
    const struct {
        std::function<Outcome()> command;
        Texts sent;
        BoardHolds holds;
    } cases[] = {
        {[&] { return board.selectFlash(0, 7); }, {"VM 92", "PG 07"}, BoardHolds::untouched},
        {[&] { return board.selectFlash(1, 3); }, {"VM 8C", "PG 00"}, BoardHolds::untouched},
        {[&] { return board.eraseSector(0, 2, 0x8000); },
         {"VM 92", "PG 02", {"EM\x80\0", 4}},
         BoardHolds::erased},
        {[&] { return board.eraseSector(1, 2, 0xC000); },
         {"VM 8C", "PG 00", {"EB\xC0\0", 4}},
         BoardHolds::erased},
        {[&] { return board.resetBoard(); }, {"RST"}, BoardHolds::untouched},
    };
    for (const auto& c : cases) {
        port->frames.clear();
        const Outcome outcome = c.command();
        EXPECT_TRUE(outcome.ok()) << c.sent.back();
        EXPECT_EQ(outcome.holds, c.holds) << c.sent.back();
        EXPECT_EQ(payloads(), c.sent);
    }
}

// Each failure names its step, the board command and why, and what the board holds.
TEST_F(BoardCommandsTest, EachFailureNamesItsStepAndCommand) {
    std::vector<std::uint8_t> bytes;
    const std::uint8_t data[] = {0x12};
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> replies;
        std::function<Outcome()> command;
        Step step;
        CommandFault failure;
        Texts sent;  // empty: not checked
    } cases[] = {
        {"boot sector above 3",
         {},
         [&] { return board.selectFlash(1, 4); },
         Step::select,
         {Command::setVm, Fault::bootSectorRange},
         {}},
        {"silent SET VM",
         {{"", ""}},
         [&] { return board.selectFlash(0, 2); },
         Step::select,
         {Command::setVm, Fault::noReply},
         Texts(11, "VM 92")},
        {"silent SET PAGE",
         {{"PG", ""}},
         [&] { return board.selectFlash(0, 2); },
         Step::select,
         {Command::setPage, Fault::noReply},
         {}},
        {"silent RESET",
         {{"", ""}},
         [&] { return board.resetBoard(); },
         Step::reset,
         {Command::reset, Fault::noReply},
         {}},
        {"silent READ FLASH",
         {{"", ""}},
         [&] { return board.readFlash(0x8000, 1, bytes); },
         Step::read,
         {Command::readFlash, Fault::noReply},
         {}},
        {"silent WRITE FLASH",
         {{"", ""}},
         [&] { return board.writeFlash(0x8000, data); },
         Step::write,
         {Command::writeFlash, Fault::noReply},
         {}},
        {"silent erase",
         {{"E", ""}},
         [&] { return board.eraseSector(0, 1, 0x8000); },
         Step::erase,
         {Command::eraseSector, Fault::noReply},
         {}},
    };
    for (const auto& c : cases) {
        replies = c.replies;
        port->frames.clear();
        const Outcome outcome = c.command();
        EXPECT_EQ(outcome.step, c.step) << c.name;
        EXPECT_EQ(outcome.failure, c.failure) << c.name;
        if (!c.sent.empty()) {
            EXPECT_EQ(payloads(), c.sent) << c.name << ": ten retries, nothing after a failure";
        }
        if (c.failure.fault == Fault::bootSectorRange) {
            EXPECT_TRUE(port->frames.empty()) << "refused before sending";
        }
        EXPECT_EQ(outcome.holds,
                  c.step == Step::erase ? BoardHolds::partlyErased : BoardHolds::untouched)
            << c.name;
    }
}

// A reply hit on the line does not fail a write the flash holds; only a real difference does. A
// read whose reply is too short for its count fails, whatever bytes the reply held.
TEST_F(BoardCommandsTest, AWriteTheReplyDoesNotConfirmIsReadBack) {
    const std::uint8_t data[] = {0x12, 0x34};
    const std::string header = "RRD 8000 02    ";
    const struct {
        std::string writeReply;
        std::string flash;  // what READ FLASH finds
        CommandFault failure;
    } cases[] = {
        {"WFP 8000 02    02 B WRITTEN", "", {}},
        {"WFP 8000 02    0\xB2 B WRITTEN", header + "\x12\x34", {}},
        {"WFP 8000 02    01 B WRITTEN",
         header + "\x12\xFF",
         {Command::writeFlash, Fault::notWritten}},
    };
    for (const auto& c : cases) {
        replies = {{"WFP", c.writeReply}, {"RRD", c.flash}};
        port->frames.clear();
        const Outcome outcome = board.writeFlash(0x8000, data);
        EXPECT_EQ(outcome.failure, c.failure) << c.writeReply;
        EXPECT_EQ(outcome.address, c.failure.ok() ? std::nullopt : std::optional<int>(0x8000));
        // Two bytes read back as a pass of their own: six reads give the lead of 6 they need.
        EXPECT_EQ(port->frames.size(), c.flash.empty() ? 1u : 7u) << "read back until agreed";
    }
    replies = {{"RRD", header + "\x12"}};
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(board.readFlash(0x8000, 2, bytes).failure,
              (CommandFault{Command::readFlash, Fault::shortReply}));
    EXPECT_TRUE(bytes.empty());
    replies = {{"RRD", header + "\x12\x34"}};
    EXPECT_TRUE(board.readFlash(0x8000, 2, bytes).ok());
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x12, 0x34}));
}

TEST_F(BoardCommandsTest, ConnectRefusesAWrongBoardAndClosesThePort) {
    link.closePort();
    replies = {{"BRD", "BRD KEL520\r"}};
    EXPECT_EQ(connectBoard(board), ConnectResult::notIdentified);
    EXPECT_EQ(link.isPortOpen(), 0);
    EXPECT_EQ(payloads(), Texts(3, "BRD")) << "asked three times: a reply may have been hit";
    ASSERT_EQ(link.openPort(), 1);
    int asks = 0;
    port->answer = [&asks](const auto&) {
        return testing::replyNow(++asks == 1 ? "BRD KEL5\xB2"
                                               "0"
                                             : "BRD KEL520");
    };
    EXPECT_TRUE(board.identifyBoard().ok()) << "a reply hit on the line is no wrong board";
    link.closePort();
    replies = {{"BRD", "BRD KEL620"}};
    EXPECT_EQ(connectBoard(board), ConnectResult::connected);
    EXPECT_EQ(link.isPortOpen(), 1);
    EXPECT_EQ(connectBoard(board), ConnectResult::alreadyOpen) << "open already: nothing is sent";
}

// A board is named by its reply as a text: any character at offset 7, a zero too, and nothing
// after the name but the text's end.
TEST(ReplyIdentifiesBoard, TakesExactlyTheNameWithAnyCharacterAtOffset7) {
    const std::pair<std::string, bool> cases[] = {
        {"BRD KEL520", true},
        {std::string("BRD KEL\0"
                     "20",
                     10),
         true},
        {std::string("BRD KEL620\0junk", 15), true},
        {"BRD KEL5201", false},
        {"BRD KEL52", false},
        {"BRD KAL520", false},
    };
    for (const auto& [reply, named] : cases) {
        const auto bytes = testing::bytesOf(reply);
        EXPECT_EQ(replyIdentifiesBoard(bytes), named) << ::testing::PrintToString(reply);
    }
}

}  // namespace
}  // namespace loadstar
