// The main window against the board emulated in process: its controls, captions and dialogs as
// it opens, Connect, Disconnect, closing, the ESC key and the board display mirror.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QTimer>
#include <QtTest>

#include "Connection.h"
#include "MainFormRig.h"
#include "ScriptedPort.h"

using loadstar::processFlags;
using loadstar::testing::MainFormRig;

namespace {

// The width a button's caption needs: its text, the style's margins and frame, a radio's circle.
int neededWidth(QAbstractButton* button, const QString& text) {
    QStyleOptionButton option;
    option.initFrom(button);
    const QStyle* style = button->style();
    int width = button->fontMetrics().horizontalAdvance(text) +
                style->pixelMetric(QStyle::PM_ButtonMargin, &option, button) +
                2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
    if (qobject_cast<QRadioButton*>(button) != nullptr) {
        width += style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, &option, button) +
                 style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, button);
    }
    return width;
}

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

class MainFormTest : public QObject {
    Q_OBJECT

  private slots:
    void controlsFollowInTabOrderWithTheirCaptionAndState() {
        MainFormRig rig;
        const QStringList expected = {"btConnect Connect on",
                                      "btStopMirror Stop Mirror off",
                                      "btClose Close on",
                                      "edOffset 8000 off",
                                      "edCount 10 off",
                                      "edData  off",
                                      "rbMain Main off",
                                      "rbBoot Boot off",
                                      "cbSector 0 off",
                                      "btRead Read off",
                                      "btWrite Write off",
                                      "btErase Erase off",
                                      "btBlankCheck Blank Check off",
                                      "btUpload Upload off",
                                      "btProgram Program off",
                                      "btVerify Verify off",
                                      "btReset Reset off",
                                      "btAbout About program on",
                                      "btTest Run test off"};
        QStringList order;
        QWidget* widget = rig.button("btConnect");
        do {
            QString text;
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                text = button->text();
            } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                text = edit->text();
            } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
                text = list->currentText();
            } else {
                continue;
            }
            order << widget->objectName() + " " + text + (widget->isEnabled() ? " on" : " off");
        } while ((widget = widget->nextInFocusChain()) != rig.button("btConnect") &&
                 order.size() < expected.size());
        QCOMPARE(order, expected);
        QVERIFY(rig.control<QRadioButton>("rbMain")->isChecked());
        QCOMPARE(rig.sectorList()->count(), 8);
        QCOMPARE(rig.control<QLabel>("lbMirrorAdvice")->text(),
                 QStringLiteral("Try to stop the mirroring during time-consuming operations."));
        QCOMPARE(rig.status(), QStringLiteral("Not connected to the board..."));
        QCOMPARE(rig.form.windowTitle(), QStringLiteral("Loadstar"));
        QVERIFY(!(rig.form.windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    void everyCaptionFitsItsControlInsideTheWindow() {
        MainFormRig rig;
        rig.form.show();
        QCOMPARE(rig.form.size(), QSize(415, 258));
        QCOMPARE(rig.form.maximumSize(), QSize(415, 258));
        for (QWidget* widget : rig.form.findChildren<QWidget*>()) {
            if (!widget->objectName().isEmpty() && widget->isVisible()) {
                const QRect area(widget->mapTo(&rig.form, QPoint(0, 0)), widget->size());
                QVERIFY2(rig.form.rect().contains(area), qPrintable(widget->objectName()));
            }
        }
        for (QAbstractButton* button : rig.form.findChildren<QAbstractButton*>()) {
            QVERIFY2(neededWidth(button, button->text()) <= button->width(),
                     qPrintable(button->objectName()));
        }
        // The captions the toggles take later fit as well.
        QVERIFY(neededWidth(rig.button("btConnect"), "Disconnect") <=
                rig.button("btConnect")->width());
        QVERIFY(neededWidth(rig.button("btStopMirror"), "Start Mirror") <=
                rig.button("btStopMirror")->width());
        for (QLabel* label : rig.form.findChildren<QLabel*>()) {
            const QRect needed = label->fontMetrics().boundingRect(
                label->contentsRect(), Qt::TextWordWrap | Qt::AlignLeft, label->text());
            QVERIFY2(needed.width() <= label->contentsRect().width(),
                     qPrintable(label->objectName()));
            QVERIFY2(needed.height() <= label->contentsRect().height(),
                     qPrintable(label->objectName()));
        }
        // The mirror shows the board's two lines; the longest status text fits the status line.
        auto* mirror = rig.control<QLabel>("lbDisplayMirror");
        QVERIFY(2 * mirror->fontMetrics().height() <= mirror->height());
        QVERIFY(mirror->fontMetrics().horizontalAdvance("mirroring stopped") <= mirror->width());
        QVERIFY(rig.control<QLabel>("sbStatusPanel")
                    ->fontMetrics()
                    .horizontalAdvance("Program Sector done. Time consumed is 123456 ms.") <
                rig.form.width() - 8);
    }

    void dialogsAndAboutBoxHaveTheirTexts() {
        MainFormRig rig;
        rig.click("btAbout");
        QCOMPARE(rig.dialogs.messages.size(), std::size_t{1});
        QCOMPARE(rig.dialogs.messages.front().caption, std::string("About the program"));
        QVERIFY(rig.dialogs.messages.front().text.find("Loadstar") != std::string::npos);
        QVERIFY(rig.dialogs.messages.front().text.find("v.1.1.2") != std::string::npos);
        QCOMPARE(rig.dialogs.messages.front().icon, loadstar::MessageIcon::none);
        rig.connect();
        rig.click("btProgram");
        QCOMPARE(rig.dialogs.openDialogs.at(0).defaultExtension, std::string("hex"));
        QCOMPARE(rig.dialogs.openDialogs.at(0).filters,
                 (std::vector<std::string>{"IntelHEX format (*.hex)", "Binary file (*.bin)",
                                           "All Files (*)"}));
        rig.click("rbBoot");
        rig.click("btUpload");
        // Upload replaces the initial "flash.hex" with its own proposal.
        QCOMPARE(rig.dialogs.saveDialogs.at(0).fileName, std::string("KEL520_seg(CSBOOT0)"));
        QCOMPARE(rig.dialogs.saveDialogs.at(0).defaultExtension, std::string("hex"));
        QCOMPARE(rig.dialogs.saveDialogs.at(0).filters,
                 (std::vector<std::string>{"IntelHEX file (*.hex)", "Binary file (*.bin)",
                                           "Memory dump in text file (*.txt)"}));
    }

    void connectAcceptsOnlyExactKelX20Replies() {
        const std::string failed = loadstar::connectionFailedMessage;
        const struct {
            const char* board;    // the model it names, or how it fails
            int identifications;  // a wrong name is asked for three times (a reply may have been
                                  // hit on the line), a silent board once and ten more times
            std::string message;
        } cases[] = {
            {"KEL520", 1, ""},
            {"KEL620", 1, ""},
            {"KEL520\r", 3, failed},
            {"KEL52", 3, failed},
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

    void disconnectClosesThePortAndKeepsTheFields() {
        MainFormRig rig;
        rig.connect();
        rig.form.mirrorTimerTimer();
        QVERIFY(!rig.mirrorText().isEmpty());
        rig.selectSector(5);
        rig.edit("edData")->setText("12 34");
        rig.click("btStopMirror");
        rig.click("btConnect");
        QCOMPARE(rig.status(), QStringLiteral("Connection to the board has been closed."));
        QVERIFY(rig.mirrorText().isEmpty());
        QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Stop Mirror"));
        verifyConnected(rig, false);
        // Connecting again sends no flash selection and finds the fields as they were.
        rig.connect();
        verifyConnected(rig, true);
        QCOMPARE(rig.board.countOf("VM "), 0);
        QCOMPARE(rig.edit("edData")->text(), QStringLiteral("12 34"));
        QCOMPARE(rig.sectorList()->currentIndex(), 5);
    }

    void closeEndsTheProgramAndClosesThePort() {
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

    void escapeAnywhereInTheWindowSetsCancel() {
        MainFormRig rig;
        rig.form.show();
        rig.connect();
        for (Qt::Key key : {Qt::Key_A, Qt::Key_Return, Qt::Key_Space}) {
            QTest::keyClick(rig.edit("edOffset"), key);
        }
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

    void tickShowsTheBoardDisplayAndAFailedTickBlanksItSilently() {
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

    void stopShowsTheNoticeAndStartKeepsItUntilTheNextTick() {
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
        // Only the exact caption stops it.
        rig.button("btStopMirror")->setText(QStringLiteral("Stop mirror"));
        rig.click("btStopMirror");
        QCOMPARE(rig.button("btStopMirror")->text(), QStringLiteral("Stop Mirror"));
        QVERIFY(timer->isActive());
        QVERIFY(rig.mirrorText().startsWith(QStringLiteral("KEL520")));
    }

    void longDisplayTextIsCutAt96Characters() {
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
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
