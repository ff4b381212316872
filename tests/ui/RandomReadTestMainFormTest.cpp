// The random read test started from the real main window and shown in the real test window: the
// log, the mirror, closing, the silenced error box, Save Log during a run, Start again and "Run
// test" pressed during a run.

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "MainFormRig.h"
#include "ProcessFlags.h"
#include "RandomReadLog.h"
#include "TtestForm.h"

using loadstar::processFlags;
using loadstar::testing::MainFormRig;

namespace {

const QString stoppedNotice = QStringLiteral("mirroring stopped\n=================");

// A cycle's line up to its read time.
QString untimed(const QString& line) {
    return line.left(line.lastIndexOf("t="));
}

// The main window and the test window as the program start-up wires them, connected to the
// in-process board.
class RunRig : public MainFormRig {
  public:
    RunRig() {
        form.setTestForm(&testForm);
        testForm.setSaveFileChooser([this](const QString&) { return saveAnswer; });
        connect();
    }

    void clickTestButton(const char* name) {
        QTest::mouseClick(testForm.findChild<QPushButton*>(name), Qt::LeftButton);
    }
    // Clicks `button` ("Run test" or "Start again"); `onRound` runs at every event pump of the
    // run, numbered from 1.
    void runTest(std::function<void(int round)> onRound, const char* button = "btTest") {
        dialogs.eventRounds = 0;
        dialogs.onEvents = std::move(onRound);
        QString(button) == "btTest" ? click(button) : clickTestButton(button);
        dialogs.onEvents = nullptr;
    }
    // Runs the test and ends it with End Test at the pump of cycle `cycles`.
    void runCycles(int cycles, const char* button = "btTest") {
        runTest(
            [this, cycles](int round) {
                if (round == cycles) {
                    clickTestButton("btEndTest");
                }
            },
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
};

}  // namespace

class RandomReadTestMainFormTest : public QObject {
    Q_OBJECT

  private slots:
    void runStopsTheMirrorBeforeItsFirstLineAndLeavesItStopped() {
        RunRig rig;
        QTRY_VERIFY(rig.mirrorText().startsWith("KEL520"));  // the mirror runs
        qsizetype linesAtMirrorStop = -1;
        QObject::connect(rig.button("btStopMirror"), &QAbstractButton::clicked,
                         [&] { linesAtMirrorStop = rig.testForm.logLines().size(); });
        rig.runCycles(2);
        QCOMPARE(linesAtMirrorStop, 0);
        QCOMPARE(rig.mirrorText(), stoppedNotice);
        QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Start Mirror"));
        QVERIFY(!rig.form.findChild<QTimer*>("mirrorTimer")->isActive());
        QVERIFY(rig.testForm.isVisible());
        QCOMPARE(rig.testForm.logLines().size(), 6 + 2 + 5);
        QVERIFY(rig.testForm.descriptionText().startsWith("This test reads blocks of\n"));
        QVERIFY(rig.testForm.statisticsText().startsWith("Total cycles: 2\n"));
        // A run with the mirror stopped leaves it alone; a caption not exactly "Stop Mirror"
        // does not stop it either.
        rig.form.showMirrorText("left as it is");
        rig.runCycles(1);
        QCOMPARE(rig.mirrorText(), QStringLiteral("left as it is"));
        rig.click("btStopMirror");  // started again
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
        QCOMPARE(rig.dialogs.texts(),
                 std::vector<std::string>({"Please stop the running test first"}));
        QCOMPARE(rig.dialogs.messages.front().caption, std::string("Closing of the program"));
        const QStringList lines = rig.cycleLines();
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].contains(") OK, ReadFlash("));
        QVERIFY(lines[1].contains(") failed, ReadFlash("));
        QVERIFY(lines[1].contains(") failed.t="));
        QVERIFY(rig.testForm.logLines().contains("SelectFlash failed: 2 times"));
        // After the run the error box speaks again.
        rig.click("btRead");
        QCOMPARE(rig.dialogs.messages.size(), std::size_t{2});
    }

    void startAgainBeginsAFreshRunThatContinuesTheSequence() {
        RunRig rig;
        rig.runCycles(4);
        QVERIFY(rig.testForm.isStartAgainEnabled());
        const QStringList first = rig.cycleLines();
        qsizetype logAtStart = -1;
        rig.runTest(
            [&](int round) {
                if (round == 1) {
                    logAtStart = rig.testForm.logLines().size();
                    QVERIFY(!rig.testForm.isStartAgainEnabled());
                } else if (round == 3) {
                    rig.clickTestButton("btEndTest");
                }
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

    void saveLogDuringRunHoldsTheLogUpToTheLastCycle() {
        RunRig rig;
        QTemporaryDir dir;
        rig.saveAnswer = dir.filePath("during.log");
        rig.runTest([&rig](int round) {
            if (round == 3) {
                rig.clickTestButton("btSaveLog");
            } else if (round == 5) {
                rig.clickTestButton("btEndTest");
            }
        });
        QFile file(rig.saveAnswer);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray saved = file.readAll();
        QCOMPARE(saved.count("\r\n"), 6 + 2);  // the header and two cycles
        QCOMPARE(saved.count('\n'), saved.count("\r\n"));
        QCOMPARE(rig.cycleLines().size(), 5);  // the run went on
    }

    void runTestPressedDuringARunNestsAsOftenAsPressed() {
        RunRig rig;
        int nestedStarts = 0;
        rig.runTest([&](int) {
            if (nestedStarts < 50) {
                ++nestedStarts;
                rig.click("btTest");
            } else {
                rig.clickTestButton("btEndTest");
            }
        });
        // The innermost run's header, cycle and summary, then each outer run's cycle and summary.
        const QStringList log = rig.testForm.logLines();
        QCOMPARE(log.size(), 6 + 51 * (1 + 5));
        QCOMPARE(log.count("Total cycles: 1"), 51);
        QVERIFY(!processFlags().testRunning);
        // The main window closes again once every run has ended.
        QVERIFY(rig.form.close());
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RandomReadTestMainFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RandomReadTestMainFormTest.moc"
