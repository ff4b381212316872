// The random read test started from the real main window and shown in the real test window: the
// mirror, the window's buttons and keys, closing, the silenced error box, Save Log and Start
// again. The run's own logic (draws, lines, counts, nesting) is tested in the core.

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "CalendarTime.h"
#include "MainFormRig.h"
#include "TtestForm.h"

using loadstar::processFlags;
using loadstar::testing::MainFormRig;

namespace {

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
    // Runs the test and ends it with End Test at the pump of cycle `cycles`.
    void runCycles(int cycles) {
        runTest(
            [this, cycles](int round) { round == cycles ? clickTestButton("btEndTest") : void(); });
    }

    TtestForm testForm;
    QString saveAnswer;
    QStringList proposedNames;
    QStringList errors;
};

}  // namespace

class RandomReadTestMainFormTest : public QObject {
    Q_OBJECT

  private slots:
    void runStopsTheMirrorBeforeItsFirstLineAndEndTestSwapsTheButtons() {
        RunRig rig;
        QCOMPARE(rig.testForm.windowTitle(), "Flash Random Read Test");
        QCOMPARE(rig.testForm.size(), QSize(507, 296));
        QCOMPARE(rig.testForm.maximumSize(), rig.testForm.size());
        QVERIFY(!(rig.testForm.windowFlags() &
                  (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!rig.testForm.isVisible());
        QTRY_VERIFY(rig.mirrorText().startsWith("KEL520"));  // the mirror runs
        qsizetype linesAtMirrorStop = -1;
        QObject::connect(rig.button("btStopMirror"), &QAbstractButton::clicked,
                         [&] { linesAtMirrorStop = rig.testForm.logLines().size(); });
        rig.runCycles(1);
        QCOMPARE(linesAtMirrorStop, 0);
        QCOMPARE(rig.mirrorText(), "mirroring stopped\n=================");
        QCOMPARE(rig.button("btStopMirror")->text(), "Start Mirror");
        QVERIFY(!rig.mirrorTimerActive());
        QVERIFY(rig.testForm.isVisible());
        QCOMPARE(rig.testForm.logLines().size(), 6 + 1 + 5);
        QVERIFY(rig.testForm.descriptionText().startsWith("This test reads blocks of\n"));
        QVERIFY(rig.testForm.statisticsText().startsWith("Total cycles: 1\n"));
        QVERIFY(!rig.testForm.isEndTestEnabled() && rig.testForm.isStartAgainEnabled());
    }

    void closingTheMainWindowIsRefusedDuringARun() {
        RunRig rig;
        rig.form.show();
        bool closed = true;
        rig.runTest([&](int round) {
            round == 1 ? void(closed = rig.form.close()) : rig.clickTestButton("btEndTest");
        });
        QVERIFY(!closed && rig.form.isVisible() && rig.form.link().isPortOpen());
        QVERIFY(!processFlags().cancelRequested);
        QCOMPARE(rig.dialogs.texts(),
                 loadstar::testing::Names{"Please stop the running test first"});
        QCOMPARE(rig.dialogs.messages.front().caption, "Closing of the program");
        QVERIFY(rig.testForm.statisticsText().startsWith("Total cycles: 2\n"));
    }

    void keysAndClosingStopARunOrHideTheWindow() {
        RunRig rig;
        rig.runTest([&](int round) { rig.key(round == 1 ? Qt::Key_Tab : Qt::Key_Q); });
        // Tab is no key press of the window.
        QVERIFY(rig.testForm.statisticsText().startsWith("Total cycles: 2\n"));
        QVERIFY(rig.testForm.logLines().last().endsWith(" bytes read successfully"));
        QVERIFY(rig.testForm.isVisible());
        rig.key(Qt::Key_Escape);  // with no run, a key hides the window
        QVERIFY(!rig.testForm.isVisible());
        rig.runTest([&](int round) { round == 2 ? void(rig.testForm.close()) : void(); });
        QVERIFY(!rig.testForm.isVisible());
        QCOMPARE(rig.testForm.logLines().size(), 6 + 2 + 5);
    }

    void startAgainBeginsAFreshRunThatContinuesTheSequence() {
        RunRig rig;
        rig.runCycles(4);
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
        // After the run, over the shorter file: every line and the summary, nothing else.
        rig.clickTestButton("btSaveLog");
        QCOMPARE(contents(), (rig.testForm.logLines().join("\r\n") + "\r\n").toLatin1());
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RandomReadTestMainFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RandomReadTestMainFormTest.moc"
