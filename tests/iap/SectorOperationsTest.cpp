#include "SectorOperations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "EmulatedBoard.h"
#include "HexRecords.h"
#include "ScriptedPort.h"
#include "TempDir.h"

namespace loadstar {
namespace {

using testing::countingBytes;
using testing::dataRecord;
using testing::endRecord;
using testing::hexFile;

constexpr int mainSize = 0x8000;
constexpr int bootSize = 0x2000;

class SectorOperationsTest : public testing::EmulatedBoard {
  protected:
    std::string image(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        return folder.write(name, std::string(bytes.begin(), bytes.end()));
    }
    testing::TempDir folder;
};

TEST_F(SectorOperationsTest, BlankMainSectorTakes136ReadsAndSaysSo) {
    EXPECT_EQ(operations.blankCheckSector(0, 3, 0x8000, mainSize), 1);
    const auto reads = payloadsOf("RRD");
    ASSERT_EQ(reads.size(), 136u);
    for (std::size_t i = 0; i < reads.size(); ++i) {
        EXPECT_EQ(addressOf(reads[i]), 0x8000 + static_cast<int>(i) * 241);
        EXPECT_EQ(reads[i][5], i + 1 < reads.size() ? 241 : 233);
    }
    const auto names = commandNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[0], "VM 92");
    EXPECT_EQ(names[1], "PG 03");
    ASSERT_EQ(ui.statusTexts.size(), 136u);
    EXPECT_EQ(ui.statusTexts.front(), "Reading flash, 32527 bytes remaining.");
    EXPECT_EQ(ui.statusTexts.back(), "Reading flash, 0 bytes remaining.");
    EXPECT_EQ(ui.eventRounds, 136);
    EXPECT_FALSE(operations.firstDifferenceAddress());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "The sector is blank");
    EXPECT_EQ(ui.messages[0].caption, "Blank check result");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::none);
}

TEST_F(SectorOperationsTest, BlankCheckNamesTheFirstUsedByteAndReadsNoFurther) {
    const struct {
        std::uint8_t kind;
        std::uint8_t sector;
        int offset;
        const char* message;
        std::size_t reads;
        int address;
    } cases[] = {
        {1, 2, 0, "Sector is not blank.\nSome data found at address 0xC000", 1, 0xC000},
        {0, 5, 0x1234, "Sector is not blank.\nSome data found at address 0x9234", 0x1234 / 241 + 1,
         0x9234},
        {1, 3, bootSize - 1, "Sector is not blank.\nSome data found at address 0xFFFF", 34, 0xFFFF},
    };
    for (const auto& c : cases) {
        auto sector = c.kind == 0 ? mainSector(c.sector) : bootSector(c.sector);
        const auto first = static_cast<std::size_t>(c.offset);
        std::fill(sector.begin() + static_cast<std::ptrdiff_t>(first),
                  sector.begin() + static_cast<std::ptrdiff_t>(std::min(first + 3, sector.size())),
                  std::uint8_t{0x00});
        board.clearPayloads();
        ui.messages.clear();
        const int base = c.kind == 0 ? 0x8000 : 0x8000 + c.sector * 0x2000;
        const int size = c.kind == 0 ? mainSize : bootSize;
        EXPECT_EQ(operations.blankCheckSector(c.kind, c.sector, base, size), 1) << c.message;
        EXPECT_EQ(payloadsOf("RRD").size(), c.reads) << c.message;
        EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{c.message});
        EXPECT_EQ(ui.messages.at(0).caption, "Blank check result");
        EXPECT_EQ(operations.firstDifferenceAddress(), c.address);
    }
}

