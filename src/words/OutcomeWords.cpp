#include "words/OutcomeWords.h"

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

Words error(const char* text) {
    return {text, errorCaption};
}

}  // namespace

std::optional<Words> commandFailureWords(const Outcome& outcome, OutcomeSource source) {
    const bool panel = source == OutcomeSource::memoryPanel;
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
            if (panel) {
                return error("Error writing data, target memory space probably not blank.");
            }
            return Words{"Error writing data. Probably the target sector was not blank.",
                         "Program Sector error"};
        case Fault::shortReply:
            // The memory panel's own read names the cut reply; elsewhere it is a failed read.
            if (panel && outcome.step == Step::read) {
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

std::optional<Words> differenceWords(const Outcome& outcome, PassFinding finding) {
    if (finding == PassFinding::none || !outcome.firstDifference) {
        return std::nullopt;
    }
    const bool blank = finding == PassFinding::blankCheck;
    std::array<char, 96> text{};
    std::snprintf(text.data(), text.size(),
                  blank ? "Sector is not blank.\nSome data found at address 0x%04X"
                        : "Data do not match at address 0x%04X",
                  static_cast<unsigned>(*outcome.firstDifference));
    return Words{text.data(), blank ? "Blank check result" : "Verify Error"};
}

std::optional<Words> nothingDifferentWords(const Outcome& outcome, PassFinding finding) {
    if (finding == PassFinding::none || outcome.firstDifference || !outcome.ok()) {
        return std::nullopt;
    }
    const bool blank = finding == PassFinding::blankCheck;
    return Words{blank ? "The sector is blank" : "Data Verify OK",
                 blank ? "Blank check result" : "Verify result"};
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

}  // namespace loadstar
