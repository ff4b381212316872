// Random read test runs in the test window against the emulated board, in process.

#include <QAbstractButton>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "BoardModel.h"
#include "InProcessBoardPort.h"
#include "ProcessFlags.h"
#include "RandomReadLog.h"
#include "RandomReadTestRun.h"
#include "RecordingUserInterface.h"
#include "TtestForm.h"

using loadstar::processFlags;
using loadstar::emulator::BoardModel;
using loadstar::emulator::InProcessBoardPort;

namespace {

const QRegularExpression cycleLine(QString::fromLatin1(loadstar::testing::cycleLinePattern));

// The main window's part of a run, as small as it can be: the board on an in-process port, a
// "Run test" button whose click runs the test, and a mirror button that toggles its caption the
// way the mirror's handler does.
class Rig : public QObject {
  public:
    Rig() {
        ui.onEvents = [this] {
            ++pumps;
            if (onPump) {
                onPump(pumps);
            }
            QCoreApplication::processEvents();
        };
        link.setDevicePath("in-process");
        QVERIFY(link.openPort() == 1);
        testForm.setRunTestButton(&btTest);
        testForm.setSaveFileChooser([this](const QString&) { return saveAnswer; });
        QObject::connect(&btTest, &QPushButton::clicked, this, [this] {
            RandomReadTestContext context{testForm, board, ui, btStopMirror, randomReadTest};
            runRandomReadTest(context);
        });
        QObject::connect(&btStopMirror, &QPushButton::clicked, this, [this] {
            ++mirrorClicks;
            logLinesAtMirrorClick = testForm.logLines().size();
            runningAtMirrorClick = processFlags().testRunning;
            btStopMirror.setText(btStopMirror.text() == "Stop Mirror" ? "Start Mirror"
                                                                      : "Stop Mirror");
        });
    }

    QPushButton* button(const char* name) {
        return testForm.findChild<QPushButton*>(QString::fromLatin1(name));
    }

    // Runs the test from "Run test", stopping it with End Test at pump `stopAt` unless the test's
    // own onPump says otherwise.
    void runUntilPump(int stopAt) {
        pumps = 0;
        if (!onPump) {
            onPump = [this, stopAt](int pump) {
                if (pump == stopAt) {
                    QTest::mouseClick(button("btEndTest"), Qt::LeftButton);
                }
            };
        }
        QTest::mouseClick(&btTest, Qt::LeftButton);
        onPump = nullptr;
    }

    // The log's cycle lines, well formed or not, without its header, summary and notices.
    QStringList cycleLines() const {
        return testForm.logLines().filter(QRegularExpression(QStringLiteral("^SelectFlash\\(")));
    }

    BoardModel model;
    InProcessBoardPort* port = nullptr;
    loadstar::testing::RecordingUserInterface ui;
    loadstar::SerialLink link{[](const std::string&) {},
                              [this] {
                                  auto made = std::make_unique<InProcessBoardPort>(model);
                                  port = made.get();
                                  return made;
                              }};
    loadstar::BoardCommands board{link, ui};
    TtestForm testForm;
    QPushButton btTest{"Run test"};
    QPushButton btStopMirror{"Stop Mirror"};
    loadstar::RandomReadTest randomReadTest;
    std::function<void(int pump)> onPump;
    int pumps = 0;
    int mirrorClicks = 0;
    qsizetype logLinesAtMirrorClick = -1;
    bool runningAtMirrorClick = false;
    QString saveAnswer;
};

// The draws as the log shows them, without results and times.
QString drawsOf(const QString& line) {
    const auto match = cycleLine.match(line);
    return match.hasMatch() ? match.captured(1) + "," + match.captured(2) + "," +
                                  match.captured(4) + "," + match.captured(5)
                            : "bad line: " + line;
}

QString drawsOf(const loadstar::RandomReadCycle& cycle) {
    return QStringLiteral("%1,%2,%3,%4")
        .arg(cycle.kind)
        .arg(cycle.sector)
        .arg(cycle.address, 4, 16, QLatin1Char('0'))
        .arg(cycle.blockSize);
}

}  // namespace

class RandomReadTestRunTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { processFlags() = loadstar::ProcessFlags{}; }
    void cleanup() { processFlags() = loadstar::ProcessFlags{}; }

    void runWritesHeaderCyclesStatisticsAndSummary() {
        Rig rig;
        rig.runUntilPump(3);
        const QStringList log = rig.testForm.logLines();
        QCOMPARE(log.size(), 6 + 3 + 5);
        QCOMPARE(
            log.mid(0, 5),
            QStringList({"The format is: SelectFlash(flash,sector)[OK/failed],",
                         "ReadFlash(flash,sector,offset,block_size)[OK/failed],",
                         "time consumed[value in miliseconds].",
                         "All parameters are generated randomly in whole respective range.", ""}));
        const QRegularExpression date(R"(^\d{1,2}-[A-Z][a-z]{2}-\d{4}, \d\d:\d\d:\d\d$)");
        QVERIFY(log[5].startsWith("Testing started "));
        QVERIFY(date.match(log[5].mid(16)).hasMatch());
        int bytes = 0;
        for (int i = 6; i < 9; ++i) {
            const auto match = cycleLine.match(log[i]);
            QVERIFY2(match.hasMatch(), qPrintable(log[i]));
            QCOMPARE(match.captured(3), QStringLiteral("OK"));
            QCOMPARE(match.captured(6), QStringLiteral("OK"));
            bytes += match.captured(5).toInt();
        }
        QVERIFY(log[9].startsWith("Testing stopped "));
        QVERIFY(date.match(log[9].mid(16)).hasMatch());
        QCOMPARE(log.mid(10),
                 QStringList({"Total cycles: 3", "SelectFlash failed: 0 times",
                              "ReadFlash failed: 0 times",
                              QString("Total of %1 bytes read successfully").arg(bytes)}));
        QCOMPARE(rig.testForm.statisticsText(),
                 QString("Total cycles: 3\nSelectFlash failed: 0 times\nReadFlash failed: 0 "
                         "times\nTotal of %1 bytes read\n")
                     .arg(bytes));
        QCOMPARE(rig.testForm.descriptionText(),
                 QStringLiteral("This test reads blocks of\ndata, of variable size,\nfrom "
                                "randomly choosen \nFlash sector and offset."));
        QVERIFY(rig.testForm.isVisible());
        QVERIFY(!processFlags().testRunning);
    }

    void drawsStayInTheirWindowsOverManyCycles() {
        Rig rig;
        rig.runUntilPump(400);
        const QStringList lines = rig.cycleLines();
        QCOMPARE(lines.size(), 400);
        // What went on the wire: SET VM, SET PAGE and READ FLASH for every cycle.
        const auto& payloads = rig.model.payloads();
        QCOMPARE(payloads.size(), std::size_t(3 * 400));
        int boot = 0;
        for (int i = 0; i < lines.size(); ++i) {
            const auto match = cycleLine.match(lines[i]);
            QVERIFY2(match.hasMatch(), qPrintable(lines[i]));
            const int kind = match.captured(1).toInt();
            const int sector = match.captured(2).toInt();
            const int address = match.captured(4).toInt(nullptr, 16);
            const int size = match.captured(5).toInt();
            QVERIFY(size >= 10 && size <= 99);
            QVERIFY(address >= 0x8000);
            QVERIFY2(address + size - 1 < (kind == 1 ? 0x9FFF : 0xFFFF), qPrintable(lines[i]));
            QVERIFY(sector < (kind == 1 ? 4 : 8));
            boot += kind;
            const auto& read = payloads[static_cast<std::size_t>(3 * i + 2)];
            QCOMPARE(read.size(), std::size_t(6));
            QCOMPARE(int(read[3]) * 256 + int(read[4]), address);
            QCOMPARE(int(read[5]), size);
            const auto& vm = payloads[static_cast<std::size_t>(3 * i)];
            QCOMPARE(std::string(vm.begin(), vm.end()), std::string(kind == 1 ? "VM 8C" : "VM 92"));
        }
        QVERIFY(boot > 100 && boot < 300);  // both flashes are exercised
    }

    void silentBoardFailsEveryCycleWithoutBoxes() {
        Rig rig;
        loadstar::emulator::FaultSettings silent;
        silent.silent = true;
        rig.model.setFaults(silent);
        rig.runUntilPump(3);
        const QStringList lines = rig.cycleLines();
        QCOMPARE(lines.size(), 3);
        for (const QString& line : lines) {
            QVERIFY2(line.contains(") failed, ReadFlash("), qPrintable(line));
            QVERIFY2(line.contains(") failed.t="), qPrintable(line));
        }
        QCOMPARE(rig.testForm.logLines().mid(10),
                 QStringList({"Total cycles: 3", "SelectFlash failed: 3 times",
                              "ReadFlash failed: 3 times", "Total of 0 bytes read successfully"}));
        QCOMPARE(rig.testForm.statisticsText(),
                 QStringLiteral("Total cycles: 3\nSelectFlash failed: 3 times\nReadFlash failed: "
                                "3 times\nTotal of 0 bytes read\n"));
        QVERIFY(rig.ui.messages.empty());
        QCOMPARE(rig.model.countOf("RRD"), 3 * 11);  // the read is tried although select failed
        QCOMPARE(rig.model.countOf("PG "), 0);
    }

    void endTestDuringABusyCycleLogsItAndTheNextOne() {
        Rig rig;
        int reads = 0;
        rig.onPump = [](int) {};
        rig.port->onWrite = [&](const std::vector<std::uint8_t>& frame) {
            if (frame.size() > 7 && frame[4] == 'R' && frame[5] == 'R' && ++reads == 2) {
                // Pressed while the second cycle waits for its reply: the press is handled by
                // the next cycle's pump.
                QTimer::singleShot(0, rig.button("btEndTest"), &QPushButton::click);
            }
        };
        rig.runUntilPump(-1);
        QCOMPARE(rig.cycleLines().size(), 3);
        const QStringList log = rig.testForm.logLines();
        QVERIFY(log[9].startsWith("Testing stopped "));
        QCOMPARE(log[10], QStringLiteral("Total cycles: 3"));
        QVERIFY(!rig.testForm.isEndTestEnabled());
        QVERIFY(rig.testForm.isStartAgainEnabled());
    }

    void keyDuringRunEndsItAndTheWindowStays() {
        Rig rig;
        rig.onPump = [&rig](int pump) {
            if (pump == 2) {
                QTest::keyClick(rig.testForm.findChild<QPlainTextEdit*>("logMemo"), Qt::Key_Escape);
            }
        };
        rig.runUntilPump(-1);
        QCOMPARE(rig.cycleLines().size(), 2);
        QVERIFY(rig.testForm.logLines()[8].startsWith("Testing stopped "));
        QVERIFY(rig.testForm.isVisible());
        QVERIFY(rig.testForm.isEndTestEnabled());
        QVERIFY(!rig.testForm.isStartAgainEnabled());
        QTest::mouseClick(rig.button("btEndTest"), Qt::LeftButton);
        QVERIFY(rig.testForm.isStartAgainEnabled());
        // With no run, a key hides the window.
        QTest::keyClick(rig.testForm.findChild<QPlainTextEdit*>("logMemo"), Qt::Key_Escape);
        QVERIFY(!rig.testForm.isVisible());
    }

    void closingDuringRunHidesAndTheSummaryLandsInTheLog() {
        Rig rig;
        rig.onPump = [&rig](int pump) {
            if (pump == 2) {
                rig.testForm.close();
            }
        };
        rig.runUntilPump(-1);
        QVERIFY(!rig.testForm.isVisible());
        QCOMPARE(rig.cycleLines().size(), 2);
        QCOMPARE(rig.testForm.logLines().size(), 6 + 2 + 5);
        QCOMPARE(rig.testForm.logLines()[9], QStringLiteral("Total cycles: 2"));
        QVERIFY(rig.testForm.isEndTestEnabled());
        QVERIFY(!rig.testForm.isStartAgainEnabled());
        // The next run shows the window again, with the old summary cleared away.
        rig.runUntilPump(1);
        QVERIFY(rig.testForm.isVisible());
        QCOMPARE(rig.testForm.logLines().size(), 6 + 1 + 5);
    }

    void startAgainBeginsAFreshRunThatContinuesTheSequence() {
        Rig rig;
        rig.runUntilPump(4);
        QVERIFY(rig.testForm.isStartAgainEnabled());
        const QStringList first = rig.cycleLines();
        bool checkedStart = false;
        rig.onPump = [&](int pump) {
            if (pump == 1) {
                // The new run has just started: empty log but for the header, zeroed counters.
                QCOMPARE(rig.testForm.logLines().size(), 6);
                QVERIFY(!rig.testForm.isStartAgainEnabled());
                QVERIFY(rig.testForm.isEndTestEnabled());
                checkedStart = true;
            } else if (pump == 3) {
                QTest::mouseClick(rig.button("btEndTest"), Qt::LeftButton);
            }
        };
        rig.pumps = 0;
        QTest::mouseClick(rig.button("btStartAgain"), Qt::LeftButton);
        QVERIFY(checkedStart);
        const QStringList second = rig.cycleLines();
        QCOMPARE(second.size(), 3);
        QVERIFY(rig.testForm.statisticsText().startsWith("Total cycles: 3\n"));
        QCOMPARE(rig.testForm.logLines()[10], QStringLiteral("Total cycles: 3"));
        loadstar::RandomReadTest reference;
        for (const QString& line : first + second) {
            QCOMPARE(drawsOf(line), drawsOf(reference.drawCycle()));
        }
    }

    void runStopsARunningMirrorAndLeavesItStopped() {
        Rig rig;
        rig.runUntilPump(2);
        QCOMPARE(rig.mirrorClicks, 1);
        QCOMPARE(rig.logLinesAtMirrorClick, 0);  // before the run's first line
        QVERIFY(!rig.runningAtMirrorClick);
        QCOMPARE(rig.btStopMirror.text(), QStringLiteral("Start Mirror"));
        // A run with the mirror stopped does not touch it.
        rig.runUntilPump(2);
        QCOMPARE(rig.mirrorClicks, 1);
        QCOMPARE(rig.btStopMirror.text(), QStringLiteral("Start Mirror"));
    }

    void mirrorCaptionMustMatchExactly() {
        Rig rig;
        rig.btStopMirror.setText("stop mirror");
        rig.runUntilPump(1);
        QCOMPARE(rig.mirrorClicks, 0);
    }

    void saveLogDuringRunHoldsTheLogUpToTheLastCycle() {
        Rig rig;
        QTemporaryDir dir;
        rig.saveAnswer = dir.filePath("during.log");
        rig.onPump = [&rig](int pump) {
            if (pump == 3) {
                QTest::mouseClick(rig.button("btSaveLog"), Qt::LeftButton);
            } else if (pump == 5) {
                QTest::mouseClick(rig.button("btEndTest"), Qt::LeftButton);
            }
        };
        rig.runUntilPump(-1);
        QFile file(rig.saveAnswer);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> saved = file.readAll().split('\n');
        QCOMPARE(saved.size(), 6 + 2 + 1);  // two cycles; the last split part is empty
        QVERIFY(saved[7].startsWith("SelectFlash("));
        QVERIFY(saved[7].endsWith('\r'));
        QCOMPARE(rig.cycleLines().size(), 5);  // the run went on

        // After the run, the five summary lines come last.
        rig.saveAnswer = dir.filePath("after.log");
        QTest::mouseClick(rig.button("btSaveLog"), Qt::LeftButton);
        QFile after(rig.saveAnswer);
        QVERIFY(after.open(QIODevice::ReadOnly));
        const QByteArray content = after.readAll();
        QVERIFY(content.endsWith(" bytes read successfully\r\n"));
        QCOMPARE(content.count("\r\n"), 6 + 5 + 5);
        QCOMPARE(content.count('\n'), content.count("\r\n"));
    }

    void runTestPressedDuringARunNestsAsOftenAsPressed() {
        Rig rig;
        int nestedStarts = 0;
        rig.onPump = [&](int) {
            if (nestedStarts < 50) {
                ++nestedStarts;
                QTest::mouseClick(&rig.btTest, Qt::LeftButton);
            } else {
                QTest::mouseClick(rig.button("btEndTest"), Qt::LeftButton);
            }
        };
        rig.runUntilPump(-1);
        const QStringList log = rig.testForm.logLines();
        // The innermost run's header, cycle and summary, then each outer run's cycle and summary.
        QCOMPARE(log.size(), 6 + 51 * (1 + 5));
        QCOMPARE(log.count("Total cycles: 1"), 51);
        QVERIFY(!processFlags().testRunning);
    }

    void firstSequenceIsTheSameAtEveryProgramStart() {
        QStringList runs;
        for (int start = 0; start < 2; ++start) {
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("LOADSTAR_FIRST_RUN_ONLY", "1");
            child.setProcessEnvironment(environment);
            child.start(QCoreApplication::applicationFilePath(), {});
            QVERIFY(child.waitForFinished(60000));
            QCOMPARE(child.exitCode(), 0);
            runs << QString::fromLatin1(child.readAllStandardOutput());
        }
        QCOMPARE(runs[0].count('\n'), 8);
        QCOMPARE(runs[0], runs[1]);
        // And it is the generator's fixed sequence.
        loadstar::RandomReadTest reference;
        QString expected;
        for (int i = 0; i < 8; ++i) {
            expected += drawsOf(reference.drawCycle()) + "\n";
        }
        QCOMPARE(runs[0], expected);
    }
};

// Started by firstSequenceIsTheSameAtEveryProgramStart as a fresh program: one run of eight
// cycles, its draws on stdout.
int firstRunOnly() {
    Rig rig;
    rig.runUntilPump(8);
    for (const QString& line : rig.cycleLines()) {
        std::printf("%s\n", qPrintable(drawsOf(line)));
    }
    return 0;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("LOADSTAR_FIRST_RUN_ONLY")) {
        return firstRunOnly();
    }
    RandomReadTestRunTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RandomReadTestRunTest.moc"
