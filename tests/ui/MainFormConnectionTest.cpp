// Connect, Disconnect, closing the window, the ESC key and the identification check, driving the
// real main window against the board emulated in process.

#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "Connection.h"
#include "MainFormRig.h"

using loadstar::processFlags;
using loadstar::testing::MainFormRig;

namespace {

const QStringList workControls = {"btRead",       "btWrite",      "btErase",  "btVerify",
                                  "btProgram",    "btBlankCheck", "btUpload", "btReset",
                                  "btStopMirror", "btTest",       "rbMain",   "rbBoot",
                                  "cbSector",     "edOffset",     "edCount",  "edData"};

QTimer* mirrorTimer(MainFormRig& rig) {
    return rig.form.findChild<QTimer*>("mirrorTimer");
}

void verifyWorkControls(MainFormRig& rig, bool enabled) {
    for (const QString& name : workControls) {
        QVERIFY2(rig.control<QWidget>(name.toLatin1().constData())->isEnabled() == enabled,
                 qPrintable(name));
    }
    for (const char* name : {"btConnect", "btClose", "btAbout"}) {
        QVERIFY2(rig.button(name)->isEnabled(), name);
    }
}

}  // namespace

class MainFormConnectionTest : public QObject {
    Q_OBJECT

  private slots:
    void connectAcceptsOnlyExactKelX20Replies_data();
    void connectAcceptsOnlyExactKelX20Replies();
    void silentBoardIsRefusedAfterRetries();
    void portHeldElsewhereGetsTheCantOpenMessage();
    void secondWindowCannotConnectWhileTheFirstHoldsThePort();
    void connectBoardReturnsTwoWhenThePortIsOpenAlready();
    void disconnectStopsMirrorClosesPortAndKeepsFields();
    void refusedConnectAfterDisconnectKeepsTheClosedText();
    void everyConnectOrDisconnectResetsTheStopMirrorCaption();
    void closeEndsTheProgramAndClosesThePort_data();
    void closeEndsTheProgramAndClosesThePort();
    void closeIsRefusedWhileTheRandomTestRuns();
    void escapeAnywhereInTheWindowSetsCancelAndReachesTheControl();
    void otherKeysAndOtherWindowsDoNotCancel();
};

void MainFormConnectionTest::connectAcceptsOnlyExactKelX20Replies_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("KEL520") << "KEL520" << true;
    QTest::newRow("KEL620") << "KEL620" << true;
    QTest::newRow("KEL520 and CR") << "KEL520\r" << false;
    QTest::newRow("KEL530") << "KEL530" << false;
    QTest::newRow("KEL52") << "KEL52" << false;
    QTest::newRow("XYZ520") << "XYZ520" << false;
}

void MainFormConnectionTest::connectAcceptsOnlyExactKelX20Replies() {
    QFETCH(QString, model);
    QFETCH(bool, accepted);
    MainFormRig rig(model.toStdString());
    rig.click("btConnect");
    // Any reply with a tag ends the exchange: a wrong identification is not asked again.
    QCOMPARE(rig.board.countOf("BRD"), 1);
    if (accepted) {
        QVERIFY(rig.dialogs.messages.empty());
        QCOMPARE(rig.button("btConnect")->text(), QStringLiteral("Disconnect"));
        QCOMPARE(rig.status(), QStringLiteral("Connected to the board, ready..."));
        QVERIFY(mirrorTimer(rig)->isActive());
        QVERIFY(rig.form.link().isPortOpen());
        verifyWorkControls(rig, true);
        return;
    }
    QCOMPARE(rig.dialogs.messages.size(), std::size_t{1});
    QCOMPARE(rig.dialogs.messages.front().text, std::string(loadstar::connectionFailedMessage));
    QCOMPARE(rig.dialogs.messages.front().caption, std::string("Error"));
    QCOMPARE(rig.dialogs.messages.front().icon, loadstar::MessageIcon::warning);
    QCOMPARE(rig.button("btConnect")->text(), QStringLiteral("Connect"));
    QCOMPARE(rig.status(), QStringLiteral("Not connected to the board..."));
    QVERIFY(!mirrorTimer(rig)->isActive());
    QVERIFY(!rig.form.link().isPortOpen());
    QVERIFY(!rig.board.lineHeld());
    verifyWorkControls(rig, false);
}

