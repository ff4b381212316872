// The memory panel of the real main window against the emulated board: Read, Write, Erase,
// Reset, the flash selection, their messages and status texts. The input checks themselves are
// plain functions tested in the core; here one case per message shows the window uses them.

#include <QtTest>

#include "MainFormRig.h"
#include "MemoryPanelInput.h"
#include "ScriptedPort.h"

using loadstar::emulator::FlashBank;
using loadstar::testing::MainFormRig;
using Names = std::vector<std::string>;

class MemoryPanelTest : public QObject {
    Q_OBJECT

  private slots:
    void readShowsTheBytesAtTheAddress() {
        MainFormRig rig;
        rig.connect();
        rig.selectSector(2);
        auto sector = rig.board.flash().sector(FlashBank::main, 2);
        sector[0x1000] = 0xA5;
        sector[0x1001] = 0x0C;
        rig.board.clearPayloads();
        rig.edit("edCount")->setText("2g");
        rig.edit("edOffset")->setText("0x9000");
        rig.click("btRead");
        QCOMPARE(rig.status(), QStringLiteral("Read Flash done."));
        QCOMPARE(rig.board.commandNames(), (Names{"VM 92", "PG 02", "RRD"}));
        QCOMPARE(rig.edit("edData")->text(), QStringLiteral("A5 0C"));
        QCOMPARE(rig.edit("edCount")->text(), QStringLiteral("2g"));  // neither field rewritten
        QCOMPARE(rig.edit("edOffset")->text(), QStringLiteral("0x9000"));
        // A count of 0 reads nothing and empties the data field.
        rig.edit("edCount")->setText("0");
        rig.click("btRead");
        QCOMPARE(rig.status(), QStringLiteral("Read Flash done."));
        QCOMPARE(rig.edit("edData")->text(), QString());
    }

    void badInputIsRefusedAndSendsNothing() {
        const struct {
            const char* button;
            const char* count;
            const char* offset;
            QString data;
            const char* message;
            const char* status;
        } cases[] = {
            {"btRead", "-1", "zz", "", loadstar::invalidCountMessage,
             "Flash reading unsuccessful."},
            {"btRead", "10", "zz", "", loadstar::invalidAddressMessage,
             "Flash reading unsuccessful."},
            {"btRead", "10", "18000", "", loadstar::addressOutOfRangeMessage,
             "Flash reading unsuccessful."},
            {"btWrite", "10", "xyz", "01", loadstar::invalidOffsetMessage,
             "Flash writing unsuccessful."},
            {"btWrite", "10", "8000", "12 345", loadstar::invalidDataMessage,
             "Flash writing unsuccessful."},
            {"btWrite", "10", "8000", QString("01 ").repeated(256), loadstar::dataTooLongMessage,
             "Flash writing unsuccessful."},
        };
        for (const auto& c : cases) {
            MainFormRig rig;
            rig.connect();
            rig.edit("edCount")->setText(c.count);
            rig.edit("edOffset")->setText(c.offset);
            rig.edit("edData")->setText(c.data);
            rig.click(c.button);
            QCOMPARE(rig.dialogs.texts(), Names{c.message});
            QCOMPARE(rig.dialogs.messages.front().caption, std::string("Error"));
            QCOMPARE(rig.dialogs.messages.front().icon, loadstar::MessageIcon::warning);
            QVERIFY(rig.board.payloads().empty());
            QCOMPARE(rig.status(), QString(c.status));
            QCOMPARE(rig.edit("edCount")->text(), QString(c.count));
        }
    }

    void failuresSetTheirStatus() {
        MainFormRig rig;
        rig.connect();
        // The selection fails: its own message, and the opening status stays.
        rig.setSilent(true);
        rig.click("btRead");
        QCOMPARE(rig.dialogs.texts(), Names{"Error sending SET VM command."});
        QCOMPARE(rig.status(), QStringLiteral("Flash reading unsuccessful."));
        rig.click("btErase");
        QCOMPARE(rig.status(), QStringLiteral("Flash reading unsuccessful."));
        rig.click("rbBoot");
        QCOMPARE(rig.status(), QStringLiteral("Error changing the execution page..."));
        QCOMPARE(rig.sectorList()->count(), 4);  // the list follows all the same
        // The read itself fails.
        rig.setSilent(false);
        rig.dialogs.messages.clear();
        rig.lastPort->onWrite = [&](const std::vector<std::uint8_t>& frame) {
            rig.setSilent(frame[4] == 'R' && frame[5] == 'R');
        };
        rig.click("btRead");
        QCOMPARE(rig.dialogs.texts(), Names{"Error sending READ FLASH command."});
        QCOMPARE(rig.status(), QStringLiteral("Error while reading data from Flash."));
        // A write the flash cannot take: the count was rewritten before the board was asked.
        rig.lastPort->onWrite = nullptr;
        rig.setSilent(false);
        rig.dialogs.messages.clear();
        rig.board.flash().sector(FlashBank::boot, 0)[0] = 0x00;
        rig.edit("edData")->setText("FF 00");
        rig.click("btWrite");
        QCOMPARE(rig.dialogs.texts(),
                 Names{"Error writing data, target memory space probably not blank."});
        QCOMPARE(rig.status(), QStringLiteral("Error while writing data to Flash."));
        QCOMPARE(rig.edit("edCount")->text(), QStringLiteral("02"));
    }