TEST_F(SectorOperationsTest, CancelStopsEachPassBeforeItsNextBlockWithoutAResultBox) {
    const std::string file = image("image.bin", std::vector<std::uint8_t>(2000, 0x5A));
    const std::string erased = image("erased.bin", std::vector<std::uint8_t>(2000, 0xFF));
    const struct {
        const char* what;
        std::function<int()> pass;
        const char* command;
    } cases[] = {
        {"blank check", [&] { return operations.blankCheckSector(1, 0, 0x8000, bootSize); }, "RRD"},
        {"program", [&] { return operations.programSector(1, 1, 0xA000, bootSize, file); }, "WFP"},
        {"verify", [&] { return operations.verifySector(1, 2, 0xC000, bootSize, erased); }, "RRD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        processFlags().cancelRequested = true;  // left from an earlier pass: cleared at the start
        ui.messages.clear();
        ui.eventRounds = 0;
        ui.onEvents = [&] {
            if (ui.eventRounds == 3) {
                processFlags().cancelRequested = true;  // ESC
            }
        };
        board.clearPayloads();
        EXPECT_EQ(c.pass(), -1);
        EXPECT_EQ(payloadsOf(c.command).size(), 3u);
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_TRUE(processFlags().cancelRequested);  // stays set until the next pass clears it
    }
}

TEST_F(SectorOperationsTest, ProgrammingA1001ByteImageSendsElevenWrites) {
    const auto bytes = countingBytes(1001, 3);
    EXPECT_EQ(operations.programSector(0, 6, 0x8000, mainSize, image("image.bin", bytes)), 1);
    const auto writes = payloadsOf("WFP");
    ASSERT_EQ(writes.size(), 11u);
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const int count = i + 1 < writes.size() ? 100 : 1;
        EXPECT_EQ(addressOf(writes[i]), 0x8000 + static_cast<int>(i) * 100);
        EXPECT_EQ(writes[i][5], count);
        EXPECT_EQ(writes[i].size(), 6u + static_cast<std::size_t>(count));
    }
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), mainSector(6).begin()));
    EXPECT_EQ(mainSector(6)[1001], 0xFF);
    EXPECT_EQ(commandNames().at(1), "PG 06");
    EXPECT_EQ(ui.statusTexts.front(), "Programming flash, 901 bytes remaining.");
    EXPECT_EQ(ui.statusTexts.back(), "Programming flash, 0 bytes remaining.");
    EXPECT_EQ(ui.eventRounds, 11);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SectorOperationsTest, ProgramWritesErasedBlocksToo) {
    std::vector<std::uint8_t> bytes(300, 0xFF);
    bytes[299] = 0x01;
    EXPECT_EQ(operations.programSector(1, 0, 0x8000, bootSize, image("gap.bin", bytes)), 1);
    EXPECT_EQ(payloadsOf("WFP").size(), 3u);
    EXPECT_EQ(bootSector(0)[299], 0x01);
}

TEST_F(SectorOperationsTest, AWriteThatStopsShortEndsProgrammingWithItsMessage) {
    mainSector(0)[250] = 0x00;  // the image's 0x01 there needs a bit to go from 0 to 1
    const auto bytes = std::vector<std::uint8_t>(400, 0x01);
    EXPECT_EQ(operations.programSector(0, 0, 0x8000, mainSize, image("image.bin", bytes)), 0);
    EXPECT_EQ(payloadsOf("WFP").size(), 3u);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Error writing data. Probably the target sector was not blank.");
    EXPECT_EQ(ui.messages[0].caption, "Program Sector error");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::none);
    EXPECT_EQ(mainSector(0)[199], 0x01);  // blocks before it stay written
    EXPECT_EQ(mainSector(0)[300], 0xFF);
}

TEST_F(SectorOperationsTest, ProgramAndVerifyFailWhenTheImageBringsNothing) {
    const std::string other = image("image.dat", {1, 2, 3});
    const std::string noEnd = folder.write("broken.hex", hexFile({dataRecord(0, {1})}));
    const std::string onlyEnd = folder.write("empty.hex", hexFile({endRecord}));
    const struct {
        std::string file;
        const char* message;
    } cases[] = {
        {folder.file("missing.hex"), "Error opening file !"},
        {noEnd, "Invalid syntax in hex file"},
        {onlyEnd, "File contains no data"},
        {other, "File contains no data"},
    };
    for (const auto& c : cases) {
        for (const bool program : {true, false}) {
            SCOPED_TRACE(c.file);
            ui.messages.clear();
            board.clearPayloads();
            const int result = program ? operations.programSector(1, 0, 0x8000, bootSize, c.file)
                                       : operations.verifySector(1, 0, 0x8000, bootSize, c.file);
            EXPECT_EQ(result, 0);
            EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{c.message});
            EXPECT_EQ(commandNames(), (std::vector<std::string>{"VM 8C", "PG 00"}));
        }
    }
}

