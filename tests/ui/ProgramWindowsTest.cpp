// The program's two windows under the real event loop of the application: closing ends the loop
// only once the running handler has returned, and an exception that escapes a handler is shown
// and ends the program.

#include <QAbstractButton>
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

}  // namespace

class ProgramWindowsTest : public QObject {
    Q_OBJECT

  private slots:
    void mainWindowShowsAndTheTestWindowWaitsHidden() {
        Program program;
        QVERIFY(program.windows.mainForm().isVisible());
        QVERIFY(program.windows.testForm().isHidden());
        QVERIFY(!program.windows.mainForm().windowIcon().pixmap(32).isNull());
        QVERIFY(!program.windows.testForm().windowIcon().pixmap(32).isNull());
    }

    void closeDuringAPassEndsTheLoopAfterTheHandlerHasReturned() {
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
        QCOMPARE(Program::runEventLoop(), 0);
        QCOMPARE(statusWhenHandlerReturned, QStringLiteral("Blank Check cancelled."));
        QVERIFY(!portOpenAfterClose);
        QCOMPARE(program.board.countOf("RRD"), 3);
        QVERIFY(program.dialogs.messages.empty());
        QVERIFY(!program.windows.mainForm().isVisible());
    }

    void exceptionInAHandlerIsShownAndEndsTheProgram() {
        Program program;
        QStringList shown;
        application().setExceptionReporter([&](const QString& text) { shown << text; });
        QTimer::singleShot(0, [] { throw std::runtime_error("the handler failed"); });
        QCOMPARE(Program::runEventLoop(), 0);
        QCOMPARE(shown, QStringList{QStringLiteral("the handler failed")});
        QVERIFY(processFlags().cancelRequested);
    }
};

int main(int argc, char** argv) {
    loadstar::LoadstarApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    ProgramWindowsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ProgramWindowsTest.moc"