    void readRefusesAReplyShorterThanTheDataAskedFor() {
        // A board that answers READ FLASH with three bytes instead of sixteen.
        loadstar::testing::RecordingDialogs dialogs;
        TmainForm form(dialogs, [] {
            auto port = std::make_unique<loadstar::testing::ScriptedPort>();
            port->answer = [](const std::vector<std::uint8_t>& frame) {
                const std::string payload(frame.begin() + 4, frame.end() - 2);
                return loadstar::testing::replyNow(payload == "BRD"    ? "BRD KEL520"
                                                   : payload[0] == 'R' ? "RRD 8000 10    ABC"
                                                                       : payload);
            };
            return port;
        });
        QTest::mouseClick(form.findChild<QAbstractButton*>("btConnect"), Qt::LeftButton);
        form.findChild<QLineEdit*>("edData")->setText("kept");
        QTest::mouseClick(form.findChild<QAbstractButton*>("btRead"), Qt::LeftButton);
        QCOMPARE(dialogs.texts(), Names{"Incomplete reply to READ FLASH command."});
        QCOMPARE(form.statusText(), QStringLiteral("Error while reading data from Flash."));
        QCOMPARE(form.findChild<QLineEdit*>("edData")->text(), QStringLiteral("kept"));
    }

    void writeAndEraseWorkOnTheSelectedBootSector() {
        MainFormRig rig;
        rig.connect();
        rig.click("rbBoot");
        rig.selectSector(2);
        rig.edit("edOffset")->setText("0xC004");
        rig.edit("edData")->setText("1 a2 FF");
        rig.click("btWrite");
        QCOMPARE(rig.status(), QStringLiteral("Write Flash done."));
        QCOMPARE(rig.edit("edCount")->text(), QStringLiteral("03"));
        const auto sector = rig.board.flash().sector(FlashBank::boot, 2);
        QCOMPARE(Names({std::to_string(sector[4]), std::to_string(sector[5])}),
                 Names({"1", "162"}));
        std::ranges::fill(rig.board.flash().sector(FlashBank::boot, 1), 0x00);
        rig.board.clearPayloads();
        rig.click("btErase");
        QCOMPARE(rig.status(), QStringLiteral("Erase Sector done."));
        QCOMPARE(rig.board.commandNames(), (Names{"VM 8C", "PG 00", "EB"}));
        const auto erase = rig.board.payloads().back();
        QCOMPARE(erase[2] * 256 + erase[3], 0xC000);
        QCOMPARE(int{sector[4]}, 0xFF);
        QCOMPARE(int{rig.board.flash().sector(FlashBank::boot, 1)[0]}, 0x00);
    }

    void resetShowsItsTextsAndPausesOneSecond() {
        for (const bool silent : {false, true}) {
            MainFormRig rig;
            rig.connect();
            rig.setSilent(silent);
            QString statusWhileSending;
            rig.lastPort->onWrite = [&](const auto&) { statusWhileSending = rig.status(); };
            rig.click("btReset");
            QCOMPARE(statusWhileSending, QStringLiteral("Board reset..."));
            QCOMPARE(rig.pauses, std::vector<std::chrono::milliseconds>{std::chrono::seconds(1)});
            QCOMPARE(rig.status(), QStringLiteral("Board reset command sent."));
            QCOMPARE(rig.board.commandNames().front(), std::string("RST"));
            QCOMPARE(rig.dialogs.texts(), silent ? Names{"Error sending RESET command."} : Names{});
        }
    }

    void flashSelectionChangesTheListAndSelectsOnce() {
        MainFormRig rig;
        rig.connect();
        rig.selectSector(6);
        rig.board.clearPayloads();
        rig.click("rbBoot");
        QCOMPARE(rig.sectorList()->count(), 4);
        QCOMPARE(rig.sectorList()->currentText(), QStringLiteral("3"));
        QCOMPARE(rig.edit("edOffset")->text(), QStringLiteral("E000"));
        QCOMPARE(rig.status(), QStringLiteral("Execution page changed..."));
        rig.selectSector(1);
        QCOMPARE(rig.edit("edOffset")->text(), QStringLiteral("A000"));
        rig.selectSector(3);
        rig.click("rbMain");
        QCOMPARE(rig.sectorList()->count(), 8);
        QCOMPARE(rig.sectorList()->itemText(7), QStringLiteral("7"));
        QCOMPARE(rig.sectorList()->currentIndex(), 3);
        QCOMPARE(rig.edit("edOffset")->text(), QStringLiteral("8000"));
        rig.selectSector(7);
        // One selection for one change: list changes made in code do not run the handler again.
        QCOMPARE(rig.board.commandNames(), (Names{"VM 8C", "PG 00", "VM 8C", "PG 00", "VM 8C",
                                                  "PG 00", "VM 92", "PG 03", "VM 92", "PG 07"}));
    }
};

QTEST_MAIN(MemoryPanelTest)
#include "MemoryPanelTest.moc"
