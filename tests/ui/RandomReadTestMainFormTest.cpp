// The random read test started from the real main window and shown in the real test window: the
// log, the mirror, the window's buttons and keys, closing, the silenced error box, Save Log,
// Start again and "Run test" pressed during a run.

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "CalendarTime.h"
#include "MainFormRig.h"
#include "RandomReadLog.h"
#include "TtestForm.h"

using loadstar::processFlags;
using loadstar::testing::MainFormRig;

namespace {

// A cycle's line up to its read time.
QString untimed(const QString& line) {
    return line.left(line.lastIndexOf("t="));
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "<missing>";
}

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
    void runCycles(int cycles, const char* button = "btTest") {
        runTest(
            [this, cycles](int round) { round == cycles ? clickTestButton("btEndTest") : void(); },
            button);
    }
    QStringList cycleLines() const {
        QStringList lines;
        for (const QString& line : testForm.logLines()) {
            if (loadstar::testing::isCycleLine(line.toStdString())) {
                lines << line;
            }
        }
        return lines;
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
    void testWindowIsFixedAndHidden() {
        TtestForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Flash Random Read Test"));
        QCOMPARE(form.size(), QSize(507, 296));
        QCOMPARE(form.maximumSize(), QSize(507, 296));
        QVERIFY(!form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!form.isVisible());
    }

    void runStopsTheMirrorBeforeItsFirstLineAndEndTestSwapsTheButtons() {
        RunRig rig;
        QTRY_VERIFY(rig.mirrorText().startsWith("KEL520"));  // the mirror runs
        qsizetype linesAtMirrorStop = -1;
        QObject::connect(rig.button("btStopMirror"), &QAbstractButton::clicked,
                         [&] { linesAtMirrorStop = rig.testForm.logLines().size(); });
        bool buttonsForRun = false;
        rig.runCycles(2);
        rig.runTest([&](int round) {
            buttonsForRun = rig.testForm.isEndTestEnabled() && !rig.testForm.isStartAgainEnabled();
            rig.clickTestButton("btEndTest");
            QVERIFY(round == 1 && processFlags().stopTest);
        });
        QVERIFY(buttonsForRun);
        QVERIFY(!rig.testForm.isEndTestEnabled());
        QVERIFY(rig.testForm.isStartAgainEnabled());
        QCOMPARE(linesAtMirrorStop, 0);
        QCOMPARE(rig.mirrorText(), QStringLiteral("mirroring stopped\n================="));
        QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Start Mirror"));
        QVERIFY(!rig.form.findChild<QTimer*>("mirrorTimer")->isActive());
        QVERIFY(rig.testForm.isVisible());
        QCOMPARE(rig.testForm.logLines().size(), 6 + 1 + 5);
        QVERIFY(rig.testForm.descriptionText().startsWith("This test reads blocks of\n"));
        QVERIFY(rig.testForm.statisticsText().startsWith("Total cycles: 1\n"));
        // A caption not exactly "Stop Mirror" does not stop it.
        rig.click("btStopMirror");
        rig.button("btStopMirror")->setText("stop mirror");
        rig.runCycles(1);
        QVERIFY(rig.form.findChild<QTimer*>("mirrorTimer")->isActive());
    }

    void failuresDuringARunShowNoBoxAndCloseIsRefused() {
        RunRig rig;
        rig.form.show();
        bool closed = true;
        rig.runTest([&](int round) {
            if (round == 1) {
                closed = rig.form.close();
            } else if (round == 2) {
                rig.setSilent(true);
            } else {
                rig.clickTestButton("btEndTest");
            }
        });
        QVERIFY(!closed);
        QVERIFY(rig.form.isVisible());
        QVERIFY(!processFlags().cancelRequested);
        QCOMPARE(rig.dialogs.texts(),
                 std::vector<std::string>({"Please stop the running test first"}));
        QCOMPARE(rig.dialogs.messages.front().caption, std::string("Closing of the program"));
        const QStringList lines = rig.cycleLines();
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].contains(") OK, ReadFlash("));
        QVERIFY(lines[1].contains(") failed, ReadFlash("));
        QVERIFY(lines[1].contains(") failed.t="));
        QVERIFY(rig.testForm.logLines().contains("SelectFlash failed: 2 times"));
        rig.click("btRead");  // after the run the error box speaks again
        QCOMPARE(rig.dialogs.messages.size(), std::size_t{2});
    }

    void keysAndClosingStopARunOrHideTheWindow() {
        RunRig rig;
        rig.runTest([&](int round) { rig.key(round == 1 ? Qt::Key_Tab : Qt::Key_Q); });
        QCOMPARE(rig.cycleLines().size(), 2);  // Tab is no key press of the window
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
        const QStringList first = rig.cycleLines();
        qsizetype logAtStart = -1;
        rig.runTest(
            [&](int round) {
                logAtStart = round == 1 ? rig.testForm.logLines().size() : logAtStart;
                round == 3 ? rig.clickTestButton("btEndTest") : void();
            },
            "btStartAgain");
        QCOMPARE(logAtStart, 6);  // the header of a fresh log
        QVERIFY(rig.testForm.statisticsText().startsWith("Total cycles: 3\n"));
        QCOMPARE(rig.testForm.logLines().count("Total cycles: 3"), 1);
        // Every new window's first run draws the generator's fixed sequence; the second goes on.
        const QStringList second = rig.cycleLines();
        QCOMPARE(second.size(), 3);
        loadstar::RandomReadTest reference;
        for (const QString& line : first + second) {
            const auto expected =
                loadstar::randomReadLogLine(reference.drawCycle(), true, true, {});
            QCOMPARE(untimed(line), untimed(QString::fromStdString(expected)));
        }
    }

    void saveLogWritesTheLogAsItStandsWithCrLf() {
        RunRig rig;
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("folder");
        rig.testForm.setClock([] { return loadstar::testing::localTime(17, 1, 2027, 19, 45, 0); });
        rig.runTest([&](int round) {
            // Folders, missing or in the way, cannot be written; the run goes on all the same.
            const QString answers[] = {"", "folder", "no/such/run.log", "during.log"};
            if (round <= 4) {
                rig.saveAnswer = round == 1 ? QString() : dir.filePath(answers[round - 1]);
                rig.clickTestButton("btSaveLog");
            } else {
                rig.clickTestButton("btEndTest");
            }
        });
        QCOMPARE(rig.proposedNames.first(), QStringLiteral("RS232_test_17-Jan-2027_19-45-00"));
        QCOMPARE(rig.errors,
                 QStringList({"Cannot create file " + dir.filePath("folder"),
                              "Cannot create file " + dir.filePath("no/such/run.log")}));
        QCOMPARE(rig.cycleLines().size(), 5);
        const QByteArray during = contentsOf(dir.filePath("during.log"));
        QCOMPARE(during.count("\r\n"), 6 + 3);  // the header and three cycles
        QCOMPARE(during.count('\n'), during.count("\r\n"));
        // After the run, over the longer file: every line and the summary, nothing else.
        rig.saveAnswer = dir.filePath("during.log");
        rig.clickTestButton("btSaveLog");
        QCOMPARE(contentsOf(rig.saveAnswer),
                 (rig.testForm.logLines().join("\r\n") + "\r\n").toLatin1());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"during.log"}));
    }

    void runTestPressedDuringARunNestsAsOftenAsPressed() {
        RunRig rig;
        int nestedStarts = 0;
        rig.runTest([&](int) {
            nestedStarts++ < 50 ? rig.click("btTest") : rig.clickTestButton("btEndTest");
        });
        // The innermost run's header, cycle and summary, then each outer run's cycle and summary.
        const QStringList log = rig.testForm.logLines();
        QCOMPARE(log.size(), 6 + 51 * (1 + 5));
        QCOMPARE(log.count("Total cycles: 1"), 51);
        QVERIFY(!processFlags().testRunning);
        QVERIFY(rig.form.close());  // the main window closes once every run has ended
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RandomReadTestMainFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RandomReadTestMainFormTest.moc"
