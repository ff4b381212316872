// Sector passes end to end: the core over a real pseudo-terminal to kel-emulator, and image files
// exchanged with objcopy (binutils) and srec_cat (srecord) in both directions.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "BoardCommands.h"
#include "DumpWriters.h"
#include "EmulatorProcess.h"
#include "FileContents.h"
#include "ProcessFlags.h"
#include "ProgramRunner.h"
#include "RandomBytes.h"
#include "RecordingUserInterface.h"
#include "SectorOperations.h"
#include "SerialLink.h"
#include "TempDir.h"

namespace loadstar {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::contentsOf;

constexpr int bootSize = 0x2000;
constexpr int mainSize = 0x8000;

int bootBase(int sector) {
    return 0x8000 + sector * 0x2000;
}

// An image with a little of everything: random bytes, an erased run inside and erased bytes at
// the end (which a hex image does not count in its loaded length).
Bytes sampleImage(int size, unsigned seed) {
    Bytes bytes = testing::randomBytes(size, seed);
    bytes[0] = 0x4C;  // so an erased sector differs at its first byte
    std::fill(bytes.begin() + 100, bytes.begin() + 400, 0xFF);
    std::fill(bytes.end() - 50, bytes.end(), 0xFF);
    return bytes;
}

std::string asText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// `bytes` as they stand in an erased sector of `size` bytes after programming.
Bytes inSector(Bytes bytes, int size) {
    bytes.resize(static_cast<std::size_t>(size), 0xFF);
    return bytes;
}

void runTool(const std::string& program, const std::vector<std::string>& args) {
    const auto run = testing::runProgram(program, args);
    ASSERT_EQ(run.exitStatus, 0) << program << ": " << run.errors;
}

class SectorRoundTripTest : public ::testing::Test {
  protected:
    void SetUp() override {
        processFlags() = ProcessFlags{};
        ASSERT_TRUE(board.started()) << board.startupError();
        link.setDevicePath(board.devicePath());
        ASSERT_EQ(link.openPort(), 1) << link.lastOpenFailure();
    }

    // Runs a pass and expects `result` and exactly `message` (empty: no message at all).
    void expectPass(int result, int expected, const std::string& message) {
        EXPECT_EQ(result, expected);
        EXPECT_EQ(ui.messageTexts(),
                  message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message});
        ui.messages.clear();
    }
    void expectVerified(int sector, const std::string& file) {
        expectPass(operations.verifySector(1, static_cast<std::uint8_t>(sector), bootBase(sector),
                                           bootSize, file),
                   1, "Data Verify OK");
    }
    std::string upload(std::uint8_t kind, int sector, int base, int size, const std::string& name) {
        ui.saveFileAnswer = folder.file(name);
        expectPass(operations.uploadSector(kind, static_cast<std::uint8_t>(sector), base, size,
                                           segmentName(kind, sector)),
                   1, "");
        return folder.file(name);
    }

    testing::EmulatorProcess board;
    testing::TempDir folder;
    testing::RecordingUserInterface ui;
    SerialLink link{[this](const std::string& text) { showError(ui, text); }};
    BoardCommands commands{link, ui};
    SectorOperations operations{commands};
};

