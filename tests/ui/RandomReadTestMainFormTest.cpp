// The random read test started from the real main window: the mirror, closing, the silenced
// error box, Start again and "Run test" pressed during a run.

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include "MainFormRig.h"
#include "ProcessFlags.h"
#include "TtestForm.h"

using loadstar::processFlags;
using loadstar::testing::MainFormRig;

namespace {

const QString stoppedNotice = QStringLiteral("mirroring stopped\n=================");

// The main window and the test window as the program start-up wires them, connected to the
// in-process board.
class RunRig : public MainFormRig {
  public:
    RunRig() {
        form.setTestForm(&testForm);
        testForm.setSaveFileChooser([](const QString&) { return QString(); });
        connect();
    }

    QPushButton* testButton(const char* name) {
        return testForm.findChild<QPushButton*>(QString::fromLatin1(name));
    }

    // Clicks "Run test"; `onRound` runs at every event pump of the run, numbered from 1.
    void runTest(std::function<void(int round)> onRound) {
        dialogs.eventRounds = 0;
        dialogs.onEvents = std::move(onRound);
        click("btTest");
        dialogs.onEvents = nullptr;
    }
    // Clicks "Run test" and ends the run with End Test at the pump of cycle `cycles`.
    void runCycles(int cycles) {
        runTest([this, cycles](int round) {
            if (round == cycles) {
                QTest::mouseClick(testButton("btEndTest"), Qt::LeftButton);
            }
        });
    }

    // The log's cycle lines, well formed or not, without its header, summary and notices.
    QStringList cycleLines() const {
        return testForm.logLines().filter(QRegularExpression(QStringLiteral("^SelectFlash\\(")));
    }

    TtestForm testForm;
};

}  // namespace

class RandomReadTestMainFormTest : public QObject {
    Q_OBJECT

  private slots:
    void runStopsTheMirrorBeforeItsFirstLineAndLeavesItStopped() {
        RunRig rig;
        QTRY_VERIFY(rig.mirrorText().startsWith("KEL520"));  // the mirror runs
        QString mirrorAtFirstPump;
        QString captionAtFirstPump;
        rig.runTest([&](int round) {
            if (round == 1) {
                mirrorAtFirstPump = rig.mirrorText();
                captionAtFirstPump = rig.button("btStopMirror")->text();
            } else {
                QTest::mouseClick(rig.testButton("btEndTest"), Qt::LeftButton);
            }
        });
        QCOMPARE(mirrorAtFirstPump, stoppedNotice);
        QCOMPARE(captionAtFirstPump, QStringLiteral("Start Mirror"));
        QCOMPARE(rig.cycleLines().size(), 2);
        // No tick comes after the run.
        const int mirrorsSent = rig.board.countOf("MIR");
        QTest::qWait(600);
        QCOMPARE(rig.board.countOf("MIR"), mirrorsSent);
        QCOMPARE(rig.mirrorText(), stoppedNotice);
        QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Start Mirror"));
    }

    void runWithTheMirrorStoppedLeavesItAlone() {
        RunRig rig;
        rig.click("btStopMirror");
        rig.form.showMirrorText("left as it is");
        rig.runCycles(1);
        QCOMPARE(rig.mirrorText(), QStringLiteral("left as it is"));
        QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Start Mirror"));
        rig.click("btStopMirror");  // and it still restarts as usual
        QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Stop Mirror"));
    }

    void mainWindowRefusesToCloseWhileTheTestRuns() {
        RunRig rig;
        rig.form.show();
        bool closed = true;
        rig.runTest([&](int round) {
            if (round == 1) {
                closed = rig.form.close();
            } else {
                QTest::mouseClick(rig.testButton("btEndTest"), Qt::LeftButton);
            }
        });
        QVERIFY(!closed);
        QVERIFY(rig.form.isVisible());
        QCOMPARE(rig.dialogs.texts(),
                 std::vector<std::string>({"Please stop the running test first"}));
        QCOMPARE(rig.dialogs.messages.front().caption, std::string("Closing of the program"));
        QVERIFY(rig.testForm.logLines().last().endsWith(" bytes read successfully"));
    }

    void failuresDuringARunShowNoBox() {
        RunRig rig;
        rig.runTest([&](int round) {
            if (round == 2) {
                rig.setSilent(true);
            } else if (round == 3) {
                QTest::mouseClick(rig.testButton("btEndTest"), Qt::LeftButton);
            }
        });
        QVERIFY(rig.dialogs.messages.empty());
        const QStringList lines = rig.cycleLines();
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].contains(") OK, ReadFlash("));
        QVERIFY(lines[1].contains(") failed, ReadFlash("));
        QVERIFY(lines[1].contains(") failed.t="));
        QVERIFY(rig.testForm.logLines().contains("SelectFlash failed: 2 times"));
        // After the run the error box speaks again.
        rig.click("btRead");
        QVERIFY(!rig.dialogs.messages.empty());
    }

    void startAgainRunsTheMainWindowsTestAgain() {
        RunRig rig;
        rig.runCycles(2);
        QVERIFY(rig.testForm.isStartAgainEnabled());
        const QStringList first = rig.cycleLines();
        rig.dialogs.eventRounds = 0;
        rig.dialogs.onEvents = [&rig](int round) {
            if (round == 2) {
                QTest::mouseClick(rig.testButton("btEndTest"), Qt::LeftButton);
            }
        };
        QTest::mouseClick(rig.testButton("btStartAgain"), Qt::LeftButton);
        rig.dialogs.onEvents = nullptr;
        const QStringList second = rig.cycleLines();
        QCOMPARE(second.size(), 2);
        QCOMPARE(rig.testForm.logLines().count("Total cycles: 2"), 1);
        loadstar::RandomReadTest reference;
        for (const QString& line : first + second) {
            const auto cycle = reference.drawCycle();
            QVERIFY2(line.startsWith(
                         QStringLiteral("SelectFlash(%1,%2)").arg(cycle.kind).arg(cycle.sector)),
                     qPrintable(line));
        }
    }

    void runTestPressedDuringARunEndsWithBothSummaries() {
        RunRig rig;
        int round = 0;
        rig.runTest([&](int) {
            ++round;
            if (round == 2) {
                rig.click("btTest");
            } else if (round == 4) {
                QTest::mouseClick(rig.testButton("btEndTest"), Qt::LeftButton);
            }
        });
        const QStringList log = rig.testForm.logLines();
        // The inner run's header, two cycles and summary; the outer run's cycle and summary.
        QCOMPARE(log.size(), 6 + 2 + 5 + 1 + 5);
        QCOMPARE(log.count("Total cycles: 2"), 2);
        QVERIFY(!processFlags().testRunning);
        // The main window closes again once both have ended.
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
