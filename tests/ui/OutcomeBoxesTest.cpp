#include "ui/OutcomeBoxes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace loadstar {
namespace {

Outcome failed(Step step, Command command, Fault fault) {
    Outcome outcome;
    outcome.step = step;
    outcome.failure = {command, fault};
    return outcome;
}

Outcome loaded(Fault fault, ImageProblem problem = ImageProblem::none, bool pastSector = false,
               ImageFormat format = ImageFormat::intelHex) {
    Outcome outcome;
    if (fault != Fault::none) {
        outcome.step = Step::loadFile;
        outcome.failure = {Command::none, fault};
    }
    outcome.file.problem = problem;
    outcome.file.pastSector = pastSector;
    outcome.file.format = format;
    return outcome;
}

Outcome found(std::optional<int> firstDifference, bool cancelled = false) {
    Outcome outcome;
    outcome.firstDifference = firstDifference;
    outcome.differences = firstDifference ? 1 : 0;
    outcome.cancelled = cancelled;
    return outcome;
}

// Every box the window shows for a sector pass's outcome, in order, with caption and icon; error
// boxes are caption "Error" with the warning icon.
TEST(OutcomeBoxes, EachOutcomeShowsTheWindowsBoxes) {
    const auto error = [](const char* text) { return errorBox(text); };
    const OutcomeBox hexWarning{
        "Warning: hex file address exceeds selected sector size.\n"
        "Data past the last sector address will be ignored.",
        "Warning", MessageIcon::warning};
    const OutcomeBox binaryWarning{
        "Warning: binary file size exceeds selected sector size.\n"
        "Data past the last sector address will be ignored.",
        "Warning", MessageIcon::warning};
    const OutcomeBox notBlank{"Error writing data. Probably the target sector was not blank.",
                              "Program Sector error", MessageIcon::none};
    Outcome differentThenFailed = failed(Step::read, Command::readFlash, Fault::noReply);
    differentThenFailed.firstDifference = 0x8063;
    Outcome warnedAndFound = found(0xE002);
    warnedAndFound.file.pastSector = true;
    const struct {
        const char* name;
        Outcome outcome;
        SectorPass pass;
        std::vector<OutcomeBox> boxes;
    } cases[] = {
        {"blank",
         found(std::nullopt),
         SectorPass::blankCheck,
         {{"The sector is blank", "Blank check result", MessageIcon::none}}},
        {"not blank",
         found(0x9234),
         SectorPass::blankCheck,
         {{"Sector is not blank.\nSome data found at address 0x9234", "Blank check result",
           MessageIcon::none}}},
        {"cancelled", found(std::nullopt, true), SectorPass::blankCheck, {}},
        {"verified",
         found(std::nullopt),
         SectorPass::verify,
         {{"Data Verify OK", "Verify result", MessageIcon::none}}},
        {"different after a warning",
         warnedAndFound,
         SectorPass::verify,
         {hexWarning, {"Data do not match at address 0xE002", "Verify Error", MessageIcon::none}}},
        {"SET VM",
         failed(Step::select, Command::setVm, Fault::noReply),
         SectorPass::verify,
         {error("Error sending SET VM command.")}},
        {"SET PAGE",
         failed(Step::select, Command::setPage, Fault::noReply),
         SectorPass::upload,
         {error("Error sending SET PAGE command.")}},
        {"boot sector",
         failed(Step::select, Command::setVm, Fault::bootSectorRange),
         SectorPass::blankCheck,
         {error("Secondary/boot flash sector can not be > 3.")}},
        {"short read",
         failed(Step::read, Command::readFlash, Fault::shortReply),
         SectorPass::blankCheck,
         {error("Error sending READ FLASH command.")}},
        {"noise",
         failed(Step::read, Command::readFlash, Fault::tooNoisy),
         SectorPass::upload,
         {error("The serial line is too noisy: reading the same flash bytes again and again gave "
                "different data each time. Check the cable and its screening, then try again.")}},
        {"write",
         failed(Step::write, Command::writeFlash, Fault::noReply),
         SectorPass::program,
         {error("Error sending WRITE FLASH command.")}},
        {"not written",
         failed(Step::write, Command::writeFlash, Fault::notWritten),
         SectorPass::program,
         {notBlank}},
        {"read-back",
         failed(Step::write, Command::readFlash, Fault::noReply),
         SectorPass::program,
         {error("Error sending READ FLASH command.")}},
        {"cannot open",
         loaded(Fault::fileProblem, ImageProblem::cannotOpen),
         SectorPass::program,
         {{"Error opening file !", "Data load error", MessageIcon::none}}},
        {"bad record",
         loaded(Fault::fileProblem, ImageProblem::badRecord),
         SectorPass::verify,
         {{"Invalid syntax in hex file", "Data load error", MessageIcon::none}}},
        {"no end record",
         loaded(Fault::fileProblem, ImageProblem::noEndRecord),
         SectorPass::program,
         {{"Invalid syntax in hex file", "Data load error", MessageIcon::none}}},
        {"no data", loaded(Fault::noData), SectorPass::program, {error("File contains no data")}},
        {"no data past the sector",
         loaded(Fault::noData, ImageProblem::none, true),
         SectorPass::program,
         {hexWarning}},
        {"raw past the sector",
         loaded(Fault::none, ImageProblem::none, true, ImageFormat::rawBinary),
         SectorPass::program,
         {binaryWarning}},
        {"unknown format",
         failed(Step::saveFile, Command::none, Fault::unknownFormat),
         SectorPass::upload,
         {{"Unknown file type: the name must end in .hex, .bin or .txt. Nothing was saved.",
           "Uploaded data save error", MessageIcon::none}}},
        {"cannot create",
         failed(Step::saveFile, Command::none, Fault::cannotCreate),
         SectorPass::upload,
         {{"Error creating file !", "Uploaded data save error", MessageIcon::none}}},
        {"cannot write",
         failed(Step::saveFile, Command::none, Fault::cannotWrite),
         SectorPass::upload,
         {{"Error writing file !", "Uploaded data save error", MessageIcon::none}}},
        {"save dismissed",
         failed(Step::saveFile, Command::none, Fault::none),
         SectorPass::upload,
         {}},
        {"a read failing after a difference",
         differentThenFailed,
         SectorPass::verify,
         {{"Data do not match at address 0x8063", "Verify Error", MessageIcon::none},
          error("Error sending READ FLASH command.")}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(passBoxes(c.outcome, c.pass), c.boxes) << c.name;
    }
    EXPECT_TRUE(errorBox("x").isError());
    EXPECT_EQ(errorBox("x").icon, MessageIcon::warning);
}

// The memory panel words a failed write and a short read its own way, and refuses its fields.
TEST(OutcomeBoxes, TheMemoryPanelNamesItsOwnFailures) {
    const struct {
        Outcome outcome;
        std::optional<OutcomeBox> box;
    } cases[] = {
        {failed(Step::write, Command::writeFlash, Fault::notWritten),
         errorBox("Error writing data, target memory space probably not blank.")},
        {failed(Step::read, Command::readFlash, Fault::shortReply),
         errorBox("Incomplete reply to READ FLASH command.")},
        {failed(Step::write, Command::readFlash, Fault::shortReply),
         errorBox("Error sending READ FLASH command.")},
        {failed(Step::erase, Command::eraseSector, Fault::noReply),
         errorBox("Error sending SECTOR ERASE command.")},
        {failed(Step::reset, Command::reset, Fault::noReply),
         errorBox("Error sending RESET command.")},
        {Outcome{}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(commandFailureBox(c.outcome, OutcomeSource::memoryPanel), c.box)
            << (c.box ? c.box->text : "none");
    }
    const std::pair<InputProblem, const char*> fields[] = {
        {InputProblem::invalidCount,
         "Invalid byte count field value (maximum count allowed is F0 (240 in decimal), input is "
         "HEXADECIMAL number)."},
        {InputProblem::invalidAddress, "Invalid address field value: not a numeric value."},
        {InputProblem::addressOutOfRange,
         "Invalid address field value: the address must lie between 0 and FFFF."},
        {InputProblem::invalidOffset,
         "Offset value is incorrect. Please enter hexadecimal number in format 0x1234."},
        {InputProblem::invalidData, "Data to write is invalid."},
        {InputProblem::dataTooLong,
         "Data to write is too long: at most FF (255 in decimal) bytes can be written at once."},
        {InputProblem::none, ""},
    };
    for (const auto& [problem, text] : fields) {
        EXPECT_EQ(inputProblemText(problem), text);
    }
}

}  // namespace
}  // namespace loadstar
