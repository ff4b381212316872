#pragma once

#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/SerialDeviceList.h"
#include "iap/BoardCommands.h"
#include "iap/RandomReadTest.h"
#include "iap/SectorOperations.h"
#include "link/SerialLink.h"
#include "ui/OutcomeBoxes.h"
#include "ui/UserDialogs.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTimer;
class TtestForm;

namespace loadstar {
class MainFormProgress;
}

// The main window: the connection to the board, the memory panel, the sector file commands, the
// display mirror and the start of the random read test. It owns the one serial link of the
// program, every control, the status line (the only panel of sbStatus), mirrorTimer and the two
// file dialogs.
//
// Everything runs on the GUI thread. The sector passes let events run between their blocks, so
// every handler here may run nested inside another one; none of them deletes anything, and an
// accepted close only hides the window and emits programEndRequested, so the owner ends the
// event loop once the running handler has returned and destroys the window after that.
//
// A pass (Blank Check, Upload, Program, Verify, the random read test) never starts inside
// another: while one runs, the work controls other than Stop Mirror are disabled and their
// handlers return at once. The status bar then shows a progress bar with the time left, which
// says that Esc cancels, beside the status text.
//
// The serial device that Connect opens is COM1 as this machine resolves it, unless one was
// chosen: at start (the device given), or in the list that a refused Connect offers. The window
// title names a chosen device, and the owner is told of every choice so it can remember it.
class TmainForm : public QWidget {
    Q_OBJECT

  public:
    using PauseFunction = std::function<void(std::chrono::milliseconds)>;
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using DeviceLister = std::function<std::vector<loadstar::SerialDevice>()>;
    using PortMemory = std::function<void(const std::string& device)>;

    // `dialogs` answers every box and dialog (it must outlive the window); `makePort` makes the
    // serial port that Connect opens; `devicePath`, when not empty, is the device chosen for
    // Connect instead of COM1 (looked up at every Connect).
    TmainForm(loadstar::UserDialogs& dialogs, loadstar::SerialLink::PortFactory makePort,
              std::string devicePath = {}, QWidget* parent = nullptr);
    ~TmainForm() override;

    // The random read test's log window, created after this one; set once. Its Start again
    // clicks btTest, and its run's request to stop the mirror reaches stopMirrorIfRunning.
    void setTestForm(TtestForm* testForm);

    // 0 refused (the message was shown, the port is closed), 1 a KELX20 board answered, 2 the
    // port was open already and nothing was sent.
    int connectBoard();
    // Sets the mirror label to `text` up to its first zero byte, as OEM glyphs.
    void showMirrorText(const std::string& text);

    [[nodiscard]] QString statusText() const;
    void setStatusText(const QString& text);

    [[nodiscard]] loadstar::SerialLink& link() { return *link_; }

    // Replaceable for tests: the pause after a reset (1000 ms) and the clock that times Program.
    void setPauseFunction(PauseFunction pause) { pause_ = std::move(pause); }
    void setClock(Clock clock) { clock_ = std::move(clock); }
    // Replaceable for tests: the serial devices offered after a refused Connect.
    void setDeviceLister(DeviceLister lister) { listDevices_ = std::move(lister); }
    // Told the device path whenever the user chooses one ("" for COM1).
    void setPortMemory(PortMemory remember) { rememberPort_ = std::move(remember); }
    // The device chosen for Connect, "" for COM1.
    [[nodiscard]] const std::string& chosenDevice() const { return chosenDevice_; }
    [[nodiscard]] bool passRunning() const { return passRunning_; }
    // The cancel request the sector passes are given: set by ESC and by closing the window;
    // cleared by each pass when its board work begins.
    [[nodiscard]] bool cancelRequested() const { return cancelRequested_.requested(); }

  signals:
    // A close was accepted: the program should end as soon as the handler that is running, if
    // any, has returned.
    void programEndRequested();

  public slots:
    // Asks a running sector pass to stop before its next block, as ESC does.
    void requestCancel() { cancelRequested_.request(); }
    void btConnectClick();
    void btCloseClick();
    void btAboutClick();
    void rbMainClick();
    void btReadClick();
    void btWriteClick();
    void btEraseClick();
    void btResetClick();
    void btBlankCheckClick();
    void btUploadClick();
    void btProgramClick();
    void btVerifyClick();
    void btStopMirrorClick();
    // Clicks btStopMirror when its caption is exactly stopMirrorCaption (the mirror runs); a
    // stopped mirror stays so.
    void stopMirrorIfRunning();
    void mirrorTimerTimer();
    void btTestClick();

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Key preview: every key typed in this window reaches FormKeyPress before its control.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    enum class CloseAction { none, free };

    // The mirror toggle's caption while the mirror runs (and while disconnected); its handler
    // compares it exactly.
    static constexpr char stopMirrorCaption[] = "Stop Mirror";

    void FormClose(CloseAction& action);
    void FormKeyPress(char key);

