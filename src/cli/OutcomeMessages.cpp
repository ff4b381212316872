#include "cli/OutcomeMessages.h"

#include "words/FileFaultWords.h"

namespace loadstar::cli {

namespace {

void write(TerminalUserInterface& ui, const std::optional<Words>& words) {
    if (words) {
        ui.showMessage(words->text, words->caption);
    }
}

}  // namespace

void reportCommandFailure(TerminalUserInterface& ui, const Outcome& outcome, OutcomeSource source) {
    write(ui, commandFailureWords(outcome, source));
}

int reportPass(TerminalUserInterface& ui, const Outcome& outcome, PassFinding finding) {
    // A difference found comes before anything that failed after it, as it was found first.
    write(ui, differenceWords(outcome, finding));
    reportCommandFailure(ui, outcome, OutcomeSource::sectorPass);
    write(ui, nothingDifferentWords(outcome, finding));
    if (outcome.failed()) {
        return 0;
    }
    return outcome.cancelled ? -1 : 1;
}

void reportSaveFailure(TerminalUserInterface& ui, const Outcome& outcome) {
    const std::string where =
        " (" + outcome.file.file + ": " + fileFaultWords(outcome.saveFault) + ")";
    switch (outcome.failure.fault) {
        case Fault::unknownFormat:
            ui.showMessage(unknownDumpFormatMessage, uploadSaveErrorCaption);
            break;
        case Fault::cannotCreate:
            ui.showMessage(cannotCreateFileMessage + where, uploadSaveErrorCaption);
            break;
        case Fault::cannotWrite:
            ui.showMessage(cannotWriteFileMessage + where, uploadSaveErrorCaption);
            break;
        default:
            break;
    }
}

}  // namespace loadstar::cli
