#include "BoardModel.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "FrameBytes.h"

namespace loadstar::emulator {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::readPayload;
using testing::withAddress;
using testing::writePayload;

// The board's reply to one command as text, "<none>" when it does not answer.
std::string ask(BoardModel& board, const Bytes& payload) {
    const auto reply = board.handlePayload(payload);
    return reply ? testing::textOf(*reply) : "<none>";
}
std::string ask(BoardModel& board, const std::string& payload) {
    return ask(board, bytesOf(payload));
}
// The data bytes of a READ FLASH reply.
std::string read(BoardModel& board, int address, int count) {
    return ask(board, readPayload(address, count)).substr(15);
}

TEST(BoardModelTest, AnswersEachCommandInItsReplyFormAndIgnoresMalformedOnes) {
    BoardModel board;
    const std::pair<Bytes, std::string> cases[] = {
        {bytesOf("RST"), "RST OK"},
        {bytesOf("PG 00"), "PG 00"},
        {bytesOf("VM 92"), "VM 92"},
        {bytesOf("BRD"), "BRD KEL520"},
        {readPayload(0x8123, 2), "RRD 8123 02    \xFF\xFF"},
        {readPayload(0x8000, 0), "RRD 8000 00    "},
        {writePayload(0x8010, Bytes(15, 0x00)), "WFP 8010 0F    0F B WRITTEN"},
        {withAddress("EM", 0x8000), "EM 8000 ERASED"},
        {withAddress("EB", 0xC000), "EB C000 ERASED"},
        {withAddress("EB", 0x1000), "EB 1000 NOTHING"}};
    for (const auto& [payload, reply] : cases) {
        EXPECT_EQ(ask(board, payload), reply);
    }
    for (const Bytes& payload :
         {bytesOf("XYZ"), bytesOf("RST "), bytesOf("PG 0g"), bytesOf("PG 1"), bytesOf("BRD?"),
          Bytes{'R', 'R', 'D', 0x80}, Bytes{'W', 'F', 'P', 0x80, 0x00, 3, 1, 2}, Bytes{}}) {
        EXPECT_EQ(ask(board, payload), "<none>") << testing::textOf(payload);
    }
}

TEST(BoardModelTest, MapsMainSectorsByPageAndBootSectorsByAddress) {
    BoardModel board;
    board.flash().sector(FlashBank::main, 3)[0x0123] = 0x33;
    board.flash().sector(FlashBank::main, 3)[0x7FFF] = 0x37;
    board.flash().sector(FlashBank::boot, 2)[0x0010] = 0xB2;
    ask(board, "PG 03");
    EXPECT_EQ(read(board, 0x8123, 1), "\x33");
    EXPECT_EQ(read(board, 0xFFFF, 2), "\x37\xFF") << "past the window";
    EXPECT_EQ(read(board, 0x7FFF, 1), "\xFF") << "below the window";
    for (const char* page : {"PG 02", "PG 08"}) {
        ask(board, page);
        EXPECT_EQ(read(board, 0x8123, 1), "\xFF") << page;
    }
    ask(board, "VM 8C");
    EXPECT_EQ(read(board, 0xC010, 1), "\xB2");
    EXPECT_EQ(read(board, 0xA010, 1), "\xFF");
}

TEST(BoardModelTest, ProgrammingOnlyClearsBitsAndStopsWhereItCannotWrite) {
    BoardModel board;
    ask(board, "VM 92");
    ask(board, "PG 03");
    EXPECT_EQ(ask(board, writePayload(0x8000, {0xF0, 0x0F, 0xAA})).substr(15, 2), "03");
    // 0xAA -> 0xAB needs a 0 -> 1 change: the write stops there and counts what it wrote.
    EXPECT_EQ(ask(board, writePayload(0x8000, {0xE0, 0x0F, 0xAB, 0x00})).substr(15, 2), "02");
    EXPECT_EQ(read(board, 0x8000, 4), "\xE0\x0F\xAA\xFF") << "nothing after the refused byte";
    EXPECT_EQ(board.flash().sector(FlashBank::main, 2)[0], 0xFF) << "other sectors unchanged";
    EXPECT_EQ(ask(board, writePayload(0xFFFE, {1, 2, 3})).substr(15, 2), "02") << "end of flash";
    EXPECT_EQ(ask(board, writePayload(0x7000, {1})).substr(15, 2), "00") << "below the flash";
}

TEST(BoardModelTest, EraseSetsOnlyTheSelectedSectorBackToFF) {
    BoardModel board;
    ASSERT_TRUE(board.flash().setImage(Bytes(FlashMemory::imageSize, 0x00)));
    ask(board, "PG 05");
    ask(board, withAddress("EM", 0x8000));
    ask(board, "VM 8C");
    ask(board, withAddress("EB", 0xA000));         // boot sector 1
    Bytes expected(FlashMemory::imageSize, 0x00);  // main sectors 0..7, then boot sectors 0..3
    std::fill_n(expected.begin() + 5 * 0x8000, 0x8000, 0xFF);
    std::fill_n(expected.begin() + 8 * 0x8000 + 0x2000, 0x2000, 0xFF);
    EXPECT_TRUE(board.flash().image() == expected);
}

TEST(BoardModelTest, DisplayShowsTheSelectionAndACounterAndResetSelectsMainZero) {
    BoardModel board("KEL620");
    EXPECT_EQ(ask(board, "BRD"), "BRD KEL620");
    ask(board, "PG 03");
    EXPECT_EQ(ask(board, "MIR"), "MIR KEL620 main FS3\nticks 1");
    EXPECT_EQ(ask(board, "MIR"), "MIR KEL620 main FS3\nticks 2");
    ask(board, "VM 8C");
    EXPECT_NE(ask(board, "MIR").find("boot"), std::string::npos);
    EXPECT_EQ(ask(board, "RST"), "RST OK");
    EXPECT_EQ(ask(board, "MIR").substr(0, 19), "MIR KEL620 main FS0");
}

}  // namespace
}  // namespace loadstar::emulator
