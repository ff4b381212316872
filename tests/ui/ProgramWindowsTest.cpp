// The program's two windows under the real event loop of the application: closing ends the loop
// only once the running handler has returned, the random read test starts from the main window,
// and an exception that escapes a handler is shown and ends the program.

#include <QAbstractButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>
#include <stdexcept>

#include "BoardModel.h"
#include "InProcessBoardPort.h"
#include "LoadstarApplication.h"
#include "ProcessFlags.h"
#include "ProgramWindows.h"
#include "RecordingDialogs.h"

using loadstar::processFlags;

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
        processFlags() = loadstar::ProcessFlags{};
        windows.show();
    }
    ~Program() { processFlags() = loadstar::ProcessFlags{}; }

    QAbstractButton* button(const char* name) {
        auto* found = windows.mainForm().findChild<QAbstractButton*>(QString::fromLatin1(name));
        if (found == nullptr) {
            found = windows.testForm().findChild<QAbstractButton*>(QString::fromLatin1(name));
        }
        if (found == nullptr) {
            qFatal("no button %s", name);
        }
        return found;
    }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    // Runs the event loop until it ends; -1 when it did not end within ten seconds.
    int runEventLoop() {
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
        watchdog.start(10000);
        return application().exec();
    }

    loadstar::emulator::BoardModel board;
    loadstar::testing::RecordingDialogs dialogs;
    loadstar::ProgramWindows windows;
};

}  // namespace

class ProgramWindowsTest : public QObject {
    Q_OBJECT

  private slots:
    void mainWindowShowsAndTheTestWindowWaitsHidden();
    void closeWhileIdleEndsTheEventLoop();
    void closeDuringAPassEndsTheLoopAfterTheHandlerHasReturned();
    void closeIsRefusedWhileTheRandomTestRuns();
    void startAgainRunsTheTestOnceMore();
    void exceptionInAHandlerIsShownAndEndsTheProgram();
};

void ProgramWindowsTest::mainWindowShowsAndTheTestWindowWaitsHidden() {
    Program program;
    QVERIFY(program.windows.mainForm().isVisible());
    QVERIFY(program.windows.testForm().isHidden());
    QCOMPARE(program.windows.testForm().objectName(), QStringLiteral("testForm"));
    QCOMPARE(program.windows.mainForm().objectName(), QStringLiteral("mainForm"));
    QVERIFY(!program.windows.mainForm().windowIcon().pixmap(32).isNull());
    QVERIFY(!program.windows.testForm().windowIcon().pixmap(32).isNull());
}

void ProgramWindowsTest::closeWhileIdleEndsTheEventLoop() {
    Program program;
    program.click("btConnect");
    QTimer::singleShot(0, [&] { program.click("btClose"); });
    QCOMPARE(program.runEventLoop(), 0);
    QVERIFY(!program.windows.mainForm().isVisible());
    QVERIFY(!program.windows.mainForm().link().isPortOpen());
}

void ProgramWindowsTest::closeDuringAPassEndsTheLoopAfterTheHandlerHasReturned() {
    Program program;
    program.click("btConnect");
    program.board.clearPayloads();
    program.dialogs.onEvents = [&](int round) {
        if (round == 3) {
            program.windows.mainForm().close();
        }
    };
    QString statusWhenHandlerReturned;
    bool portOpenAfterClose = true;
    QTimer::singleShot(0, [&] {
        program.click("btBlankCheck");
        statusWhenHandlerReturned = program.windows.mainForm().statusText();
        portOpenAfterClose = program.windows.mainForm().link().isPortOpen();
    });
    QCOMPARE(program.runEventLoop(), 0);
    QCOMPARE(statusWhenHandlerReturned, QStringLiteral("Blank Check cancelled."));
    QVERIFY(!portOpenAfterClose);
    QCOMPARE(program.board.countOf("RRD"), 3);
    QVERIFY(program.dialogs.messages.empty());
    // The windows are still there after the loop; they go with their owner.
    QVERIFY(!program.windows.mainForm().isVisible());
    QVERIFY(program.windows.testForm().isHidden());
}

void ProgramWindowsTest::closeIsRefusedWhileTheRandomTestRuns() {
    Program program;
    program.click("btConnect");
    program.dialogs.onEvents = [&](int round) {
        if (round == 2) {
            program.windows.mainForm().close();
            program.click("btEndTest");
        }
    };
    program.click("btTest");
    QVERIFY(program.windows.testForm().isVisible());
    QVERIFY(program.windows.mainForm().isVisible());
    QCOMPARE(program.dialogs.texts(),
             std::vector<std::string>{"Please stop the running test first"});
    QCOMPARE(program.dialogs.messages.front().caption, std::string("Closing of the program"));
    QVERIFY(program.windows.mainForm().link().isPortOpen());
    const QStringList log = program.windows.testForm().logLines();
    QVERIFY(log.filter(QStringLiteral("Testing started ")).size() == 1);
    QVERIFY(log.filter(QStringLiteral("Testing stopped ")).size() == 1);
    // The stop came in the second cycle's event pump: that cycle still ran.
    QCOMPARE(log.filter(QRegularExpression(QStringLiteral("^SelectFlash\\(\\d,\\d\\)"))).size(), 2);
    // The run stopped the mirror and left it stopped.
    QCOMPARE(program.button("btStopMirror")->text(), QStringLiteral("Start Mirror"));
    QVERIFY(!processFlags().testRunning);
    // With the run over, closing works.
    QTimer::singleShot(0, [&] { program.windows.mainForm().close(); });
    QCOMPARE(program.runEventLoop(), 0);
    QVERIFY(program.windows.testForm().isHidden());
}

void ProgramWindowsTest::startAgainRunsTheTestOnceMore() {
    Program program;
    program.click("btConnect");
    program.dialogs.onEvents = [&](int) { program.click("btEndTest"); };
    program.click("btTest");
    const int firstRunCycles = program.board.countOf("RRD");
    QVERIFY(firstRunCycles >= 1);
    program.click("btStartAgain");
    QVERIFY(program.board.countOf("RRD") > firstRunCycles);
    QCOMPARE(program.windows.testForm().logLines().filter("Testing started ").size(), 1);
}

void ProgramWindowsTest::exceptionInAHandlerIsShownAndEndsTheProgram() {
    Program program;
    QStringList shown;
    application().setExceptionReporter([&](const QString& text) { shown << text; });
    QTimer::singleShot(0, [] { throw std::runtime_error("the handler failed"); });
    QCOMPARE(program.runEventLoop(), 0);
    QCOMPARE(shown, QStringList{QStringLiteral("the handler failed")});
    QVERIFY(processFlags().cancelRequested);
}

int main(int argc, char** argv) {
    loadstar::LoadstarApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    ProgramWindowsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ProgramWindowsTest.moc"