    // Construction, in TmainFormLayout.cpp.
    void createControls();
    void createButtons();
    void createFlashSelect();
    void createMemoryFields();
    void createMirror();
    void placeControls();
    void setTabOrder();
    void connectHandlers();
    void createDialogs();

    // Every control's tooltip, and the buddies of the labels' mnemonics.
    void describeControls();

    // Work controls on while connected, except that a pass leaves only Stop Mirror on.
    void setWorkControlsEnabled(bool enabled);
    void updateWorkControls();
    [[nodiscard]] bool connected() const;
    // Whether a random read test runs (its window's test-running flag).
    [[nodiscard]] bool testRunning() const;

    // Marks a pass as running for its lifetime; `active` is false when one runs already, and
    // the handler must then return without doing anything.
    class PassScope {
      public:
        explicit PassScope(TmainForm& form);
        ~PassScope();
        PassScope(const PassScope&) = delete;
        PassScope& operator=(const PassScope&) = delete;
        [[nodiscard]] bool active() const { return active_; }

      private:
        TmainForm& form_;
        bool active_;
    };
    void showProgress(long bytesDone, long bytesTotal);

    // The device Connect opens now, and what the messages call it ("COM1 (/dev/ttyS0)").
    [[nodiscard]] std::string devicePathForConnect() const;
    [[nodiscard]] std::string deviceNameFor(const std::string& path) const;
    void reportOpenFailure();
    // After a refused Connect: the serial devices found, to choose the one Connect opens.
    void offerPortChoice(const std::string& triedPath);
    void showPortInUse();
    [[nodiscard]] std::string aboutText() const;
    [[nodiscard]] int selectedFlashKind() const;
    [[nodiscard]] int selectedSector() const;
    [[nodiscard]] std::optional<std::string> runOpenDialog1();
    // Upload's save dialog with `proposedName` in the folder of the last file chosen; it keeps
    // the last choice between uploads.
    [[nodiscard]] std::optional<std::string> runSaveDialog1(const std::string& proposedName);
    void showPassBoxes(const loadstar::Outcome& outcome, loadstar::SectorPass pass);
    void repaintNow();
    // Shows `box`; an error box stays silent while the random read test runs.
    void showBox(const loadstar::OutcomeBox& box);
    // The error box of the board command `outcome` failed at, if any.
    void showCommandFailure(const loadstar::Outcome& outcome,
                            loadstar::OutcomeSource source = loadstar::OutcomeSource::memoryPanel);

    // Controls. Each also carries its name as its object name.
    QPushButton* btConnect = nullptr;
    QPushButton* btStopMirror = nullptr;
    QPushButton* btClose = nullptr;
    QLabel* lbMirrorAdvice = nullptr;
    QFrame* pDisplayMirror = nullptr;
    QLabel* lbDisplayMirror = nullptr;
    QGroupBox* gbFlashSelect = nullptr;
    QRadioButton* rbMain = nullptr;
    QRadioButton* rbBoot = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* cbSector = nullptr;
    QLabel* lbOffset = nullptr;
    QLineEdit* edOffset = nullptr;
    QLabel* lbCount = nullptr;
    QLineEdit* edCount = nullptr;
    QLabel* lbData = nullptr;
    QLineEdit* edData = nullptr;
    QPushButton* btTest = nullptr;
    QPushButton* btAbout = nullptr;
    QPushButton* btRead = nullptr;
    QPushButton* btWrite = nullptr;
    QPushButton* btErase = nullptr;
    QPushButton* btBlankCheck = nullptr;
    QPushButton* btUpload = nullptr;
    QPushButton* btProgram = nullptr;
    QPushButton* btVerify = nullptr;
    QPushButton* btReset = nullptr;
    QStatusBar* sbStatus = nullptr;
    QLabel* sbStatusPanel = nullptr;
    QProgressBar* pbProgress = nullptr;
    QTimer* mirrorTimer = nullptr;
    loadstar::FileDialogSettings OpenDialog1;
    loadstar::FileDialogSettings SaveDialog1;

    // Enabled by connecting and disabled by disconnecting, in this order.
    std::vector<QWidget*> workControls_;

    loadstar::UserDialogs& dialogs_;
    std::unique_ptr<loadstar::MainFormProgress> progress_;
    std::unique_ptr<loadstar::SerialLink> link_;
    std::unique_ptr<loadstar::BoardCommands> board_;
    std::unique_ptr<loadstar::SectorOperations> sectors_;
    loadstar::RandomReadTest randomReadTest_;
    TtestForm* testForm_ = nullptr;
    loadstar::CancelToken cancelRequested_;
    PauseFunction pause_;
    Clock clock_;
    DeviceLister listDevices_;
    PortMemory rememberPort_;
    std::string chosenDevice_;
    std::string triedDevicePath_;
    bool passRunning_ = false;
    // Where the running pass's progress was first reported: the time left counts from there.
    long progressStartDone_ = -1;
    long progressLastDone_ = -1;
    std::chrono::steady_clock::time_point progressStart_{};
    bool centred_ = false;
};