TEST_F(SectorOperationsTest, AnErasedImageProgramsNothing) {
    const std::string erased = image("erased.bin", std::vector<std::uint8_t>(64, 0xFF));
    const std::string hex = folder.write(
        "erased.hex", hexFile({dataRecord(0, std::vector<std::uint8_t>(16, 0xFF)), endRecord}));
    EXPECT_EQ(operations.programSector(1, 0, 0x8000, bootSize, hex), 0);
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"File contains no data"});
    EXPECT_TRUE(payloadsOf("WFP").empty());
    // A raw file of 0xFF bytes has a length: it is written as it is.
    EXPECT_EQ(operations.programSector(1, 0, 0x8000, bootSize, erased), 1);
    EXPECT_EQ(payloadsOf("WFP").size(), 1u);
}

TEST_F(SectorOperationsTest, VerifyNamesTheFirstDifferenceAndStillCompletes) {
    auto bytes = countingBytes(600, 0x20);
    std::copy(bytes.begin(), bytes.end(), mainSector(2).begin());
    bytes[2] ^= 0x01;
    bytes[500] ^= 0x01;
    EXPECT_EQ(operations.verifySector(0, 2, 0x8000, mainSize, image("image.bin", bytes)), 1);
    EXPECT_EQ(payloadsOf("RRD").size(), 1u);
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Data do not match at address 0x8002"});
    EXPECT_EQ(operations.firstDifferenceAddress(), 0x8002);
    EXPECT_EQ(ui.messages.at(0).caption, "Verify Error");
    EXPECT_EQ(ui.messages.at(0).icon, MessageIcon::none);
}

TEST_F(SectorOperationsTest, VerifyReadsOnlyTheLoadedLength) {
    const auto bytes = countingBytes(500, 1);
    std::copy(bytes.begin(), bytes.end(), bootSector(3).begin());
    bootSector(3)[1000] = 0x00;  // past the image: never compared
    EXPECT_EQ(operations.verifySector(1, 3, 0xE000, bootSize, image("image.bin", bytes)), 1);
    const auto reads = payloadsOf("RRD");
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(addressOf(reads[2]), 0xE000 + 482);
    EXPECT_EQ(reads[2][5], 18);
    EXPECT_EQ(ui.statusTexts.back(), "Reading flash, 0 bytes remaining.");
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Data Verify OK"});
    EXPECT_EQ(ui.messages.at(0).caption, "Verify result");
    EXPECT_FALSE(operations.firstDifferenceAddress());
}

TEST_F(SectorOperationsTest, VerifyOfAHexImageComparesGapsAsErased) {
    folder.write("gap.hex", hexFile({dataRecord(0, {1}), dataRecord(0x20, {2}), endRecord}));
    bootSector(0)[0] = 1;
    bootSector(0)[0x20] = 2;
    EXPECT_EQ(operations.verifySector(1, 0, 0x8000, bootSize, folder.file("gap.hex")), 1);
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Data Verify OK"});
    bootSector(0)[0x10] = 0x7F;
    ui.messages.clear();
    EXPECT_EQ(operations.verifySector(1, 0, 0x8000, bootSize, folder.file("gap.hex")), 1);
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Data do not match at address 0x8010"});
}

TEST_F(SectorOperationsTest, AFailedSelectionEndsEveryPassBeforeAnythingIsSent) {
    const std::string file = image("image.bin", {1, 2, 3});
    const std::function<int()> passes[] = {
        [&] { return operations.blankCheckSector(1, 4, 0x10000, bootSize); },
        [&] { return operations.programSector(1, 4, 0x10000, bootSize, file); },
        [&] { return operations.verifySector(1, 4, 0x10000, bootSize, file); },
        [&] { return operations.uploadSector(1, 4, 0x10000, bootSize, "CSBOOT4"); },
    };
    for (const auto& pass : passes) {
        ui.messages.clear();
        EXPECT_EQ(pass(), 0);
        EXPECT_EQ(ui.messageTexts(),
                  std::vector<std::string>{"Secondary/boot flash sector can not be > 3."});
        EXPECT_TRUE(board.payloads().empty());
        EXPECT_TRUE(ui.proposedNames.empty());
    }
}

