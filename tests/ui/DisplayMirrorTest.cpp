// The board display mirror of the real main window: the tick, a failed tick, the Stop Mirror /
// Start Mirror toggle and the 96-character cut.

#include <QTimer>
#include <QtTest>

#include "MainFormRig.h"
#include "ScriptedPort.h"

using loadstar::testing::MainFormRig;

class DisplayMirrorTest : public QObject {
    Q_OBJECT

  private slots:
    void tickShowsTheBoardDisplayAndAFailedTickBlanksItSilently();
    void stopShowsTheNoticeAndStartKeepsItUntilTheNextTick();
    void onlyTheExactStopCaptionStops();
    void longDisplayTextIsCutAt96Characters();
};

void DisplayMirrorTest::tickShowsTheBoardDisplayAndAFailedTickBlanksItSilently() {
    MainFormRig rig;
    rig.connect();
    rig.form.mirrorTimerTimer();
    QCOMPARE(rig.mirrorText(), QString::fromStdString(rig.board.displayText()));
    QVERIFY(rig.mirrorText().contains('\n'));
    rig.setSilent(true);
    rig.form.mirrorTimerTimer();
    // Sent once and three more times, then given up without a box.
    QCOMPARE(rig.board.countOf("MIR"), 1 + 4);
    QVERIFY(rig.mirrorText().isEmpty());
    QVERIFY(rig.dialogs.messages.empty());
    QVERIFY(rig.form.findChild<QTimer*>("mirrorTimer")->isActive());
    QCOMPARE(rig.status(), QStringLiteral("Connected to the board, ready..."));
}

void DisplayMirrorTest::stopShowsTheNoticeAndStartKeepsItUntilTheNextTick() {
    const QString stoppedNotice = QStringLiteral("mirroring stopped\n=================");
    MainFormRig rig;
    rig.connect();
    rig.form.mirrorTimerTimer();
    auto* timer = rig.form.findChild<QTimer*>("mirrorTimer");
    rig.click("btStopMirror");
    QCOMPARE(rig.mirrorText(), stoppedNotice);
    QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Start Mirror"));
    QVERIFY(!timer->isActive());
    rig.click("btStopMirror");
    QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Stop Mirror"));
    QCOMPARE(rig.mirrorText(), stoppedNotice);
    // The timer ticks on its own again.
    QTRY_VERIFY(rig.mirrorText() != stoppedNotice);
    QVERIFY(rig.mirrorText().startsWith(QStringLiteral("KEL520")));
}

void DisplayMirrorTest::onlyTheExactStopCaptionStops() {
    MainFormRig rig;
    rig.connect();
    auto* timer = rig.form.findChild<QTimer*>("mirrorTimer");
    timer->stop();
    rig.button("btStopMirror")->setText(QStringLiteral("Stop mirror"));
    rig.click("btStopMirror");
    QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Stop Mirror"));
    QVERIFY(timer->isActive());
    QVERIFY(rig.mirrorText().isEmpty());
}

void DisplayMirrorTest::longDisplayTextIsCutAt96Characters() {
    std::string text;
    for (int i = 0; i < 120; ++i) {
        text.push_back(static_cast<char>('a' + i % 26));
    }
    loadstar::testing::RecordingDialogs dialogs;
    TmainForm form(dialogs, [text] {
        auto port = std::make_unique<loadstar::testing::ScriptedPort>();
        port->answer = [text](const std::vector<std::uint8_t>& frame) {
            const bool identify = frame.at(4) == 'B';
            return loadstar::testing::replyNow(identify ? "BRD KEL620" : "MIR " + text);
        };
        return port;
    });
    QTest::mouseClick(form.findChild<QAbstractButton*>("btConnect"), Qt::LeftButton);
    form.mirrorTimerTimer();
    QCOMPARE(form.findChild<QLabel*>("lbDisplayMirror")->text(),
             QString::fromStdString(text.substr(0, 96)));
}

QTEST_MAIN(DisplayMirrorTest)
#include "DisplayMirrorTest.moc"