TEST_F(SectorRoundTripTest, UploadProgramAndVerifyInEveryFormat) {
    const Bytes image = sampleImage(2000, 3);
    const Bytes sector = inSector(image, bootSize);
    const std::string source = folder.write("source.bin", asText(image));
    expectPass(operations.blankCheckSector(1, 1, bootBase(1), bootSize), 1, "The sector is blank");
    expectPass(operations.programSector(1, 1, bootBase(1), bootSize, source), 1, "");
    expectVerified(1, source);
    expectPass(operations.blankCheckSector(1, 1, bootBase(1), bootSize), 1,
               "Sector is not blank.\nSome data found at address 0xA000");

    const std::string hex = upload(1, 1, bootBase(1), bootSize, "up.hex");
    const std::string bin = upload(1, 1, bootBase(1), bootSize, "up.bin");
    const std::string txt = upload(1, 1, bootBase(1), bootSize, "up.txt");
    EXPECT_EQ(contentsOf(bin), asText(sector));
    EXPECT_EQ(contentsOf(hex), intelHexDump(sector));
    EXPECT_EQ(contentsOf(txt), textMemoryDump(sector));

    // What was uploaded programs another sector the same, at the same offsets.
    expectPass(operations.programSector(1, 2, bootBase(2), bootSize, hex), 1, "");
    expectPass(operations.programSector(1, 3, bootBase(3), bootSize, bin), 1, "");
    expectVerified(2, source);
    expectVerified(3, bin);
    expectVerified(3, hex);
    expectPass(operations.verifySector(1, 0, bootBase(0), bootSize, hex), 1,
               "Data do not match at address 0x8000");
}

TEST_F(SectorRoundTripTest, ImagesFromObjcopyAndSrecCatProgramAndVerify) {
    const Bytes image = sampleImage(3000, 8);
    const std::string source = folder.write("source.bin", asText(image));
    const std::string fromObjcopy = folder.file("objcopy.hex");
    const std::string fromSrecCat = folder.file("srec_cat.HEX");
    runTool("/usr/bin/objcopy", {"-I", "binary", "-O", "ihex", source, fromObjcopy});
    // Placed at 64 KB: the file starts with an extended linear address record, which the loader
    // skips, so the data still land at their offsets within the sector.
    runTool("/usr/bin/srec_cat",
            {source, "-binary", "-offset", "0x10000", "-o", fromSrecCat, "-intel"});
    ASSERT_NE(contentsOf(fromSrecCat).find(":020000040001F9"), std::string::npos);

    expectPass(operations.programSector(1, 0, bootBase(0), bootSize, fromObjcopy), 1, "");
    expectPass(operations.programSector(0, 4, 0x8000, mainSize, fromSrecCat), 1, "");
    expectVerified(0, source);
    expectVerified(0, fromSrecCat);
    expectPass(operations.verifySector(0, 4, 0x8000, mainSize, fromObjcopy), 1, "Data Verify OK");
    // Nothing past the image was written.
    expectPass(operations.verifySector(0, 3, 0x8000, mainSize, fromObjcopy), 1,
               "Data do not match at address 0x8000");
}

TEST_F(SectorRoundTripTest, UploadedHexReadsBackInObjcopyAndSrecCat) {
    const Bytes image = sampleImage(bootSize, 21);
    const std::string source = folder.write("source.bin", asText(image));
    expectPass(operations.programSector(1, 2, bootBase(2), bootSize, source), 1, "");
    const std::string hex = upload(1, 2, bootBase(2), bootSize, "KEL520_seg(CSBOOT2).hex");
    EXPECT_EQ(ui.proposedNames.back(), "KEL520_seg(CSBOOT2)");

    const std::string viaObjcopy = folder.file("objcopy.bin");
    const std::string viaSrecCat = folder.file("srec_cat.bin");
    runTool("/usr/bin/objcopy", {"-I", "ihex", "-O", "binary", hex, viaObjcopy});
    runTool("/usr/bin/srec_cat", {hex, "-intel", "-o", viaSrecCat, "-binary"});
    EXPECT_EQ(contentsOf(viaObjcopy), asText(image));
    EXPECT_EQ(contentsOf(viaSrecCat), asText(image));
}

TEST_F(SectorRoundTripTest, ABoardThatFallsSilentMidPassFailsItWithTheReadMessage) {
    int rounds = 0;
    ui.onEvents = [&] {
        if (++rounds == 5) {
            board.control("silent on");
        }
    };
    expectPass(operations.blankCheckSector(1, 0, bootBase(0), bootSize), 0,
               "Error sending READ FLASH command.");
    EXPECT_EQ(rounds, 5);
}

}  // namespace
}  // namespace loadstar
