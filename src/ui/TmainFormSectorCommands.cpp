// The sector file commands: Blank Check, Upload, Program and Verify.

#include "iap/DumpWriters.h"
#include "iap/SectorGeometry.h"
#include "ui/OutcomeBoxes.h"
#include "ui/TmainForm.h"

namespace {

// The status text for a sector operation's outcome: done (also when it found a difference),
// cancelled, or failed.
QString resultText(const loadstar::Outcome& outcome, const char* done, const char* cancelled,
                   const char* failed) {
    if (outcome.failed()) {
        return QString::fromLatin1(failed);
    }
    return QString::fromLatin1(outcome.cancelled ? cancelled : done);
}

}  // namespace

std::optional<std::string> TmainForm::runOpenDialog1() {
    auto chosen = dialogs_.runOpenDialog(OpenDialog1);
    if (chosen) {
        // The dialog offers this file again when it next opens.
        OpenDialog1.fileName = *chosen;
    }
    return chosen;
}

std::optional<std::string> TmainForm::runSaveDialog1(const std::string& proposedName) {
    // Proposes the name in the folder of the last file chosen, if any.
    const std::size_t slash = SaveDialog1.fileName.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : SaveDialog1.fileName.substr(0, slash + 1);
    SaveDialog1.fileName = folder + proposedName;
    auto chosen = dialogs_.runSaveDialog(SaveDialog1);
    if (chosen) {
        SaveDialog1.fileName = *chosen;
    }
    return chosen;
}

void TmainForm::showPassBoxes(const loadstar::Outcome& outcome, loadstar::SectorPass pass) {
    for (const auto& box : loadstar::passBoxes(outcome, pass)) {
        showBox(box);
    }
}

void TmainForm::btBlankCheckClick() {
    const PassScope pass(*this);
    if (!pass.active()) {
        return;
    }
    const auto geometry = loadstar::sectorGeometry(selectedFlashKind(), selectedSector());
    const loadstar::Outcome outcome = sectors_->blankCheckSector(
        geometry.kind, geometry.sector, geometry.baseAddress, geometry.sectorSize);
    showPassBoxes(outcome, loadstar::SectorPass::blankCheck);
    setStatusText(resultText(outcome, "Blank Check done.", "Blank Check cancelled.",
                             "Blank Check operation unsuccessful."));
}

void TmainForm::btUploadClick() {
    const PassScope pass(*this);
    if (!pass.active()) {
        return;
    }
    const int kind = selectedFlashKind();
    const auto geometry = loadstar::sectorGeometry(kind, selectedSector());
    std::vector<std::uint8_t> contents;
    loadstar::Outcome outcome = sectors_->readSector(
        geometry.kind, geometry.sector, geometry.baseAddress, geometry.sectorSize, contents);
    // A cancelled or failed read saves nothing and opens no dialog.
    if (outcome.ok()) {
        const auto chosen = runSaveDialog1(loadstar::SectorOperations::proposedFileName(
            loadstar::segmentName(kind, geometry.sector)));
        if (chosen) {
            outcome =
                loadstar::saveDumpFile(*chosen, loadstar::dumpFormatForFileName(*chosen), contents);
        } else {
            outcome.step = loadstar::Step::saveFile;
        }
    }
    showPassBoxes(outcome, loadstar::SectorPass::upload);
    setStatusText(
        resultText(outcome, "Upload done.", "Upload cancelled.", "Upload operation unsuccessful."));
}

void TmainForm::btProgramClick() {
    const PassScope pass(*this);
    if (!pass.active()) {
        return;
    }
    setStatusText(QStringLiteral("Program Sector..."));
    const auto geometry = loadstar::sectorGeometry(selectedFlashKind(), selectedSector());
    const auto fileName = runOpenDialog1();
    if (!fileName) {
        setStatusText(QStringLiteral("File open aborted."));
        return;
    }
    const auto start = clock_();
    const loadstar::Outcome outcome = sectors_->programSector(
        geometry.kind, geometry.sector, geometry.baseAddress, geometry.sectorSize, *fileName);
    showPassBoxes(outcome, loadstar::SectorPass::program);
    if (outcome.ok()) {
        setStatusText(QStringLiteral("Program Sector done."));
        const auto end = clock_();
        const auto consumed = std::chrono::duration_cast<std::chrono::milliseconds>(end - start);
        setStatusText(statusText() + QStringLiteral(" Time consumed is ") +
                      QString::number(consumed.count()) + QStringLiteral(" ms."));
        return;
    }
    setStatusText(resultText(outcome, "", "Program Sector cancelled.",
                             "Error while programming of the sector."));
}

void TmainForm::btVerifyClick() {
    const PassScope pass(*this);
    if (!pass.active()) {
        return;
    }
    setStatusText(QStringLiteral("Verify Sector..."));
    const auto geometry = loadstar::sectorGeometry(selectedFlashKind(), selectedSector());
    const auto fileName = runOpenDialog1();
    if (!fileName) {
        setStatusText(QStringLiteral("File open aborted."));
        return;
    }
    const loadstar::Outcome outcome = sectors_->verifySector(
        geometry.kind, geometry.sector, geometry.baseAddress, geometry.sectorSize, *fileName);
    showPassBoxes(outcome, loadstar::SectorPass::verify);
    setStatusText(resultText(outcome, "Verify Sector done.", "Verify Sector cancelled.",
                             "Error while verifying of the sector."));
}
