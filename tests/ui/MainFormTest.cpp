// The main window against the board emulated in process: its controls and dialogs as it opens,
// Connect and Disconnect, closing, the key preview and the board display mirror.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QtTest>

#include "MainFormRig.h"
#include "iap/Connection.h"
#include "link/ComPortName.h"
#include "support/ScriptedPort.h"

using loadstar::testing::MainFormRig;
using loadstar::testing::Names;

namespace {

// The width a caption needs: a push button's text with the style's margins and frame.
int neededWidth(QAbstractButton* button) {
    if (qobject_cast<QPushButton*>(button) == nullptr) {
        return button->sizeHint().width();
    }
    QStyleOptionButton option;
    option.initFrom(button);
    const QStyle* style = button->style();
    return button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width() +
           style->pixelMetric(QStyle::PM_ButtonMargin, &option, button) +
           2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
}

std::string offer(MainFormRig& rig) {
    return rig.dialogs.portChoices.at(0).explanation;
}

void verifyConnected(MainFormRig& rig, bool connected) {
    for (const char* name : {"btRead", "btWrite", "btErase", "btVerify", "btProgram",
                             "btBlankCheck", "btUpload", "btReset", "btStopMirror", "btTest",
                             "rbMain", "rbBoot", "cbSector", "edOffset", "edCount", "edData"}) {
        QVERIFY2(rig.control(name)->isEnabled() == connected, name);
    }
    QCOMPARE(rig.button("btConnect")->text(), connected ? "Disconnect" : "Connect");
    QCOMPARE(rig.mirrorTimerActive(), connected);
    QCOMPARE(rig.form.link().isPortOpen(), connected);
    QCOMPARE(rig.board.lineHeld(), connected);
}

}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT

  private slots:
    void opensWithItsControlsInTabOrderAndEveryCaptionFits() {
        MainFormRig rig;
        rig.form.show();
        QStringList order;  // the controls the Tab key reaches: name, caption or text, on or off
        QWidget* widget = rig.button("btConnect");
        do {
            if ((widget->focusPolicy() & Qt::TabFocus) != 0) {
                const bool list = qobject_cast<QComboBox*>(widget) != nullptr;
                order << widget->objectName() + " " +
                             widget->property(list ? "currentText" : "text").toString() +
                             (widget->isEnabled() ? " on" : " off");
            }
        } while ((widget = widget->nextInFocusChain()) != rig.button("btConnect"));
        QCOMPARE(order.join(", "),
                 "btConnect Connect on, btStopMirror Stop Mirror off, btClose C&lose on, "
                 "edOffset 8000 off, edCount 10 off, edData  off, rbMain &Main off, rbBoot &Boot "
                 "off, cbSector 0 off, btRead &Read off, btWrite &Write off, btErase &Erase off, "
                 "btBlankCheck Blan&k Check off, btUpload &Upload off, btProgram &Program off, "
                 "btVerify &Verify off, btReset Re&set off, btAbout &About program on, btTest Run "
                 "&test off");
        // The fields' labels lead to them; every control explains itself.
        for (const char* field : {"edOffset", "edCount", "edData", "cbSector"}) {
            QVERIFY2(rig.form.findChildren<QLabel*>().end() !=
                         std::find_if(rig.form.findChildren<QLabel*>().begin(),
                                      rig.form.findChildren<QLabel*>().end(),
                                      [&](QLabel* label) {
                                          return label->buddy() == rig.control(field) &&
                                                 label->text().contains('&');
                                      }),
                     field);
        }
        for (QWidget* control : rig.form.findChildren<QWidget*>()) {
            QVERIFY2(control->objectName().isEmpty() || !control->toolTip().isEmpty(),
                     qPrintable(control->objectName()));
        }
        QCOMPARE(rig.control<QLabel>("lbMirrorAdvice")->text(),
                 "Try to stop the mirroring during time-consuming operations.");
        QCOMPARE(rig.status(), "Not connected to the board...");
        QCOMPARE(rig.form.windowTitle(), "Loadstar");
        QVERIFY(!(rig.form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(rig.form.size(), QSize(415, 258));
        QCOMPARE(rig.form.maximumSize(), QSize(415, 258));

        // Every control lies inside the window, and every caption fits, the later ones too.
        rig.button("btConnect")->setText("Disconnect");
        rig.button("btStopMirror")->setText("Start Mirror");
        rig.form.showMirrorText("mirroring stopped\n=================");
        for (QWidget* control : rig.form.findChildren<QWidget*>()) {
            const QRect area(control->mapTo(&rig.form, QPoint(0, 0)), control->size());
            QVERIFY2(control->objectName().isEmpty() || !control->isVisibleTo(&rig.form) ||
                         rig.form.rect().contains(area),
                     qPrintable(control->objectName()));
        }
        for (QAbstractButton* button : rig.form.findChildren<QAbstractButton*>()) {
            QVERIFY2(neededWidth(button) <= button->width(), qPrintable(button->objectName()));
        }
        for (QLabel* label : rig.form.findChildren<QLabel*>()) {
            const QRect needed = label->fontMetrics().boundingRect(
                label->contentsRect(), Qt::TextWordWrap | Qt::AlignLeft | Qt::TextShowMnemonic,
                label->text());
            QVERIFY2(needed.width() <= label->contentsRect().width() &&
                         needed.height() <= label->contentsRect().height(),
                     qPrintable(label->objectName()));
        }
    }

    void aboutBoxAndFileDialogsHaveTheirTexts() {
        MainFormRig rig;
        rig.click("btAbout");
        QCOMPARE(rig.dialogs.messages.size(), std::size_t{1});
        const auto& about = rig.dialogs.messages.front();
        QCOMPARE(about.caption, "About the program");
        for (const char* part :
             {"Loadstar v.1.1.2", "Licence: MIT", "kel-emulator", "Connect uses COM1"}) {
            QVERIFY2(about.text.find(part) != std::string::npos, part);
        }
        QCOMPARE(about.icon, loadstar::MessageIcon::none);
        rig.connect();
        rig.click("btProgram");
        QCOMPARE(rig.dialogs.openDialogs.at(0).defaultExtension, "hex");
        QCOMPARE(rig.dialogs.openDialogs.at(0).filters,
                 (Names{"IntelHEX format (*.hex *.ihx)", "Binary file (*.bin)", "All Files (*)"}));
        // Upload replaces the initial "flash.hex" with its own proposal, in the folder last chosen.
        QTemporaryDir folder;
        rig.dialogs.saveAnswer = folder.filePath("first.hex").toStdString();
        rig.click("rbBoot");
        rig.click("btUpload");
        rig.selectSector(1);
        rig.click("btUpload");
        QCOMPARE(rig.dialogs.saveDialogs.at(0).fileName, "KEL520_seg(CSBOOT0)");
        QCOMPARE(rig.dialogs.saveDialogs.at(1).fileName,
                 folder.filePath("KEL520_seg(CSBOOT1)").toStdString());
        QCOMPARE(rig.dialogs.saveDialogs.at(0).defaultExtension, "hex");
        QCOMPARE(rig.dialogs.saveDialogs.at(0).filters,
                 (Names{"IntelHEX file (*.hex)", "Binary file (*.bin)",
                        "Memory dump in text file (*.txt)"}));
    }

    void connectFollowsTheBoardsAnswerAndDisconnectOrCloseLetGoOfThePort() {
        // A KEL620 is accepted like a KEL520; a silent board is asked once and ten more times; a
        // port that another program holds is not opened.
        for (const std::string board : {"KEL620", "silent", "held"}) {
            MainFormRig rig("KEL620");
            rig.setSilent(board == "silent");
            rig.board.setLineHeld(board == "held");
            rig.click("btConnect");
            QCOMPARE(rig.board.countOf("BRD"), board == "silent" ? 11 : board == "held" ? 0 : 1);
            QCOMPARE(rig.dialogs.texts(),
                     board == "KEL620"   ? Names{}
                     : board == "silent" ? Names{loadstar::connectionFailedMessage}
                                         : Names{"Can't open COM1 (" + loadstar::resolveComPort() +
                                                 "): Device or resource busy."});
            QCOMPARE(rig.status(), board == "KEL620" ? "Connected to the board, ready..."
                                                     : "Not connected to the board...");
            rig.board.setLineHeld(rig.board.lineHeld() && board != "held");  // let go
            verifyConnected(rig, board == "KEL620");
        }

        MainFormRig rig;
        rig.form.show();
        rig.connect();
        rig.selectSector(5);
        // Typed: the key preview passes every key on, and only ESC asks a pass to stop.
        QTest::keyClicks(rig.edit("edData"), "12 34");
        QVERIFY(!rig.form.cancelRequested());
        rig.click("btStopMirror");
        rig.click("btConnect");
        QCOMPARE(rig.status(), "Connection to the board has been closed.");
        QVERIFY(rig.mirrorText().isEmpty());
        QCOMPARE(rig.button("btStopMirror")->text(), "Stop Mirror");
        verifyConnected(rig, false);
        // Connecting again sends no flash selection and finds the fields as they were.
        rig.connect();
        verifyConnected(rig, true);
        QCOMPARE(rig.board.countOf("VM "), 0);
        QCOMPARE(rig.edit("edData")->text(), "12 34");
        QCOMPARE(rig.sectorList()->currentIndex(), 5);
        // Close ends the program, whether connected or not, and asks any pass to stop.
        QSignalSpy end(&rig.form, &TmainForm::programEndRequested);
        rig.click("btClose");
        QCOMPARE(end.count(), 1);
        QVERIFY(!rig.form.isVisible());
        QVERIFY(rig.form.cancelRequested());
        QVERIFY(!rig.form.link().isPortOpen() && !rig.board.lineHeld());
        QVERIFY(!rig.mirrorTimerActive());
    }

    // A refused Connect offers the devices found, the sole USB adapter first in line; the choice
    // is opened by the next Connect (its message names it), shown in the title, and remembered.
    void refusedConnectOffersTheDevicesAndKeepsTheChoice() {
        MainFormRig rig;
        const std::string adapter = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
        rig.devices = {{"/dev/ttyS0", "", "", ""},
                       {"/dev/ttyUSB0", adapter, "0403:6001", "FT232R USB UART"}};
        rig.board.setLineHeld(true);
        struct Step {
            std::optional<std::size_t> answer;
            std::string message;  // the can't-open message's start
            std::size_t offered;  // the entry selected when the list opened
            std::string title;    // after the choice
        };
        const std::string com1 = loadstar::resolveComPort();
        const Step steps[] = {
            {std::nullopt, "Can't open COM1 (" + com1 + "): Device or resource busy.", 2,
             "Loadstar"},
            {2, "Can't open COM1 (" + com1 + ")", 2, "Loadstar - " + adapter},
            {0, "Can't open " + adapter + ": Device or resource busy.", 2, "Loadstar"},
        };
        for (const auto& step : steps) {
            rig.dialogs.messages.clear();
            rig.dialogs.portAnswer = step.answer;
            rig.click("btConnect");
            QCOMPARE(rig.dialogs.messages.size(), std::size_t{1});
            QVERIFY2(rig.dialogs.messages[0].text.rfind(step.message, 0) == 0,
                     rig.dialogs.messages[0].text.c_str());
            const auto& offer = rig.dialogs.portChoices.back();
            QCOMPARE(offer.devices, (Names{"", "/dev/ttyS0", adapter}));
            QCOMPARE(offer.selected, step.offered);
            QCOMPARE(rig.form.windowTitle().toStdString(), step.title);
        }
        QCOMPARE(rig.remembered, (Names{adapter, ""}));
        // COM1 unassigned: the note names the adapter by its stable name, but only as advice.
        QCOMPARE(offer(rig).find(adapter) != std::string::npos,
                 com1 == loadstar::unassignedComPort);
        // No device found: nothing is offered.
        rig.devices.clear();
        rig.click("btConnect");
        QCOMPARE(rig.dialogs.portChoices.size(), std::size_t{3});
        QCOMPARE(rig.button("btConnect")->text(), "Connect");
    }

    void mirrorShowsTheDisplayUntilStoppedAndBlanksSilently() {
        const QString stoppedNotice = "mirroring stopped\n=================";
        MainFormRig rig;
        rig.connect();
        // The timer ticks on its own.
        QTRY_COMPARE(rig.mirrorText(), QString::fromStdString(rig.board.displayText()));
        rig.click("btStopMirror");
        QCOMPARE(rig.mirrorText(), stoppedNotice);
        QCOMPARE(rig.button("btStopMirror")->text(), "Start Mirror");
        QVERIFY(!rig.mirrorTimerActive());
        rig.click("btStopMirror");
        QCOMPARE(rig.button("btStopMirror")->text(), "Stop Mirror");
        QCOMPARE(rig.mirrorText(), stoppedNotice);  // until the next tick
        QVERIFY(rig.mirrorTimerActive());
        // A tick the board does not answer is sent once and three more times, then blanks the
        // label without a box; the timer goes on.
        rig.setSilent(true);
        rig.board.clearPayloads();
        rig.form.mirrorTimerTimer();
        QCOMPARE(rig.board.countOf("MIR"), 1 + 3);
        QVERIFY(rig.mirrorText().isEmpty() && rig.dialogs.messages.empty());
        QVERIFY(rig.mirrorTimerActive());
        QCOMPARE(rig.status(), "Connected to the board, ready...");
    }

    // A board whose replies do not fit: the display shows 96 characters at most, as code page 437
    // glyphs, and a READ FLASH reply shorter than the bytes asked for is refused, not shown.
    void overlongDisplayIsCutAndAShortReadIsRefused() {
        std::string display = "\x01\x7F\xB0\xDB\xFF\r\n";
        while (display.size() < 120) {
            display += "abcdefghij";
        }
        loadstar::testing::RecordingDialogs dialogs;
        TmainForm form(dialogs, [display] {
            auto port = std::make_unique<loadstar::testing::ScriptedPort>();
            port->answer = [display](const std::vector<std::uint8_t>& frame) {
                const std::string payload(frame.begin() + 4, frame.end() - 2);
                return loadstar::testing::replyNow(payload == "BRD"    ? "BRD KEL620"
                                                   : payload == "MIR"  ? "MIR " + display
                                                   : payload[0] == 'R' ? "RRD 8000 10    ABC"
                                                                       : payload);
            };
            return port;
        });
        QTest::mouseClick(form.findChild<QAbstractButton*>("btConnect"), Qt::LeftButton);
        form.mirrorTimerTimer();
        QCOMPARE(form.findChild<QLabel*>("lbDisplayMirror")->text(),
                 QString::fromUtf8("☺⌂░█\u00A0\n") + QString::fromStdString(display.substr(7, 89)));
        form.findChild<QLineEdit*>("edData")->setText("kept");
        QTest::mouseClick(form.findChild<QAbstractButton*>("btRead"), Qt::LeftButton);
        QCOMPARE(dialogs.texts(), Names{"Incomplete reply to READ FLASH command."});
        QCOMPARE(form.statusText(), "Error while reading data from Flash.");
        QCOMPARE(form.findChild<QLineEdit*>("edData")->text(), "kept");
    }
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