void MainFormConnectionTest::silentBoardIsRefusedAfterRetries() {
    MainFormRig rig;
    loadstar::emulator::FaultSettings faults;
    faults.silent = true;
    rig.board.setFaults(faults);
    rig.click("btConnect");
    // The identification goes out once and ten more times.
    QCOMPARE(rig.board.countOf("BRD"), 11);
    QCOMPARE(rig.dialogs.texts(),
             std::vector<std::string>{std::string(loadstar::connectionFailedMessage)});
    QCOMPARE(rig.button("btConnect")->text(), QStringLiteral("Connect"));
    QVERIFY(!rig.form.link().isPortOpen());
    verifyWorkControls(rig, false);
}

void MainFormConnectionTest::portHeldElsewhereGetsTheCantOpenMessage() {
    MainFormRig rig;
    rig.board.setLineHeld(true);
    rig.click("btConnect");
    QCOMPARE(
        rig.dialogs.texts(),
        std::vector<std::string>{"Can't open COM1, port does not exist or is already allocated."});
    QCOMPARE(rig.dialogs.messages.front().caption, std::string("Error"));
    QCOMPARE(rig.board.payloads().size(), std::size_t{0});
    QCOMPARE(rig.button("btConnect")->text(), QStringLiteral("Connect"));
    QCOMPARE(rig.status(), QStringLiteral("Not connected to the board..."));
    verifyWorkControls(rig, false);
}

void MainFormConnectionTest::secondWindowCannotConnectWhileTheFirstHoldsThePort() {
    MainFormRig first;
    first.connect();
    loadstar::testing::RecordingDialogs secondDialogs;
    TmainForm second(secondDialogs, [&] {
        return std::make_unique<loadstar::emulator::InProcessBoardPort>(first.board);
    });
    QTest::mouseClick(second.findChild<QAbstractButton*>("btConnect"), Qt::LeftButton);
    QCOMPARE(
        secondDialogs.texts(),
        std::vector<std::string>{"Can't open COM1, port does not exist or is already allocated."});
    QVERIFY(first.form.link().isPortOpen());
    // Once the first lets go, the second connects.
    first.click("btConnect");
    secondDialogs.messages.clear();
    QTest::mouseClick(second.findChild<QAbstractButton*>("btConnect"), Qt::LeftButton);
    QVERIFY(secondDialogs.messages.empty());
    QCOMPARE(second.statusText(), QStringLiteral("Connected to the board, ready..."));
}

void MainFormConnectionTest::connectBoardReturnsTwoWhenThePortIsOpenAlready() {
    MainFormRig rig;
    QCOMPARE(rig.form.connectBoard(), 1);
    rig.board.clearPayloads();
    QCOMPARE(rig.form.connectBoard(), 2);
    QVERIFY(rig.board.payloads().empty());
}

void MainFormConnectionTest::disconnectStopsMirrorClosesPortAndKeepsFields() {
    MainFormRig rig;
    rig.connect();
    rig.form.mirrorTimerTimer();
    QVERIFY(!rig.mirrorText().isEmpty());
    rig.selectSector(5);
    rig.edit("edOffset")->setText("9000");
    rig.edit("edData")->setText("12 34");
    rig.click("btConnect");
    QCOMPARE(rig.button("btConnect")->text(), QStringLiteral("Connect"));
    QCOMPARE(rig.status(), QStringLiteral("Connection to the board has been closed."));
    QVERIFY(rig.mirrorText().isEmpty());
    QVERIFY(!mirrorTimer(rig)->isActive());
    QVERIFY(!rig.form.link().isPortOpen());
    QVERIFY(!rig.board.lineHeld());
    verifyWorkControls(rig, false);
    QCOMPARE(rig.edit("edOffset")->text(), QStringLiteral("9000"));
    QCOMPARE(rig.edit("edCount")->text(), QStringLiteral("10"));
    QCOMPARE(rig.edit("edData")->text(), QStringLiteral("12 34"));
    QCOMPARE(rig.sectorList()->currentIndex(), 5);
    // Connecting again shows them enabled and unchanged.
    rig.connect();
    verifyWorkControls(rig, true);
    QCOMPARE(rig.edit("edOffset")->text(), QStringLiteral("9000"));
    QCOMPARE(rig.edit("edData")->text(), QStringLiteral("12 34"));
    QCOMPARE(rig.sectorList()->currentIndex(), 5);
    // Connecting sends no flash selection.
    rig.board.clearPayloads();
    rig.click("btConnect");
    rig.click("btConnect");
    QCOMPARE(rig.board.countOf("VM "), 0);
    QCOMPARE(rig.board.countOf("PG "), 0);
}

