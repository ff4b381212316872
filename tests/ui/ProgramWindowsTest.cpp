// The program's two windows: the random read test run from the main window and shown in the test
// window (the run's own logic is tested in the core), and both windows under the real event loop,
// where a close ends the loop once the running handler has returned and an exception that escapes
// a handler is shown and ends the program.

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <stdexcept>

#include "MainFormRig.h"
#include "app/LoadstarApplication.h"
#include "app/ProgramWindows.h"
#include "support/CalendarTime.h"
#include "ui/TtestForm.h"

using loadstar::testing::MainFormRig;

namespace {

loadstar::LoadstarApplication& application() {
    return *static_cast<loadstar::LoadstarApplication*>(QCoreApplication::instance());
}

// The windows on the emulated board, their boxes answered by RecordingDialogs.
struct Program {
    Program()
        : windows(dialogs, [this] {
              return std::make_unique<loadstar::emulator::InProcessBoardPort>(board);
          }) {
        windows.show();
    }

    void click(const char* name) {
        QTest::mouseClick(windows.mainForm().findChild<QAbstractButton*>(name), Qt::LeftButton);
    }
    // Runs the event loop until it ends; -1 when it did not end within ten seconds.
    static int runEventLoop() {
        const QObject watchdog;  // its timer goes with it
        QTimer::singleShot(10000, &watchdog, [] { QCoreApplication::exit(-1); });
        return application().exec();
    }

    loadstar::emulator::BoardModel board;
    loadstar::testing::RecordingDialogs dialogs;
    loadstar::ProgramWindows windows;
};

// The main window and the test window as the program start-up wires them, connected to the
// in-process board.
class RunRig : public MainFormRig {
  public:
    RunRig() {
        form.setTestForm(&testForm);
        testForm.setSaveFileChooser([this](const QString& proposed) {
            proposedNames << proposed;
            return saveAnswer;
        });
        testForm.setErrorReporter([this](const QString& message) { errors << message; });
        connect();
    }

    void clickTestButton(const char* name) {
        QTest::mouseClick(testForm.findChild<QPushButton*>(name), Qt::LeftButton);
    }
    void key(Qt::Key key) { QTest::keyClick(testForm.findChild<QWidget*>("logMemo"), key); }
    // Clicks `button` of the main window or the test window; `onRound` runs at every event pump
    // of the run, numbered from 1.
    void runTest(std::function<void(int round)> onRound, const char* button = "btTest") {
        dialogs.eventRounds = 0;
        dialogs.onEvents = std::move(onRound);
        QString(button) == "btTest" ? click(button) : clickTestButton(button);
        dialogs.onEvents = nullptr;
    }

    TtestForm testForm;
    QString saveAnswer;
    QStringList proposedNames;
    QStringList errors;
};

}  // namespace

class ProgramWindowsTest : public QObject {
    Q_OBJECT

