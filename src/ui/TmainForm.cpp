#include "TmainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <thread>

#include "Connection.h"
#include "LoadstarVersion.h"
#include "MainFormUserInterface.h"
#include "OemText.h"
#include "ProcessFlags.h"
#include "RandomReadTestRun.h"
#include "TtestForm.h"

namespace {

constexpr char connectCaption[] = "Connect";
constexpr char disconnectCaption[] = "Disconnect";
constexpr char stopMirrorCaption[] = "Stop Mirror";
constexpr char escapeKey = 27;

}  // namespace

TmainForm::TmainForm(loadstar::UserDialogs& dialogs, loadstar::SerialLink::PortFactory makePort,
                     std::string devicePath, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      dialogs_(dialogs),
      pause_([](std::chrono::milliseconds time) { std::this_thread::sleep_for(time); }),
      clock_([] { return std::chrono::steady_clock::now(); }) {
    setObjectName(QStringLiteral("mainForm"));
    setWindowTitle(QStringLiteral("Loadstar"));
    createControls();
    userInterface_ = std::make_unique<loadstar::MainFormUserInterface>(
        dialogs_, [this](const std::string& text) { setStatusText(QString::fromLocal8Bit(text)); },
        [this] { repaintNow(); }, SaveDialog1);
    link_ = std::make_unique<loadstar::SerialLink>(
        [this](const std::string& text) { loadstar::showError(*userInterface_, text); },
        std::move(makePort));
    if (!devicePath.empty()) {
        link_->setDevicePath(std::move(devicePath));
    }
    board_ = std::make_unique<loadstar::BoardCommands>(*link_, *userInterface_);
    sectors_ = std::make_unique<loadstar::SectorOperations>(*board_);
    connectHandlers();
    // Key preview: the application hands every key event to this filter before its receiver.
    qApp->installEventFilter(this);
}

TmainForm::~TmainForm() {
    qApp->removeEventFilter(this);
    mirrorTimer->stop();
    link_->closePort();
}

void TmainForm::setTestForm(TtestForm* testForm) {
    testForm_ = testForm;
    if (testForm_ != nullptr) {
        testForm_->setRunTestButton(btTest);
    }
}

QString TmainForm::statusText() const {
    return sbStatusPanel->text();
}

void TmainForm::setStatusText(const QString& text) {
    sbStatusPanel->setText(text);
}

void TmainForm::repaintNow() {
    if (isVisible()) {
        repaint();
    }
}

void TmainForm::showEvent(QShowEvent* event) {
    // Placed in the centre of the screen when it first opens.
    if (!centred_ && screen() != nullptr) {
        centred_ = true;
        const QRect available = screen()->availableGeometry();
        move(available.center() - rect().center());
    }
    QWidget::showEvent(event);
}

void TmainForm::setWorkControlsEnabled(bool enabled) {
    for (QWidget* control : workControls_) {
        control->setEnabled(enabled);
    }
}

int TmainForm::connectBoard() {
    return loadstar::connectBoard(*board_);
}

void TmainForm::btConnectClick() {
    if (btConnect->text() == QLatin1String(connectCaption)) {
        if (connectBoard() != 0) {
            mirrorTimer->start();
            btConnect->setText(QLatin1String(disconnectCaption));
            setWorkControlsEnabled(true);
            setStatusText(QStringLiteral("Connected to the board, ready..."));
        }
    } else {
        mirrorTimer->stop();
        setStatusText(QStringLiteral("Connection to the board has been closed."));
        btConnect->setText(QLatin1String(connectCaption));
        setWorkControlsEnabled(false);
        lbDisplayMirror->setText(QString());
        link_->closePort();
    }
    btStopMirror->setText(QLatin1String(stopMirrorCaption));
}

void TmainForm::btCloseClick() {
    close();
}

void TmainForm::closeEvent(QCloseEvent* event) {
    CloseAction action = CloseAction::free;
    FormClose(action);
    if (action == CloseAction::none) {
        event->ignore();
        return;
    }
    event->accept();
    emit programEndRequested();
}

void TmainForm::FormClose(CloseAction& action) {
    if (loadstar::processFlags().testRunning) {
        dialogs_.showMessage("Please stop the running test first", "Closing of the program",
                             loadstar::MessageIcon::none);
        action = CloseAction::none;
        return;
    }
    loadstar::processFlags().stopTest = true;
    loadstar::processFlags().cancelRequested = true;
    mirrorTimer->stop();
    link_->closePort();
    action = CloseAction::free;
}

bool TmainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        const QString text = keyEvent->text();
        if (keyEvent->key() == Qt::Key_Escape) {
            FormKeyPress(escapeKey);
        } else if (text.size() == 1) {
            FormKeyPress(text.at(0).toLatin1());
        }
    }
    // The key is not consumed: the control with the focus still gets it.
    return false;
}

void TmainForm::FormKeyPress(char key) {
    if (key == escapeKey) {
        loadstar::processFlags().cancelRequested = true;
    }
}

void TmainForm::btAboutClick() {
    dialogs_.showMessage(std::string("Loadstar v.") + loadstar::loadstarVersion +
                             "\n\nIn-application programming of the KEL520 board's flash over "
                             "RS-232.",
                         "About the program", loadstar::MessageIcon::none);
}

int TmainForm::selectedFlashKind() const {
    return rbMain->isChecked() ? loadstar::mainFlash : loadstar::bootFlash;
}

int TmainForm::selectedSector() const {
    return std::max(cbSector->currentIndex(), 0);
}

void TmainForm::btTestClick() {
    if (testForm_ == nullptr) {
        return;
    }
    RandomReadTestContext context{*testForm_, *board_, *userInterface_, *btStopMirror,
                                  randomReadTest_};
    runRandomReadTest(context);
}
