// Connect, Disconnect, closing the window and the ESC key, driving the real main window against
// the board emulated in process.

#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "Connection.h"
#include "MainFormRig.h"

using loadstar::processFlags;
using loadstar::testing::MainFormRig;

namespace {

const char* const workControls[] = {"btRead",       "btWrite",      "btErase",  "btVerify",
                                    "btProgram",    "btBlankCheck", "btUpload", "btReset",
                                    "btStopMirror", "btTest",       "rbMain",   "rbBoot",
                                    "cbSector",     "edOffset",     "edCount",  "edData"};

bool mirrorTimerActive(MainFormRig& rig) {
    return rig.form.findChild<QTimer*>("mirrorTimer")->isActive();
}

void verifyConnected(MainFormRig& rig, bool connected) {
    for (const char* name : workControls) {
        QVERIFY2(rig.control<QWidget>(name)->isEnabled() == connected, name);
    }
    QVERIFY(rig.button("btConnect")->isEnabled());
    QCOMPARE(rig.button("btConnect")->text(),
             QString::fromLatin1(connected ? "Disconnect" : "Connect"));
    QCOMPARE(mirrorTimerActive(rig), connected);
    QCOMPARE(rig.form.link().isPortOpen(), connected);
    QCOMPARE(rig.board.lineHeld(), connected);
}

}  // namespace

class MainFormConnectionTest : public QObject {
    Q_OBJECT

  private slots:
    void connectAcceptsOnlyExactKelX20Replies();
    void disconnectClosesThePortAndKeepsTheFields();
    void closeEndsTheProgramAndClosesThePort();
    void closeIsRefusedWhileTheRandomTestRuns();
    void escapeAnywhereInTheWindowSetsCancel();
};

void MainFormConnectionTest::connectAcceptsOnlyExactKelX20Replies() {
    const std::string failed = loadstar::connectionFailedMessage;
    const struct {
        const char* board;    // the model it names, or how it fails
        int identifications;  // a silent board is asked once and ten more times
        std::string message;
    } cases[] = {
        {"KEL520", 1, ""},
        {"KEL620", 1, ""},
        {"KEL520\r", 1, failed},
        {"KEL52", 1, failed},
        {"silent", 11, failed},
        {"held", 0, "Can't open COM1, port does not exist or is already allocated."},
    };
    for (const auto& c : cases) {
        const std::string board = c.board;
        MainFormRig rig(board.starts_with("KEL") ? board : "KEL520");
        rig.setSilent(board == "silent");
        rig.board.setLineHeld(board == "held");
        rig.click("btConnect");
        QCOMPARE(rig.board.countOf("BRD"), c.identifications);
        if (c.message.empty()) {
            QVERIFY(rig.dialogs.messages.empty());
            QCOMPARE(rig.status(), QStringLiteral("Connected to the board, ready..."));
            verifyConnected(rig, true);
            continue;
        }
        QCOMPARE(rig.dialogs.texts(), std::vector<std::string>{c.message});
        QCOMPARE(rig.dialogs.messages.front().caption, std::string("Error"));
        QCOMPARE(rig.dialogs.messages.front().icon, loadstar::MessageIcon::warning);
        QCOMPARE(rig.status(), QStringLiteral("Not connected to the board..."));
        rig.board.setLineHeld(false);
        verifyConnected(rig, false);
    }
}

void MainFormConnectionTest::disconnectClosesThePortAndKeepsTheFields() {
    MainFormRig rig;
    rig.connect();
    rig.form.mirrorTimerTimer();
    QVERIFY(!rig.mirrorText().isEmpty());
    rig.selectSector(5);
    rig.edit("edData")->setText("12 34");
    rig.click("btStopMirror");
    rig.board.clearPayloads();
    rig.click("btConnect");
    QCOMPARE(rig.status(), QStringLiteral("Connection to the board has been closed."));
    QVERIFY(rig.mirrorText().isEmpty());
    QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Stop Mirror"));
    verifyConnected(rig, false);
    // A refused connect keeps the closed text; a good one sends no flash selection and finds the
    // fields as they were.
    rig.setSilent(true);
    rig.click("btConnect");
    QCOMPARE(rig.status(), QStringLiteral("Connection to the board has been closed."));
    rig.setSilent(false);
    rig.board.clearPayloads();
    rig.connect();
    verifyConnected(rig, true);
    QCOMPARE(rig.board.countOf("VM "), 0);
    QCOMPARE(rig.edit("edData")->text(), QStringLiteral("12 34"));
    QCOMPARE(rig.sectorList()->currentIndex(), 5);
}

void MainFormConnectionTest::closeEndsTheProgramAndClosesThePort() {
    for (const bool connected : {false, true}) {  // by the close box, or connected by Close
        MainFormRig rig;
        rig.form.show();
        QSignalSpy end(&rig.form, &TmainForm::programEndRequested);
        if (connected) {
            rig.connect();
            rig.click("btClose");
        } else {
            rig.form.close();
        }
        QCOMPARE(end.count(), 1);
        QVERIFY(!rig.form.isVisible());
        QVERIFY(processFlags().cancelRequested);
        QVERIFY(processFlags().stopTest);
        QVERIFY(!rig.form.link().isPortOpen());
        QVERIFY(!rig.board.lineHeld());
        QVERIFY(!mirrorTimerActive(rig));
    }
}

void MainFormConnectionTest::closeIsRefusedWhileTheRandomTestRuns() {
    MainFormRig rig;
    rig.form.show();
    rig.connect();
    processFlags().testRunning = true;
    QSignalSpy end(&rig.form, &TmainForm::programEndRequested);
    rig.form.close();
    rig.click("btClose");
    QCOMPARE(end.count(), 0);
    QVERIFY(rig.form.isVisible());
    QCOMPARE(rig.dialogs.texts(),
             std::vector<std::string>(2, "Please stop the running test first"));
    QCOMPARE(rig.dialogs.messages.front().caption, std::string("Closing of the program"));
    QCOMPARE(rig.dialogs.messages.front().icon, loadstar::MessageIcon::none);
    QVERIFY(!processFlags().cancelRequested);
    QVERIFY(!processFlags().stopTest);
    QVERIFY(rig.form.link().isPortOpen());
}

void MainFormConnectionTest::escapeAnywhereInTheWindowSetsCancel() {
    MainFormRig rig;
    rig.form.show();
    rig.connect();
    for (Qt::Key key : {Qt::Key_A, Qt::Key_Return, Qt::Key_Space}) {
        QTest::keyClick(rig.edit("edOffset"), key);
    }
    QLineEdit elsewhere;
    elsewhere.show();
    QTest::keyClick(&elsewhere, Qt::Key_Escape);
    QVERIFY(!processFlags().cancelRequested);
    for (const char* name : {"edOffset", "btRead", "cbSector", "rbBoot"}) {
        processFlags().cancelRequested = false;
        QTest::keyClick(rig.control<QWidget>(name), Qt::Key_Escape);
        QVERIFY2(processFlags().cancelRequested, name);
    }
    // Keys are not consumed by the preview: the edit field still gets them.
    rig.edit("edData")->clear();
    QTest::keyClicks(rig.edit("edData"), "ab");
    QCOMPARE(rig.edit("edData")->text(), QStringLiteral("ab"));
}

QTEST_MAIN(MainFormConnectionTest)
#include "MainFormConnectionTest.moc"
