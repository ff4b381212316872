#include "OutcomeMessages.h"

#include <array>
#include <cstdio>

namespace loadstar::cli {

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

OutcomeMessage error(const char* text) {
    return {text, "Error"};
}

}  // namespace

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

std::optional<OutcomeMessage> commandFailureMessage(const Outcome& outcome, OutcomeSource source) {
    const bool memory = source == OutcomeSource::memoryCommand;
    switch (outcome.failure.fault) {
        case Fault::none:
        case Fault::wrongBoard:
        case Fault::noData:
        case Fault::fileProblem:
        case Fault::unknownFormat:
        case Fault::cannotCreate:
        case Fault::cannotWrite:
            return std::nullopt;
        case Fault::bootSectorRange:
            return error("Secondary/boot flash sector can not be > 3.");
        case Fault::tooNoisy:
            return error(lineTooNoisyText);
        case Fault::notWritten:
            if (memory) {
                return error("Error writing data, target memory space probably not blank.");
            }
            return OutcomeMessage{"Error writing data. Probably the target sector was not blank.",
                                  "Program Sector error"};
        case Fault::shortReply:
            if (memory && outcome.step == Step::read) {
                return error(incompleteReadMessage);
            }
            break;
        case Fault::noReply:
            break;
    }
    const char* text = noReplyText(outcome.failure.command);
    if (text == nullptr) {
        return std::nullopt;
    }
    return error(text);
}

void reportCommandFailure(TerminalUserInterface& ui, const Outcome& outcome, OutcomeSource source) {
    if (const auto message = commandFailureMessage(outcome, source)) {
        ui.showMessage(message->text, message->caption);
    }
}

int reportPass(TerminalUserInterface& ui, const Outcome& outcome, PassFinding finding) {
    // A difference found comes before anything that failed after it, as it was found first.
    const bool blank = finding == PassFinding::blankCheck;
    if (finding != PassFinding::none && outcome.firstDifference) {
        std::array<char, 96> text{};
        std::snprintf(text.data(), text.size(),
                      blank ? "Sector is not blank.\nSome data found at address 0x%04X"
                            : "Data do not match at address 0x%04X",
                      static_cast<unsigned>(*outcome.firstDifference));
        ui.showMessage(text.data(), blank ? "Blank check result" : "Verify Error");
    }
    reportCommandFailure(ui, outcome, OutcomeSource::sectorPass);
    if (finding != PassFinding::none && !outcome.firstDifference && outcome.ok()) {
        ui.showMessage(blank ? "The sector is blank" : "Data Verify OK",
                       blank ? "Blank check result" : "Verify result");
    }
    if (outcome.failed()) {
        return 0;
    }
    return outcome.cancelled ? -1 : 1;
}

void reportSaveFailure(TerminalUserInterface& ui, const Outcome& outcome) {
    const std::string where = " (" + outcome.file.file + ": " + outcome.systemError + ")";
    switch (outcome.failure.fault) {
        case Fault::unknownFormat:
            ui.showMessage(unknownDumpFormatMessage, uploadSaveErrorCaption);
            break;
        case Fault::cannotCreate:
            ui.showMessage("Error creating file !" + where, uploadSaveErrorCaption);
            break;
        case Fault::cannotWrite:
            ui.showMessage("Error writing file !" + where, uploadSaveErrorCaption);
            break;
        default:
            break;
    }
}

}  // namespace loadstar::cli