void MainFormConnectionTest::refusedConnectAfterDisconnectKeepsTheClosedText() {
    MainFormRig rig;
    rig.connect();
    rig.click("btConnect");
    loadstar::emulator::FaultSettings faults;
    faults.silent = true;
    rig.board.setFaults(faults);
    rig.click("btConnect");
    QCOMPARE(rig.status(), QStringLiteral("Connection to the board has been closed."));
    QCOMPARE(rig.button("btConnect")->text(), QStringLiteral("Connect"));
}

void MainFormConnectionTest::everyConnectOrDisconnectResetsTheStopMirrorCaption() {
    MainFormRig rig;
    rig.connect();
    rig.click("btStopMirror");
    QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Start Mirror"));
    rig.click("btConnect");
    QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Stop Mirror"));
    // A refused connect too.
    rig.board.setLineHeld(true);
    rig.button("btStopMirror")->setText("Start Mirror");
    rig.click("btConnect");
    QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Stop Mirror"));
}

void MainFormConnectionTest::closeEndsTheProgramAndClosesThePort_data() {
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("byButton");
    QTest::newRow("not connected, close box") << false << false;
    QTest::newRow("connected, close box") << true << false;
    QTest::newRow("connected, Close button") << true << true;
}

void MainFormConnectionTest::closeEndsTheProgramAndClosesThePort() {
    QFETCH(bool, connected);
    QFETCH(bool, byButton);
    MainFormRig rig;
    rig.form.show();
    if (connected) {
        rig.connect();
    }
    QSignalSpy end(&rig.form, &TmainForm::programEndRequested);
    if (byButton) {
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
    QVERIFY(!mirrorTimer(rig)->isActive());
    QVERIFY(rig.dialogs.messages.empty());
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
    QCOMPARE(rig.dialogs.messages.size(), std::size_t{2});
    for (const auto& box : rig.dialogs.messages) {
        QCOMPARE(box.text, std::string("Please stop the running test first"));
        QCOMPARE(box.caption, std::string("Closing of the program"));
        QCOMPARE(box.icon, loadstar::MessageIcon::none);
    }
    QVERIFY(!processFlags().cancelRequested);
    QVERIFY(!processFlags().stopTest);
    QVERIFY(rig.form.link().isPortOpen());
    QVERIFY(mirrorTimer(rig)->isActive());
}

void MainFormConnectionTest::escapeAnywhereInTheWindowSetsCancelAndReachesTheControl() {
    MainFormRig rig;
    rig.form.show();
    rig.connect();
    for (const char* name : {"edOffset", "btRead", "cbSector", "rbBoot", "btConnect"}) {
        processFlags().cancelRequested = false;
        QWidget* control = rig.control<QWidget>(name);
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Escape);
        QVERIFY2(processFlags().cancelRequested, name);
    }
    // Keys are not consumed by the preview: the edit field still gets them.
    rig.edit("edData")->clear();
    QTest::keyClicks(rig.edit("edData"), "ab");
    QCOMPARE(rig.edit("edData")->text(), QStringLiteral("ab"));
    QVERIFY(rig.form.isVisible());
}

void MainFormConnectionTest::otherKeysAndOtherWindowsDoNotCancel() {
    MainFormRig rig;
    rig.form.show();
    for (Qt::Key key : {Qt::Key_A, Qt::Key_Return, Qt::Key_Space, Qt::Key_Backspace}) {
        QTest::keyClick(rig.edit("edOffset"), key);
    }
    QVERIFY(!processFlags().cancelRequested);
    QLineEdit elsewhere;
    elsewhere.show();
    QTest::keyClick(&elsewhere, Qt::Key_Escape);
    QVERIFY(!processFlags().cancelRequested);
}

QTEST_MAIN(MainFormConnectionTest)
#include "MainFormConnectionTest.moc"