  private slots:
    void runStopsTheMirrorEndTestSwapsTheButtonsAndStartAgainBeginsAFreshRun() {
        RunRig rig;
        QCOMPARE(rig.testForm.windowTitle(), "Flash Random Read Test");
        QCOMPARE(rig.testForm.size(), QSize(507, 296));
        QCOMPARE(rig.testForm.maximumSize(), rig.testForm.size());
        for (QWidget* control : rig.testForm.findChildren<QWidget*>()) {
            QVERIFY2(control->objectName().isEmpty() || !control->toolTip().isEmpty() ||
                         control->parent() != &rig.testForm,
                     qPrintable(control->objectName()));
        }
        QVERIFY(!(rig.testForm.windowFlags() &
                  (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!rig.testForm.isVisible());
        qsizetype linesAtMirrorStop = -1;
        QObject::connect(rig.button("btStopMirror"), &QAbstractButton::clicked,
                         [&] { linesAtMirrorStop = rig.testForm.logLines().size(); });
        rig.runTest([&](int) { rig.clickTestButton("btEndTest"); });
        QCOMPARE(linesAtMirrorStop, 0);
        QCOMPARE(rig.mirrorText(), "mirroring stopped\n=================");
        QCOMPARE(rig.button("btStopMirror")->text(), "Start Mirror");
        QVERIFY(!rig.mirrorTimerActive());
        QVERIFY(rig.testForm.isVisible());
        QCOMPARE(rig.testForm.logLines().size(), 6 + 1 + 5);
        QCOMPARE(rig.testForm.descriptionText(),
                 "This test reads blocks of\ndata, of variable size,\nfrom randomly choosen \n"
                 "Flash sector and offset.");
        QVERIFY(rig.testForm.statisticsText().startsWith("Total cycles: 1\n"));
        QVERIFY(!rig.testForm.isEndTestEnabled() && rig.testForm.isStartAgainEnabled());

        const QString first = rig.testForm.logLines().at(6);  // the first cycle's line
        qsizetype logAtStart = -1;
        bool buttonsForRun = false;
        rig.runTest(
            [&](int round) {
                if (round == 1) {
                    logAtStart = rig.testForm.logLines().size();
                    buttonsForRun =
                        rig.testForm.isEndTestEnabled() && !rig.testForm.isStartAgainEnabled();
                }
                round == 3 ? rig.clickTestButton("btEndTest") : void();
            },
            "btStartAgain");
        QCOMPARE(logAtStart, 6);  // the header of a fresh log
        QVERIFY(buttonsForRun);
        QVERIFY(rig.testForm.statisticsText().startsWith("Total cycles: 3\n"));
        // A run started with the mirror stopped leaves it stopped.
        QCOMPARE(rig.button("btStopMirror")->text(), "Start Mirror");
        QVERIFY(!rig.mirrorTimerActive());
        // The window keeps one generator: the second run goes on with its sequence.
        QVERIFY(rig.testForm.logLines().at(6).section("t=", 0, 0) != first.section("t=", 0, 0));
    }

    void keysAndClosingStopARunOrHideTheWindowWhileTheMainWindowStays() {
        RunRig rig;
        rig.form.show();
        bool closed = true;
        rig.runTest([&](int round) {
            closed = round == 1 ? rig.form.close() : closed;
            rig.key(round == 1 ? Qt::Key_Tab : Qt::Key_Q);
        });
        // Tab is no key press of the window; the main window refused to close.
        QVERIFY(rig.testForm.statisticsText().startsWith("Total cycles: 2\n"));
        QVERIFY(!closed && rig.form.isVisible() && rig.form.link().isPortOpen());
        QVERIFY(!rig.form.cancelRequested());
        QCOMPARE(rig.dialogs.texts(),
                 loadstar::testing::Names{"Please stop the running test first"});
        QCOMPARE(rig.dialogs.messages.front().caption, "Closing of the program");
        QVERIFY(rig.testForm.logLines().last().endsWith(" bytes read successfully"));
        QVERIFY(rig.testForm.isVisible());
        rig.key(Qt::Key_Escape);  // with no run, a key hides the window
        QVERIFY(!rig.testForm.isVisible());
        rig.runTest([&](int round) { round == 2 ? void(rig.testForm.close()) : void(); });
        QVERIFY(!rig.testForm.isVisible());
        QCOMPARE(rig.testForm.logLines().size(), 6 + 2 + 5);
    }

    void saveLogWritesTheLogAsItStandsWithCrLf() {
        RunRig rig;
        QTemporaryDir dir;
        rig.testForm.setClock([] { return loadstar::testing::localTime(17, 1, 2027, 19, 45, 0); });
        const auto contents = [&] {
            QFile file(dir.filePath("run.log"));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : "<missing>";
        };
        QByteArray duringTheRun;
        rig.runTest([&](int round) {
            // Dismissed, cannot be created, and written: the run goes on all the same.
            if (round <= 3) {
                rig.saveAnswer =
                    round == 1 ? "" : dir.filePath(round == 2 ? "no/run.log" : "run.log");
                rig.clickTestButton("btSaveLog");
                duringTheRun = contents();
            } else {
                rig.clickTestButton("btEndTest");
            }
        });
        QCOMPARE(rig.proposedNames.first(), "RS232_test_17-Jan-2027_19-45-00");
        QCOMPARE(rig.errors, QStringList{"Cannot create file " + dir.filePath("no/run.log")});
        QVERIFY(rig.testForm.statisticsText().startsWith("Total cycles: 4\n"));
        QCOMPARE(duringTheRun.count("\r\n"), 6 + 2);  // the header and two cycles
        // After the run, over that file: every line and the summary, nothing else.
        rig.clickTestButton("btSaveLog");
        QCOMPARE(contents(), (rig.testForm.logLines().join("\r\n") + "\r\n").toLatin1());
    }

    void closeDuringAPassEndsTheLoopAfterTheHandlerHasReturned() {
        Program program;
        program.click("btConnect");
        program.board.clearPayloads();
        bool portClosedAtOnce = false;
        program.dialogs.onEvents = [&](int round) {
            if (round == 3) {
                program.windows.mainForm().close();
                portClosedAtOnce = !program.windows.mainForm().link().isPortOpen();
            }
        };
        QString statusWhenHandlerReturned;
        QTimer::singleShot(0, [&] {
            program.click("btBlankCheck");
            statusWhenHandlerReturned = program.windows.mainForm().statusText();
        });
        QCOMPARE(Program::runEventLoop(), 0);
        QCOMPARE(statusWhenHandlerReturned, QStringLiteral("Blank Check cancelled."));
        QVERIFY(portClosedAtOnce);
        QVERIFY(!program.windows.mainForm().isVisible());
        QVERIFY(program.windows.testForm().stopTest().requested());
    }

    void exceptionInAHandlerIsShownAndEndsTheProgram() {
        Program program;
        QStringList shown;
        application().setExceptionReporter([&](const QString& text) { shown << text; });
        QTimer::singleShot(0, [] { throw std::runtime_error("the handler failed"); });
        QCOMPARE(Program::runEventLoop(), 0);
        QCOMPARE(shown, QStringList{QStringLiteral("the handler failed")});
        QVERIFY(program.windows.mainForm().cancelRequested());
        QVERIFY(program.windows.testForm().stopTest().requested());
    }
};

int main(int argc, char** argv) {
    loadstar::LoadstarApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    ProgramWindowsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ProgramWindowsTest.moc"
