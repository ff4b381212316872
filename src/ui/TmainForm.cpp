#include "ui/TmainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <thread>

#include "iap/Connection.h"
#include "ui/MainFormProgress.h"
#include "ui/OemText.h"
#include "ui/RandomReadTestRun.h"
#include "ui/TtestForm.h"
#include "version/LoadstarVersion.h"

namespace {

constexpr char connectCaption[] = "Connect";
constexpr char disconnectCaption[] = "Disconnect";
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
    progress_ = std::make_unique<loadstar::MainFormProgress>(
        dialogs_, [this](const std::string& text) { setStatusText(QString::fromLocal8Bit(text)); },
        [this](long bytesDone, long bytesTotal) { showProgress(bytesDone, bytesTotal); },
        [this] { repaintNow(); });
    // The link's own can't-open text names COM1 whatever was opened: this one names the device
    // tried, with the system's reason.
    link_ = std::make_unique<loadstar::SerialLink>([this] { reportOpenFailure(); },
                                                   std::move(makePort));
    chosenDevice_ = std::move(devicePath);
    listDevices_ = [] { return loadstar::listSerialDevices().devices; };
    board_ = std::make_unique<loadstar::BoardCommands>(*link_);
    sectors_ = std::make_unique<loadstar::SectorOperations>(*board_, *progress_, cancelRequested_);
    connectHandlers();
    describeControls();
    showPortInUse();
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
        // Direct connections: the mirror is stopped before the run's first cycle, and Start again
        // runs btTestClick inside its own click, as a click on "Run test" would.
        connect(testForm_, &TtestForm::mirrorStopRequested, this, &TmainForm::stopMirrorIfRunning);
        connect(testForm_, &TtestForm::startAgainRequested, btTest, &QAbstractButton::click);
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
        control->setEnabled(enabled && (!passRunning_ || control == btStopMirror));
    }
}

bool TmainForm::connected() const {
    return btConnect->text() != QLatin1String(connectCaption);
}

void TmainForm::updateWorkControls() {
    setWorkControlsEnabled(connected());
}

TmainForm::PassScope::PassScope(TmainForm& form) : form_(form), active_(!form.passRunning_) {
    if (!active_) {
        return;
    }
    form_.passRunning_ = true;
    form_.progressStartDone_ = -1;
    form_.progressLastDone_ = -1;
    form_.updateWorkControls();
}

TmainForm::PassScope::~PassScope() {
    if (!active_) {
        return;
    }
    form_.passRunning_ = false;
    form_.pbProgress->hide();
    form_.updateWorkControls();
}

namespace {

QString minutesAndSeconds(std::chrono::milliseconds time) {
    const long long seconds = (time.count() + 500) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

void TmainForm::showProgress(long bytesDone, long bytesTotal) {
    const auto now = clock_();
    if (progressStartDone_ < 0 || bytesDone < progressLastDone_) {
        // The first report of a pass, or a new pass under the same command.
        progressStartDone_ = bytesDone;
        progressStart_ = now;
    }
    progressLastDone_ = bytesDone;
    QString text = QStringLiteral("Esc cancels");
    const long measured = bytesDone - progressStartDone_;
    if (measured > 0) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(now - progressStart_);
        const auto left = elapsed * (bytesTotal - bytesDone) / measured;
        text = minutesAndSeconds(left) + QStringLiteral(" left, ") + text;
    }
    pbProgress->setRange(0, static_cast<int>(std::max(bytesTotal, 1L)));
    pbProgress->setValue(static_cast<int>(std::clamp(bytesDone, 0L, bytesTotal)));
    pbProgress->setFormat(text);
    pbProgress->show();
}

int TmainForm::connectBoard() {
    triedDevicePath_ = devicePathForConnect();
    link_->setDevicePath(triedDevicePath_);
    switch (loadstar::connectBoard(*board_)) {
        case loadstar::ConnectResult::alreadyOpen:
            return 2;
        case loadstar::ConnectResult::connected:
            return 1;
        case loadstar::ConnectResult::notIdentified:
            showBox(loadstar::errorBox(loadstar::connectionFailedMessage));
            break;
        case loadstar::ConnectResult::notOpened:
            break;
    }
    return 0;
}

void TmainForm::btConnectClick() {
    if (btConnect->text() == QLatin1String(connectCaption)) {
        if (connectBoard() != 0) {
            mirrorTimer->start();
            btConnect->setText(QLatin1String(disconnectCaption));
            updateWorkControls();
            setStatusText(QStringLiteral("Connected to the board, ready..."));
        } else {
            offerPortChoice(triedDevicePath_);
        }
    } else {
        mirrorTimer->stop();
        setStatusText(QStringLiteral("Connection to the board has been closed."));
        btConnect->setText(QLatin1String(connectCaption));
        updateWorkControls();
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

bool TmainForm::testRunning() const {
    return testForm_ != nullptr && testForm_->testRunning();
}

void TmainForm::FormClose(CloseAction& action) {
    if (testRunning()) {
        dialogs_.showMessage("Please stop the running test first", "Closing of the program",
                             loadstar::MessageIcon::none);
        action = CloseAction::none;
        return;
    }
    if (testForm_ != nullptr) {
        testForm_->requestTestStop();
    }
    cancelRequested_.request();
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
        cancelRequested_.request();
    }
}

void TmainForm::btAboutClick() {
    dialogs_.showMessage(aboutText(), "About the program", loadstar::MessageIcon::none);
}

int TmainForm::selectedFlashKind() const {
    return rbMain->isChecked() ? loadstar::mainFlash : loadstar::bootFlash;
}

int TmainForm::selectedSector() const {
    return std::max(cbSector->currentIndex(), 0);
}

void TmainForm::btTestClick() {
    const PassScope pass(*this);
    if (testForm_ == nullptr || !pass.active()) {
        return;
    }
    RandomReadTestContext context{*testForm_, *board_,
                                  [this] {
                                      repaintNow();
                                      dialogs_.processPendingEvents();
                                  },
                                  randomReadTest_};
    runRandomReadTest(context);
}
