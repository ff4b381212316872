// The board display mirror: the 250 ms tick and the Stop Mirror / Start Mirror toggle.

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "ui/OemText.h"
#include "ui/TmainForm.h"

namespace {

constexpr char startMirrorCaption[] = "Start Mirror";
// As long as its first line.
constexpr char stoppedNotice[] = "mirroring stopped\n=================";

}  // namespace

void TmainForm::showMirrorText(const std::string& text) {
    lbDisplayMirror->setText(loadstar::oemTextToDisplay(text));
}

void TmainForm::mirrorTimerTimer() {
    // An empty text when no reply came within the retries: the label is blanked, and the next
    // tick tries again.
    showMirrorText(board_->fetchDisplayText());
}

void TmainForm::stopMirrorIfRunning() {
    // Exactly this caption, case included; a click, so that the toggle's handler does the stopping.
    if (btStopMirror->text() == QLatin1String(stopMirrorCaption)) {
        btStopMirror->click();
    }
}

void TmainForm::btStopMirrorClick() {
    if (btStopMirror->text() == QLatin1String(stopMirrorCaption)) {
        showMirrorText(stoppedNotice);
        btStopMirror->setText(QLatin1String(startMirrorCaption));
        mirrorTimer->stop();
    } else {
        btStopMirror->setText(QLatin1String(stopMirrorCaption));
        mirrorTimer->start();
    }
}