TEST_F(SectorOperationsTest, ABoardThatFallsSilentFailsThePassWithTheCommandsMessage) {
    const std::string file = image("image.bin", countingBytes(300));
    const struct {
        const char* command;
        std::function<int()> pass;
        const char* message;
    } cases[] = {
        {"RRD", [&] { return operations.blankCheckSector(0, 1, 0x8000, mainSize); },
         "Error sending READ FLASH command."},
        {"WFP", [&] { return operations.programSector(0, 1, 0x8000, mainSize, file); },
         "Error sending WRITE FLASH command."},
        {"RRD", [&] { return operations.verifySector(0, 1, 0x8000, mainSize, file); },
         "Error sending READ FLASH command."},
        {"RRD", [&] { return operations.uploadSector(0, 1, 0x8000, mainSize, "FS1"); },
         "Error sending READ FLASH command."},
        {"VM", [&] { return operations.blankCheckSector(0, 1, 0x8000, mainSize); },
         "Error sending SET VM command."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        board.setFaults({});
        silenceAt(c.command);
        ui.messages.clear();
        ui.saveFileAnswer = folder.file("never.hex");
        EXPECT_EQ(c.pass(), 0);
        EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{c.message});
        EXPECT_TRUE(ui.proposedNames.empty());
    }
    EXPECT_EQ(folder.fileCount(), 1);  // only image.bin
}

// Replies from a script, for what the emulated board never does.
class ScriptedBoardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        processFlags() = ProcessFlags{};
        ASSERT_EQ(link.openPort(), 1);
    }
    testing::RecordingUserInterface ui;
    testing::ScriptedPort* port = nullptr;
    SerialLink link{[this](const std::string& text) { showError(ui, text); },
                    [this] {
                        auto made = std::make_unique<testing::ScriptedPort>();
                        port = made.get();
                        return made;
                    }};
    BoardCommands commands{link, ui};
    SectorOperations operations{commands};
};

TEST_F(ScriptedBoardTest, WriteRepliesAreCheckedForTheirCountAndText) {
    const struct {
        const char* reply;
        int result;
    } cases[] = {
        {"WFP 8000 03    03 B WRITTEN", 1},
        {"WFP 8000 03    3  B WRITTEN", 1},  // one digit scans as the number
        {"WFP 8000 03    02 B WRITTEN", 0},  // fewer bytes written than sent
        {"WFP 8000 03    03 B WRITTE", 0},   // cut short
        {"WFP 8000 03    03 b written", 0},
        {"WFP 8000 03    zz B WRITTEN", 0},  // no digits: 0 bytes
    };
    testing::TempDir folder;
    const std::string file = folder.write("three.bin", "abc");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        port->answer = [&](const std::vector<std::uint8_t>& frame) {
            return frame.at(4) == 'W' ? testing::replyNow(c.reply) : testing::replyNow("VM 92");
        };
        ui.messages.clear();
        EXPECT_EQ(operations.programSector(0, 0, 0x8000, 0x8000, file), c.result);
        EXPECT_EQ(ui.messages.size(), c.result == 1 ? 0u : 1u);
    }
}

TEST_F(ScriptedBoardTest, AReadReplyTooShortForItsBytesIsAFailedRead) {
    // The second reply stops after 100 of its 241 bytes: what is missing must not be taken from
    // the first reply, which would let Verify pass on bytes the board never sent.
    int reads = 0;
    port->answer = [&](const std::vector<std::uint8_t>& frame) {
        if (frame.at(4) != 'R') {
            return testing::replyNow("PG 00");
        }
        const int count = ++reads == 2 ? 100 : frame.at(9);
        return testing::replyNow("RRD 8000 F1    " +
                                 std::string(static_cast<std::size_t>(count), '\x00'));
    };
    testing::TempDir folder;
    const std::string file = folder.write("zeros.bin", std::string(600, '\x00'));
    EXPECT_EQ(operations.verifySector(1, 0, 0x8000, 0x2000, file), 0);
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Error sending READ FLASH command."});
    EXPECT_EQ(reads, 2);
}

}  // namespace
}  // namespace loadstar
