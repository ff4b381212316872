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
        QCOMPARE(program.board.countOf("RRD"), 3);  // the pass stopped before its next block
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
