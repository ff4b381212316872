#include "ui/OutcomeBoxes.h"

namespace loadstar {

namespace {

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
                         warningCaption, MessageIcon::warning});
    } else if (outcome.failure.fault == Fault::noData) {
        boxes.push_back(errorBox("File contains no data"));
    }
}

void addSaveBox(const Outcome& outcome, std::vector<OutcomeBox>& boxes) {
    const char* text = nullptr;
    switch (outcome.failure.fault) {
        case Fault::unknownFormat:
            text = unknownDumpFormatMessage;
            break;
        case Fault::cannotCreate:
            text = cannotCreateFileMessage;
            break;
        case Fault::cannotWrite:
            text = cannotWriteFileMessage;
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
    const PassFinding finding = pass == SectorPass::blankCheck ? PassFinding::blankCheck
                                : pass == SectorPass::verify   ? PassFinding::verify
                                                               : PassFinding::none;
    if (const auto words = differenceWords(outcome, finding)) {
        boxes.push_back(boxOf(*words));
    }
    if (const auto box = commandFailureBox(outcome, OutcomeSource::sectorPass)) {
        boxes.push_back(*box);
    }
    if (const auto words = nothingDifferentWords(outcome, finding)) {
        boxes.push_back(boxOf(*words));
    }
    return boxes;
}

OutcomeBox errorBox(const std::string& text) {
    return boxOf({text, errorCaption});
}

OutcomeBox boxOf(const Words& words) {
    const bool warns = words.caption == errorCaption || words.caption == warningCaption;
    return {words.text, words.caption, warns ? MessageIcon::warning : MessageIcon::none};
}

std::optional<OutcomeBox> commandFailureBox(const Outcome& outcome, OutcomeSource source) {
    const auto words = commandFailureWords(outcome, source);
    if (!words) {
        return std::nullopt;
    }
    return boxOf(*words);
}

}  // namespace loadstar
