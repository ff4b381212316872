#include "BoardModel.h"

#include <gtest/gtest.h>

#include "FrameBytes.h"

namespace loadstar::emulator {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::frameOf;
using testing::readPayload;
using testing::textOf;
using testing::writePayload;

// Sends one command and returns its reply text, "<none>" when the board does not answer.
std::string ask(BoardModel& board, const Bytes& payload) {
    const auto reply = board.handlePayload(payload);
    return reply ? textOf(*reply) : std::string("<none>");
}
std::string ask(BoardModel& board, const std::string& payload) {
    return ask(board, bytesOf(payload));
}

void selectMain(BoardModel& board, int sector) {
    ASSERT_NE(ask(board, "VM 92"), "<none>");
    ASSERT_NE(ask(board, "PG 0" + std::to_string(sector)), "<none>");
}

void selectBoot(BoardModel& board) {
    ASSERT_NE(ask(board, "VM 8C"), "<none>");
    ASSERT_NE(ask(board, "PG 00"), "<none>");
}

Bytes readData(BoardModel& board, int address, int count) {
    const auto reply = board.handlePayload(readPayload(address, count));
    EXPECT_TRUE(reply.has_value());
    return reply ? Bytes(reply->begin() + 15, reply->end()) : Bytes{};
}

TEST(BoardModelTest, AnswersEachCommandInItsReplyForm) {
    BoardModel board;
    struct Case {
        const char* name;
        Bytes payload;
        std::string reply;
    };
    const Case cases[] = {
        {"reset", bytesOf("RST"), "RST OK"},
        {"set page", bytesOf("PG 00"), "PG 00"},
        {"set vm", bytesOf("VM 92"), "VM 92"},
        {"identification", bytesOf("BRD"), "BRD KEL520"},
        {"read header and data", readPayload(0x8123, 2), "RRD 8123 02    \xFF\xFF"},
        {"read of nothing", readPayload(0x8000, 0), "RRD 8000 00    "},
        {"write", writePayload(0x8000, Bytes(100, 0x00)), "WFP 8000 64    64 B WRITTEN"},
        {"erase main", testing::commandWithAddress("EM", 0x8000), "EM 8000 ERASED"},
        {"erase boot", testing::commandWithAddress("EB", 0xC000), "EB C000 ERASED"},
        {"erase outside the flash window", testing::commandWithAddress("EB", 0x1000),
         "EB 1000 NOTHING"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ask(board, c.payload), c.reply) << c.name;
    }
}

TEST(BoardModelTest, WriteReplyPlacesCountAndTextWhereTheHostLooks) {
    BoardModel board;
    const std::string reply = ask(board, writePayload(0x8010, Bytes(15, 0x5A)));
    ASSERT_EQ(reply.size(), 27u);
    EXPECT_EQ(reply.substr(0, 4), "WFP ");
    EXPECT_EQ(reply.substr(15, 2), "0F");
    EXPECT_EQ(reply.substr(18, 9), "B WRITTEN");
}

TEST(BoardModelTest, IgnoresUnknownAndMalformedCommands) {
    BoardModel board;
    const Bytes cases[] = {
        bytesOf("XYZ"),
        bytesOf("WFT"),
        bytesOf("RST "),   // wrong length
        bytesOf("PG 0g"),  // lower-case digit
        bytesOf("PG 1"),   // one digit
        bytesOf("VM ZZ"),
        bytesOf("BRD?"),
        Bytes{'R', 'R', 'D', 0x80},                 // address cut short
        Bytes{'W', 'F', 'P', 0x80, 0x00, 3, 1, 2},  // count says 3, 2 bytes came
        bytesOf(""),
    };
    for (const auto& payload : cases) {
        EXPECT_EQ(ask(board, payload), "<none>") << textOf(payload);
    }
    EXPECT_EQ(board.vm(), 0x92);
    EXPECT_EQ(board.page(), 0);
}

TEST(BoardModelTest, IdentifiesAsItsModelWithNothingBehind) {
    for (const std::string model : {"KEL520", "KEL620"}) {
        BoardModel board(model);
        EXPECT_EQ(ask(board, "BRD"), "BRD " + model);
    }
}

TEST(BoardModelTest, MapsMainSectorsByPageAndBootSectorsByAddress) {
    BoardModel board;
    for (int sector = 0; sector < FlashMemory::mainSectorCount; ++sector) {
        board.flash().sector(FlashBank::main, sector)[0x0123] = static_cast<std::uint8_t>(sector);
    }
    for (int sector = 0; sector < FlashMemory::bootSectorCount; ++sector) {
        board.flash().sector(FlashBank::boot, sector)[0x0010] =
            static_cast<std::uint8_t>(0xB0 + sector);
    }
    for (int sector = 0; sector < FlashMemory::mainSectorCount; ++sector) {
        selectMain(board, sector);
        EXPECT_EQ(readData(board, 0x8123, 1), Bytes{static_cast<std::uint8_t>(sector)}) << sector;
    }
    selectBoot(board);
    for (int sector = 0; sector < FlashMemory::bootSectorCount; ++sector) {
        EXPECT_EQ(readData(board, 0x8010 + sector * 0x2000, 1),
                  Bytes{static_cast<std::uint8_t>(0xB0 + sector)})
            << sector;
    }
}

TEST(BoardModelTest, ReadsOutsideTheMappedFlashAsErased) {
    BoardModel board;
    auto sector0 = board.flash().sector(FlashBank::main, 0);
    std::fill(sector0.begin(), sector0.end(), std::uint8_t{0});
    selectMain(board, 0);
    EXPECT_EQ(readData(board, 0x7FFE, 4), (Bytes{0xFF, 0xFF, 0x00, 0x00})) << "below the window";
    EXPECT_EQ(readData(board, 0xFFFE, 4), (Bytes{0x00, 0x00, 0xFF, 0xFF})) << "past 0xFFFF";
    ASSERT_NE(ask(board, "PG 08"), "<none>");
    EXPECT_EQ(readData(board, 0x8000, 2), (Bytes{0xFF, 0xFF})) << "main page 8 does not exist";
}

TEST(BoardModelTest, ProgrammingOnlyClearsBitsAndStopsAtAByteThatNeedsAOne) {
    BoardModel board;
    selectMain(board, 3);
    EXPECT_EQ(ask(board, writePayload(0x8000, {0xF0, 0x0F, 0xAA})).substr(15, 2), "03");
    EXPECT_EQ(readData(board, 0x8000, 3), (Bytes{0xF0, 0x0F, 0xAA}));
    // Clearing more bits works; 0xAA -> 0xAB needs a 0 -> 1 change at the third byte.
    const std::string reply = ask(board, writePayload(0x8000, {0xE0, 0x0F, 0xAB, 0x00}));
    EXPECT_EQ(reply.substr(15, 2), "02");
    EXPECT_EQ(reply.substr(18, 9), "B WRITTEN");
    EXPECT_EQ(readData(board, 0x8000, 4), (Bytes{0xE0, 0x0F, 0xAA, 0xFF}))
        << "the bytes after the refused one stay untouched";
    EXPECT_EQ(board.flash().sector(FlashBank::main, 3)[0], 0xE0);
    EXPECT_EQ(board.flash().sector(FlashBank::main, 2)[0], 0xFF) << "other sectors unchanged";
}

TEST(BoardModelTest, WriteStopsAtTheEndOfTheMappedFlash) {
    BoardModel board;
    selectMain(board, 0);
    EXPECT_EQ(ask(board, writePayload(0xFFFE, {1, 2, 3, 4})).substr(15, 2), "02");
    EXPECT_EQ(ask(board, writePayload(0x7000, {1})).substr(15, 2), "00");
}

TEST(BoardModelTest, EraseSetsOnlyTheSelectedSectorBackToFF) {
    BoardModel board;
    for (auto bank : {FlashBank::main, FlashBank::boot}) {
        for (int s = 0; s < FlashMemory::sectorCount(bank); ++s) {
            auto bytes = board.flash().sector(bank, s);
            std::fill(bytes.begin(), bytes.end(), std::uint8_t{0x00});
        }
    }
    selectMain(board, 5);
    ask(board, testing::commandWithAddress("EM", 0x8000));
    selectBoot(board);
    ask(board, testing::commandWithAddress("EB", 0xA000));  // boot sector 1
    for (auto bank : {FlashBank::main, FlashBank::boot}) {
        for (int s = 0; s < FlashMemory::sectorCount(bank); ++s) {
            const bool erased =
                (bank == FlashBank::main && s == 5) || (bank == FlashBank::boot && s == 1);
            const auto bytes = board.flash().sector(bank, s);
            const auto expected = erased ? std::uint8_t{0xFF} : std::uint8_t{0x00};
            EXPECT_EQ(std::count(bytes.begin(), bytes.end(), expected),
                      static_cast<long>(bytes.size()))
                << (bank == FlashBank::main ? "main " : "boot ") << s;
        }
    }
}

TEST(BoardModelTest, DisplayShowsTheSelectionAndACounterThatChanges) {
    BoardModel board("KEL620");
    selectMain(board, 3);
    EXPECT_EQ(ask(board, "MIR"), "MIR KEL620 main FS3\nticks 1");
    EXPECT_EQ(ask(board, "MIR"), "MIR KEL620 main FS3\nticks 2");
    selectBoot(board);
    const std::string boot = ask(board, "MIR");
    EXPECT_NE(boot.find("boot"), std::string::npos);
    EXPECT_LT(boot.size(), 100u);
}

TEST(BoardModelTest, ResetSelectsMainSectorZeroAgain) {
    BoardModel board;
    selectBoot(board);
    EXPECT_EQ(ask(board, "RST"), "RST OK");
    EXPECT_EQ(board.vm(), 0x92);
    EXPECT_EQ(board.page(), 0);
}

TEST(BoardModelTest, RecordsThePayloadsOfValidFramesOnly) {
    BoardModel board;
    Bytes broken = frameOf("MIR");
    broken.back() ^= 1;
    Bytes line = frameOf("VM 92");
    for (const auto& part :
         {frameOf("PG 01"), broken, frameOf("XYZ"), frameOf(readPayload(0x8000, 4))}) {
        line.insert(line.end(), part.begin(), part.end());
    }
    const auto replies = board.receive(line);
    EXPECT_EQ(replies.size(), 3u) << "VM, PG and RRD are answered; XYZ is not";
    ASSERT_EQ(board.payloads().size(), 4u);
    EXPECT_EQ(board.payloads()[2], bytesOf("XYZ"));
    EXPECT_EQ(board.countOf("PG "), 1);
    EXPECT_EQ(board.countOf("RRD"), 1);
    EXPECT_EQ(board.countOf("MIR"), 0);
    EXPECT_EQ(board.rejectedFrames(), 1);
    board.clearPayloads();
    EXPECT_TRUE(board.payloads().empty());
}

}  // namespace
}  // namespace loadstar::emulator
