// The board display mirror of the real main window: the tick, a failed tick, the Stop Mirror /
// Start Mirror toggle, the 96-character cut and the OEM glyphs.

#include <QTimer>
#include <QtTest>

#include "MainFormRig.h"
#include "ScriptedPort.h"

using loadstar::testing::MainFormRig;

namespace {

const QString stoppedNotice = QStringLiteral("mirroring stopped\n=================");

// A main window on a board whose display mirror answers `mirrorReply`.
struct ScriptedBoardWindow {
    explicit ScriptedBoardWindow(std::string mirrorReply)
        : form(dialogs, [reply = std::move(mirrorReply)] {
              auto port = std::make_unique<loadstar::testing::ScriptedPort>();
              port->answer = [reply](const std::vector<std::uint8_t>& frame) {
                  const std::string payload(frame.begin() + 4, frame.end() - 2);
                  return loadstar::testing::replyNow(payload == "BRD" ? "BRD KEL620" : reply);
              };
              return port;
          }) {
        QTest::mouseClick(form.findChild<QAbstractButton*>("btConnect"), Qt::LeftButton);
    }
    QString mirror() const { return form.findChild<QLabel*>("lbDisplayMirror")->text(); }

    loadstar::testing::RecordingDialogs dialogs;
    TmainForm form;
};

}  // namespace

class DisplayMirrorTest : public QObject {
    Q_OBJECT

  private slots:
    void tickShowsTheBoardDisplay();
    void timerRunsTheTickWhileConnected();
    void failedTickBlanksTheLabelSilently();
    void stopShowsTheNoticeAndStartKeepsItUntilTheNextTick();
    void onlyTheExactStopCaptionStops();
    void longDisplayTextIsCutAt96Characters();
    void boardTextShowsAsOemGlyphsUpToItsZeroByte();
};

void DisplayMirrorTest::tickShowsTheBoardDisplay() {
    MainFormRig rig;
    rig.connect();
    rig.form.mirrorTimerTimer();
    QCOMPARE(rig.mirrorText(), QString::fromStdString(rig.board.displayText()));
    QVERIFY(rig.mirrorText().contains('\n'));
    QCOMPARE(rig.board.countOf("MIR"), 1);
}

void DisplayMirrorTest::timerRunsTheTickWhileConnected() {
    MainFormRig rig;
    rig.connect();
    QTRY_VERIFY(rig.board.countOf("MIR") >= 2);
    QVERIFY(rig.mirrorText().startsWith(QStringLiteral("KEL520")));
    rig.click("btConnect");
    const int ticks = rig.board.countOf("MIR");
    QTest::qWait(600);
    QCOMPARE(rig.board.countOf("MIR"), ticks);
    QVERIFY(rig.mirrorText().isEmpty());
}

void DisplayMirrorTest::failedTickBlanksTheLabelSilently() {
    MainFormRig rig;
    rig.connect();
    rig.form.mirrorTimerTimer();
    QVERIFY(!rig.mirrorText().isEmpty());
    rig.setSilent(true);
    rig.form.mirrorTimerTimer();
    // Sent once and three more times, then given up without a box.
    QCOMPARE(rig.board.countOf("MIR"), 1 + 4);
    QVERIFY(rig.mirrorText().isEmpty());
    QVERIFY(rig.dialogs.messages.empty());
    QVERIFY(rig.form.findChild<QTimer*>("mirrorTimer")->isActive());
    QCOMPARE(rig.status(), QStringLiteral("Connected to the board, ready..."));
    rig.setSilent(false);
    rig.form.mirrorTimerTimer();
    QVERIFY(!rig.mirrorText().isEmpty());
}

void DisplayMirrorTest::stopShowsTheNoticeAndStartKeepsItUntilTheNextTick() {
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
    QVERIFY(timer->isActive());
    QCOMPARE(rig.mirrorText(), stoppedNotice);
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
    ScriptedBoardWindow window("MIR " + text);
    window.form.mirrorTimerTimer();
    QCOMPARE(window.mirror(), QString::fromStdString(text.substr(0, 96)));
    QVERIFY(window.dialogs.messages.empty());
}

void DisplayMirrorTest::boardTextShowsAsOemGlyphsUpToItsZeroByte() {
    ScriptedBoardWindow window(std::string("MIR \x80\xB0\x01"
                                           "A\r\nB\xE1",
                                           12) +
                               std::string("\0C", 2));
    window.form.mirrorTimerTimer();
    QCOMPARE(window.mirror(), QString::fromUtf8("Ç░☺A\nBß"));
}

QTEST_MAIN(DisplayMirrorTest)
#include "DisplayMirrorTest.moc"
