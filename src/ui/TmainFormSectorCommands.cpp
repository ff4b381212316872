// The sector file commands: Blank Check, Upload, Program and Verify.

#include "SectorGeometry.h"
#include "TmainForm.h"

namespace {

// The status text for a sector operation's result: 1 done, -1 cancelled, 0 failed.
QString resultText(int result, const char* done, const char* cancelled, const char* failed) {
    if (result == 1) {
        return QString::fromLatin1(done);
    }
    return QString::fromLatin1(result == -1 ? cancelled : failed);
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

void TmainForm::btBlankCheckClick() {
    const PassScope pass(*this);
    if (!pass.active()) {
        return;
    }
    const auto geometry = loadstar::sectorGeometry(selectedFlashKind(), selectedSector());
    const int result = sectors_->blankCheckSector(geometry.kind, geometry.sector,
                                                  geometry.baseAddress, geometry.sectorSize);
    setStatusText(resultText(result, "Blank Check done.", "Blank Check cancelled.",
                             "Blank Check operation unsuccessful."));
}

void TmainForm::btUploadClick() {
    const PassScope pass(*this);
    if (!pass.active()) {
        return;
    }
    const int kind = selectedFlashKind();
    const auto geometry = loadstar::sectorGeometry(kind, selectedSector());
    const int result =
        sectors_->uploadSector(geometry.kind, geometry.sector, geometry.baseAddress,
                               geometry.sectorSize, loadstar::segmentName(kind, geometry.sector));
    setStatusText(
        resultText(result, "Upload done.", "Upload cancelled.", "Upload operation unsuccessful."));
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
    const int result = sectors_->programSector(geometry.kind, geometry.sector, geometry.baseAddress,
                                               geometry.sectorSize, *fileName);
    if (result == 1) {
        setStatusText(QStringLiteral("Program Sector done."));
        const auto end = clock_();
        const auto consumed = std::chrono::duration_cast<std::chrono::milliseconds>(end - start);
        setStatusText(statusText() + QStringLiteral(" Time consumed is ") +
                      QString::number(consumed.count()) + QStringLiteral(" ms."));
        return;
    }
    setStatusText(resultText(result, "", "Program Sector cancelled.",
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
    const int result = sectors_->verifySector(geometry.kind, geometry.sector, geometry.baseAddress,
                                              geometry.sectorSize, *fileName);
    setStatusText(resultText(result, "Verify Sector done.", "Verify Sector cancelled.",
                             "Error while verifying of the sector."));
}
