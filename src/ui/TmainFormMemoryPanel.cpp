// The memory panel: Read, Write, Erase, Reset and the flash selection.

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <vector>

#include "iap/MemoryPanelInput.h"
#include "iap/SectorGeometry.h"
#include "link/HexText.h"
#include "ui/OutcomeBoxes.h"
#include "ui/TmainForm.h"

namespace {

constexpr std::chrono::milliseconds resetPause{1000};

// Field texts are 8-bit characters.
std::string fieldText(const QLineEdit* field) {
    return field->text().toLatin1().toStdString();
}

QString addressText(int address) {
    return QString::number(address, 16).toUpper();
}

}  // namespace

void TmainForm::btReadClick() {
    if (passRunning_) {
        return;  // no command inside a pass
    }
    setStatusText(QStringLiteral("Flash reading unsuccessful."));
    const auto checked = loadstar::checkReadFields(fieldText(edCount), fieldText(edOffset));
    if (!checked.ok()) {
        showBox(loadstar::errorBox(loadstar::inputProblemText(checked.problem)));
        return;
    }
    const auto sector = static_cast<std::uint8_t>(selectedSector());
    const loadstar::Outcome selected = board_->selectFlash(selectedFlashKind(), sector);
    if (!selected.ok()) {
        showCommandFailure(selected);
        return;
    }
    const int count = checked.request.count;
    std::vector<std::uint8_t> bytes;
    const loadstar::Outcome read = board_->readFlash(checked.request.address, count, bytes);
    if (!read.ok()) {
        showCommandFailure(read);
        setStatusText(QStringLiteral("Error while reading data from Flash."));
        return;
    }
    std::vector<char> text(static_cast<std::size_t>(3 * count + 1));
    loadstar::bytesToHexText(bytes.data(), count, text.data());
    edData->setText(QString::fromLatin1(text.data()));
    setStatusText(QStringLiteral("Read Flash done."));
}

void TmainForm::btWriteClick() {
    if (passRunning_) {
        return;  // no command inside a pass
    }
    setStatusText(QStringLiteral("Flash writing unsuccessful."));
    const auto checked = loadstar::checkWriteFields(fieldText(edOffset), fieldText(edData));
    if (!checked.ok()) {
        showBox(loadstar::errorBox(loadstar::inputProblemText(checked.problem)));
        return;
    }
    const auto& bytes = checked.request.data;
    edCount->setText(QString::fromStdString(loadstar::writtenCountText(bytes.size())));
    const auto sector = static_cast<std::uint8_t>(selectedSector());
    const loadstar::Outcome selected = board_->selectFlash(selectedFlashKind(), sector);
    if (!selected.ok()) {
        showCommandFailure(selected);
        return;
    }
    const loadstar::Outcome written = board_->writeFlash(checked.request.address, bytes);
    if (!written.ok()) {
        showCommandFailure(written);
        setStatusText(QStringLiteral("Error while writing data to Flash."));
        return;
    }
    setStatusText(QStringLiteral("Write Flash done."));
}

void TmainForm::btEraseClick() {
    if (passRunning_) {
        return;  // no command inside a pass
    }
    const int kind = selectedFlashKind();
    const auto geometry = loadstar::sectorGeometry(kind, selectedSector());
    const loadstar::Outcome erased =
        board_->eraseSector(kind, geometry.sector, geometry.baseAddress);
    if (!erased.ok()) {
        showCommandFailure(erased);
        return;
    }
    setStatusText(QStringLiteral("Erase Sector done."));
}

void TmainForm::btResetClick() {
    if (passRunning_) {
        return;  // no command inside a pass
    }
    setStatusText(QStringLiteral("Board reset..."));
    // The reset blocks the window for more than a second: show the text before it does.
    sbStatus->repaint();
    showCommandFailure(board_->resetBoard());
    pause_(resetPause);
    setStatusText(QStringLiteral("Board reset command sent."));
}

void TmainForm::rbMainClick() {
    if (passRunning_) {
        return;  // no command inside a pass
    }
    {
        // The sector list is changed from code here; that must not run this handler again.
        const QSignalBlocker blocker(cbSector);
        if (rbMain->isChecked()) {
            if (cbSector->count() == loadstar::bootSectorCount) {
                for (int sector = loadstar::bootSectorCount; sector < loadstar::mainSectorCount;
                     ++sector) {
                    cbSector->addItem(QString::number(sector));
                }
            }
            edOffset->setText(QStringLiteral("8000"));
        } else {
            if (cbSector->currentIndex() > loadstar::bootSectorCount - 1) {
                cbSector->setCurrentIndex(loadstar::bootSectorCount - 1);
            }
            if (cbSector->count() == loadstar::mainSectorCount) {
                for (int i = 0; i < loadstar::mainSectorCount - loadstar::bootSectorCount; ++i) {
                    cbSector->removeItem(loadstar::bootSectorCount);
                }
            }
            const auto geometry = loadstar::sectorGeometry(loadstar::bootFlash, selectedSector());
            edOffset->setText(addressText(geometry.baseAddress));
        }
    }
    const auto sector = static_cast<std::uint8_t>(selectedSector());
    const loadstar::Outcome selected = board_->selectFlash(selectedFlashKind(), sector);
    showCommandFailure(selected);
    setStatusText(selected.ok() ? QStringLiteral("Execution page changed...")
                                : QStringLiteral("Error changing the execution page..."));
}

void TmainForm::showBox(const loadstar::OutcomeBox& box) {
    if (box.isError() && testRunning()) {
        return;  // the random read test counts failures instead of stopping on them
    }
    dialogs_.showMessage(box.text, box.caption, box.icon);
}

void TmainForm::showCommandFailure(const loadstar::Outcome& outcome,
                                   loadstar::OutcomeSource source) {
    if (const auto box = loadstar::commandFailureBox(outcome, source)) {
        showBox(*box);
    }
}
