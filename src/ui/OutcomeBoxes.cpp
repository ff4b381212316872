#include "OutcomeBoxes.h"

#include <array>
#include <cstdio>

namespace loadstar {

namespace {

// What the user is told when a block never read alike.
constexpr char lineTooNoisyText[] =
    "The serial line is too noisy: reading the same flash bytes again and again gave different "
    "data each time. Check the cable and its screening, then try again.";

const char* noReplyText(Command command) {
    switch (command) {
        case Command::setVm:
            return "Error sending SET VM command.";
        case Command::setPage:
            return "Error sending SET PAGE command.";
        case Command::readFlash:
            return "Error sending READ FLASH command.";
        case Command::writeFlash:
            return "Error sending WRITE FLASH command.";
        case Command::eraseSector:
            return "Error sending SECTOR ERASE command.";
        case Command::reset:
            return "Error sending RESET command.";
        case Command::identify:
        case Command::mirror:
        case Command::none:
            break;
    }
    return nullptr;
}

constexpr char uploadSaveErrorCaption[] = "Uploaded data save error";

// `format` holds one "%04X" for a board address.
std::string withAddress(const char* format, int address) {
    std::array<char, 96> text{};
    std::snprintf(text.data(), text.size(), format, static_cast<unsigned>(address));
    return text.data();
}

// What the window's loader says of a file: one box for a file it could not use, a warning for
// bytes past the sector, or the error for a file of nothing but erased bytes.
void addLoadBoxes(const Outcome& outcome, std::vector<OutcomeBox>& boxes) {
    const ImageLoad& load = outcome.file;
    if (outcome.failure.fault == Fault::fileProblem) {
        const bool syntax =
            load.problem == ImageProblem::badRecord || load.problem == ImageProblem::noEndRecord;
        boxes.push_back({syntax ? "Invalid syntax in hex file" : "Error opening file !",
                         "Data load error", MessageIcon::none});
        return;
    }
    if (load.pastSector) {
        const bool raw = load.format == ImageFormat::rawBinary;
        boxes.push_back({std::string("Warning: ") +
                             (raw ? "binary file size" : "hex file address") +
                             " exceeds selected sector size.\n"
                             "Data past the last sector address will be ignored.",
                         "Warning", MessageIcon::warning});
    } else if (outcome.failure.fault == Fault::noData) {
        boxes.push_back(errorBox("File contains no data"));
    }
}

void addSaveBox(const Outcome& outcome, std::vector<OutcomeBox>& boxes) {
    const char* text = nullptr;
    switch (outcome.failure.fault) {
        case Fault::unknownFormat:
            text = "Unknown file type: the name must end in .hex, .bin or .txt. Nothing was saved.";
            break;
        case Fault::cannotCreate:
            text = "Error creating file !";
            break;
        case Fault::cannotWrite:
            text = "Error writing file !";
            break;
        default:
            return;
    }
    boxes.push_back({text, uploadSaveErrorCaption, MessageIcon::none});
}

}  // namespace

std::vector<OutcomeBox> passBoxes(const Outcome& outcome, SectorPass pass) {
    std::vector<OutcomeBox> boxes;
    if (pass == SectorPass::program || pass == SectorPass::verify) {
        addLoadBoxes(outcome, boxes);
    }
    if (outcome.step == Step::saveFile) {
        addSaveBox(outcome, boxes);
    }
    // A difference was found, and would have been shown, before anything that failed after it.
    const bool finds = pass == SectorPass::blankCheck || pass == SectorPass::verify;
    const bool blank = pass == SectorPass::blankCheck;
    if (finds && outcome.firstDifference) {
        boxes.push_back(
            {withAddress(blank ? "Sector is not blank.\nSome data found at address 0x%04X"
                               : "Data do not match at address 0x%04X",
                         *outcome.firstDifference),
             blank ? "Blank check result" : "Verify Error", MessageIcon::none});
    }
    if (const auto box = commandFailureBox(outcome, OutcomeSource::sectorPass)) {
        boxes.push_back(*box);
    }
    if (finds && !outcome.firstDifference && outcome.ok()) {
        boxes.push_back({blank ? "The sector is blank" : "Data Verify OK",
                         blank ? "Blank check result" : "Verify result", MessageIcon::none});
    }
    return boxes;
}

std::string inputProblemText(InputProblem problem) {
    switch (problem) {
        case InputProblem::invalidCount:
            return invalidCountMessage;
        case InputProblem::invalidAddress:
            return "Invalid address field value: not a numeric value.";
        case InputProblem::addressOutOfRange:
            return "Invalid address field value: the address must lie between 0 and FFFF.";
        case InputProblem::invalidOffset:
            return "Offset value is incorrect. Please enter hexadecimal number in format 0x1234.";
        case InputProblem::invalidData:
            return invalidDataMessage;
        case InputProblem::dataTooLong:
            return "Data to write is too long: at most FF (255 in decimal) bytes can be written "
                   "at once.";
        case InputProblem::none:
            break;
    }
    return {};
}

OutcomeBox errorBox(const std::string& text) {
    return {text, "Error", MessageIcon::warning};
}

std::optional<OutcomeBox> commandFailureBox(const Outcome& outcome, OutcomeSource source) {
    const CommandFault& failure = outcome.failure;
    const bool panel = source == OutcomeSource::memoryPanel;
    switch (failure.fault) {
        case Fault::none:
        case Fault::wrongBoard:
        case Fault::noData:
        case Fault::fileProblem:
        case Fault::unknownFormat:
        case Fault::cannotCreate:
        case Fault::cannotWrite:
            return std::nullopt;
        case Fault::bootSectorRange:
            return errorBox("Secondary/boot flash sector can not be > 3.");
        case Fault::tooNoisy:
            return errorBox(lineTooNoisyText);
        case Fault::notWritten:
            if (panel) {
                return errorBox("Error writing data, target memory space probably not blank.");
            }
            return OutcomeBox{"Error writing data. Probably the target sector was not blank.",
                              "Program Sector error", MessageIcon::none};
        case Fault::shortReply:
            // The memory panel's own read names the cut reply; elsewhere it is a failed read.
            if (panel && outcome.step == Step::read) {
                return errorBox(incompleteReadMessage);
            }
            break;
        case Fault::noReply:
            break;
    }
    const char* text = noReplyText(failure.command);
    if (text == nullptr) {
        return std::nullopt;
    }
    return errorBox(text);
}

}  // namespace loadstar
