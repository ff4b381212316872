#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <chrono>
#include <functional>

#include "iap/Outcome.h"

class QCloseEvent;
class QEvent;
class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The random read test's log window: the test's description, its log, its running statistics,
// and the buttons End Test, Start again and Save Log. Created hidden at program start; each run's
// start shows it; closing it only hides it. All its texts are written by the run
// (runRandomReadTest), through the methods below; its controls stay private. It knows nothing of
// the main window: what it wants from it goes out as signals.
class TtestForm : public QWidget {
    Q_OBJECT

  public:
    // Runs the save dialog with `proposedName`; the chosen path, or an empty text when the user
    // dismissed it.
    using SaveFileChooser = std::function<QString(const QString& proposedName)>;
    // Shows a failure to the user ("Cannot create file ..."), modal.
    using ErrorReporter = std::function<void(const QString& message)>;
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    explicit TtestForm(QWidget* parent = nullptr);

    // What the run writes.
    void clearLog();
    void appendLogLine(const QString& line);
    void setDescription(const QString& text);
    void setStatistics(const QString& text);
    // Start of a run: Start again disabled, End Test enabled.
    void setButtonsForRun();
    // Shows the window, not modal, centred on the screen the first time, and brings it to the
    // front.
    void showTestWindow();
    // Start of a run: asks for the mirror to be stopped if it runs (emits mirrorStopRequested).
    void requestMirrorStop();
    // The stop-test flag the run is given: asks it to end after its current cycle. Set by End
    // Test, by closing this window, by a key during a run, and by requestTestStop; cleared by each
    // run at its start.
    [[nodiscard]] loadstar::CancelToken& stopTest() { return stopTest_; }
    // The test-running flag: set by the run while it lasts. The main window then refuses to
    // close and shows no error box, and a key in this window stops the run.
    [[nodiscard]] bool testRunning() const { return testRunning_; }
    void setTestRunning(bool running) { testRunning_ = running; }

    // What the window shows, for the run's callers and the tests.
    [[nodiscard]] QStringList logLines() const;
    [[nodiscard]] QString descriptionText() const;
    [[nodiscard]] QString statisticsText() const;
    [[nodiscard]] bool isEndTestEnabled() const;
    [[nodiscard]] bool isStartAgainEnabled() const;

    // Seams for tests; by default a QFileDialog, a QMessageBox and the system clock.
    void setSaveFileChooser(SaveFileChooser chooser);
    void setErrorReporter(ErrorReporter reporter);
    void setClock(Clock clock);

  signals:
    // The run starts: the board's display mirror should stop if it runs, before the first cycle.
    void mirrorStopRequested();
    // Start again was clicked: a new run should start as if "Run test" had been clicked (nothing
    // happens while "Run test" is disabled).
    void startAgainRequested();

  public slots:
    // Sets the stop-test flag (the main window's close does).
    void requestTestStop() { stopTest_.request(); }
    // Sets the stop-test flag, enables Start again, disables End Test.
    void btEndTestClick();
    // Emits startAgainRequested.
    void btStartAgainClick();
    // Proposes "RS232_test_d-mmm-yyyy_hh-mm-ss", runs the save dialog and writes the log's lines,
    // each followed by CR LF, through a temporary file renamed into place; an existing file is
    // replaced. "Cannot create file <name>" when it cannot be written; nothing else changes.
    void btSaveLogClick();

  protected:
    // FormClose: sets the stop-test flag; the window is hidden, not destroyed.
    void closeEvent(QCloseEvent* event) override;
    // Key preview: every character key typed in the window or one of its controls reaches
    // FormKeyPress first, and then the control.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void FormClose();
    // During a run a key stops it (the window stays open); otherwise it closes the window.
    void FormKeyPress(const QString& key);
    void createControls();
    [[nodiscard]] bool writeLogFile(const QString& fileName) const;

    QPlainTextEdit* logMemo = nullptr;
    QPushButton* btEndTest = nullptr;
    QLabel* lbStatistics = nullptr;
    QPushButton* btStartAgain = nullptr;
    QPushButton* btSaveLog = nullptr;
    QLabel* lbStat = nullptr;
    QLabel* lbDesc = nullptr;
    QLabel* lbDescription = nullptr;

    SaveFileChooser chooseSaveFile_;
    ErrorReporter reportError_;
    Clock clock_;
    loadstar::CancelToken stopTest_;
    bool testRunning_ = false;
    bool centred_ = false;
    // The key press a control last showed to FormKeyPress; only compared, never followed.
    const QKeyEvent* previewedKey_ = nullptr;
};
