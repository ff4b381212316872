// The main window's commands against the emulated board: the memory panel and the sector file
// commands, the sector each works on, their status texts, and ESC or Disconnect during a pass.
// The input checks and the passes themselves are tested in the core and the command-line tool.

#include <QLabel>
#include <QProgressBar>
#include <QtTest>

#include "MainFormRig.h"
#include "iap/MemoryPanelInput.h"
#include "support/TempDir.h"

using loadstar::emulator::FlashBank;
using loadstar::testing::MainFormRig;
using loadstar::testing::Names;

class MainFormCommandsTest : public QObject {
    Q_OBJECT

    loadstar::testing::TempDir folder;

  private slots:
    void readWriteAndEraseWorkOnTheSelectedSector() {
        MainFormRig rig;
        rig.connect();
        rig.selectSector(2);
        auto mainSector = rig.board.flash().sector(FlashBank::main, 2);
        mainSector[0x1000] = 0xA5;
        mainSector[0x1001] = 0x0C;
        rig.board.clearPayloads();
        rig.edit("edCount")->setText("2g");
        rig.edit("edOffset")->setText("0x9000");
        rig.click("btRead");
        QCOMPARE(rig.status(), "Read Flash done.");
        QCOMPARE(rig.board.commandNames(), (Names{"VM 92", "PG 02", "RRD"}));
        QCOMPARE(rig.edit("edData")->text(), "A5 0C");
        QCOMPARE(rig.edit("edCount")->text(), "2g");  // not rewritten

        rig.click("rbBoot");
        rig.selectSector(2);
        rig.edit("edOffset")->setText("0xC004");
        rig.edit("edData")->setText("1 a2 FF");
        rig.click("btWrite");
        QCOMPARE(rig.status(), "Write Flash done.");
        QCOMPARE(rig.edit("edCount")->text(), "03");
        const auto bootSector = rig.board.flash().sector(FlashBank::boot, 2);
        QCOMPARE(bootSector[4] * 256 + bootSector[5], 0x01A2);
        rig.board.clearPayloads();
        rig.click("btErase");
        QCOMPARE(rig.status(), "Erase Sector done.");
        QCOMPARE(rig.board.commandNames(), (Names{"VM 8C", "PG 00", "EB"}));
        QCOMPARE(int{bootSector[4]}, 0xFF);
    }

    void refusalsFailuresAndResetSetTheirStatus() {
        MainFormRig rig;
        rig.connect();
        // Bad input: the check's message, nothing sent, the fields as they were.
        rig.edit("edCount")->setText("-1");
        rig.click("btRead");
        rig.edit("edData")->setText("12 345");
        rig.click("btWrite");
        QCOMPARE(rig.dialogs.texts(),
                 (Names{loadstar::invalidCountMessage, loadstar::invalidDataMessage}));
        QCOMPARE(rig.dialogs.messages.front().caption, "Error");
        QCOMPARE(rig.dialogs.messages.front().icon, loadstar::MessageIcon::warning);
        QVERIFY(rig.board.payloads().empty());
        QCOMPARE(rig.status(), "Flash writing unsuccessful.");
        QCOMPARE(rig.edit("edCount")->text(), "-1");
        // The selection fails: its own message, and the opening status stays.
        rig.edit("edCount")->setText("10");
        rig.setSilent(true);
        rig.click("btRead");
        QCOMPARE(rig.status(), "Flash reading unsuccessful.");
        rig.click("btErase");
        QCOMPARE(rig.status(), "Flash reading unsuccessful.");
        rig.click("rbBoot");
        QCOMPARE(rig.status(), "Error changing the execution page...");
        QCOMPARE(rig.sectorList()->count(), 4);  // the list follows all the same
        // Reset shows its texts and pauses one second whatever the board says.
        QString statusWhileSending;
        rig.lastPort->onWrite = [&](const auto&) { statusWhileSending = rig.status(); };
        rig.click("btReset");
        QCOMPARE(statusWhileSending, "Board reset...");
        QCOMPARE(rig.pauses, std::vector<std::chrono::milliseconds>{std::chrono::seconds(1)});
        QCOMPARE(rig.status(), "Board reset command sent.");
        rig.lastPort->onWrite = nullptr;
        // The read itself fails.
        rig.board.setFaults({.ignoredCommand = "RRD"});
        rig.click("btRead");
        QCOMPARE(rig.status(), "Error while reading data from Flash.");
        // A write the flash cannot take: the count was rewritten before the board was asked.
        rig.board.flash().sector(FlashBank::boot, 0)[0] = 0x00;
        rig.edit("edData")->setText("FF 00");
        rig.click("btWrite");
        QCOMPARE(rig.status(), "Error while writing data to Flash.");
        QCOMPARE(rig.edit("edCount")->text(), "02");
    }

    void flashSelectionChangesTheListAndSelectsOnce() {
        MainFormRig rig;
        rig.connect();
        rig.selectSector(6);
        rig.board.clearPayloads();
        rig.click("rbBoot");
        QCOMPARE(rig.sectorList()->count(), 4);
        QCOMPARE(rig.sectorList()->currentText(), "3");
        QCOMPARE(rig.edit("edOffset")->text(), "E000");
        QCOMPARE(rig.status(), "Execution page changed...");
        rig.selectSector(1);
        QCOMPARE(rig.edit("edOffset")->text(), "A000");
        rig.click("rbMain");
        QCOMPARE(rig.sectorList()->itemText(7), "7");
        QCOMPARE(rig.sectorList()->currentIndex(), 1);
        QCOMPARE(rig.edit("edOffset")->text(), "8000");
        // One selection for one change: list changes made in code do not run the handler again.
        QCOMPARE(rig.board.commandNames(),
                 (Names{"VM 8C", "PG 00", "VM 8C", "PG 00", "VM 92", "PG 01"}));
    }

    void sectorCommandsWorkOnTheSelectedSectorAndShowTheirResult() {
        const char* const table[][4] = {
            // The button, then its status text when done, cancelled and failed.
            {"btBlankCheck", "Blank Check done.", "Blank Check cancelled.",
             "Blank Check operation unsuccessful."},
            {"btUpload", "Upload done.", "Upload cancelled.", "Upload operation unsuccessful."},
            {"btProgram", "Program Sector done. Time consumed is", "Program Sector cancelled.",
             "Error while programming of the sector."},
            {"btVerify", "Verify Sector done.", "Verify Sector cancelled.",
             "Error while verifying of the sector."},
        };
        for (const auto& row : table) {
            for (const int outcome : {1, 2, 3}) {
                MainFormRig rig;
                rig.form.show();
                rig.connect();
                rig.click("rbBoot");
                rig.selectSector(2);
                rig.board.clearPayloads();
                rig.dialogs.openAnswer = folder.write("boot.bin", std::string(8192, '\xFF'));
                rig.dialogs.saveAnswer = folder.file("upload.bin");
                // ESC, or the board falling silent, after the second block.
                rig.dialogs.onEvents = [&](int round) {
                    if (round == 2 && outcome == 2) {
                        QTest::keyClick(rig.edit("edData"), Qt::Key_Escape);
                    }
                    rig.setSilent(round >= 2 && outcome == 3);
                };
                rig.click(row[0]);
                QVERIFY2(rig.status().startsWith(row[outcome]), qPrintable(rig.status()));
                // Boot sector 2: 8192 bytes from 0xC000, whatever the command.
                const auto blocks =
                    rig.board.payloadsOf(row[0] == std::string("btProgram") ? "WFP" : "RRD");
                const auto end = [](const auto& block) {
                    return block[3] * 256 + block[4] + block[5];
                };
                QCOMPARE(end(blocks.front()) - blocks.front()[5], 0xC000);
                QVERIFY(outcome != 1 || end(blocks.back()) == 0xE000);
            }
        }
    }

    void programTimesItselfAndVerifyOffersTheSameFile() {
        MainFormRig rig;
        rig.connect();
        rig.selectSector(5);
        rig.board.clearPayloads();
        for (const char* button : {"btProgram", "btVerify"}) {  // dismissed: nothing sent
            rig.click(button);
            QCOMPARE(rig.status(), "File open aborted.");
        }
        QVERIFY(rig.board.payloads().empty());
        const std::string file = folder.write("image.bin", std::string(1001, '\x5A'));
        using namespace std::chrono;
        const steady_clock::time_point start(seconds(10));
        int ticks = 0;
        rig.form.setClock([&] { return ticks++ == 0 ? start : start + milliseconds(1234); });
        rig.dialogs.openAnswer = file;
        rig.click("btProgram");
        QCOMPARE(rig.status(), "Program Sector done. Time consumed is 1234 ms.");
        QCOMPARE(int{rig.board.flash().sector(FlashBank::main, 5)[1000]}, 0x5A);
        rig.dialogs.openAnswer.reset();
        rig.click("btVerify");
        QCOMPARE(rig.dialogs.openDialogs.back().fileName, file);
    }

    // While a pass runs, only Stop Mirror of the work controls stays on, and no command starts
    // inside it, not even from code; the status bar shows how far it is, the time left and that
    // Esc cancels.
    void aPassRefusesAnotherAndShowsItsProgress() {
        MainFormRig rig;
        rig.form.show();
        rig.connect();
        using namespace std::chrono;
        steady_clock::time_point now{};
        rig.form.setClock([&] { return now += milliseconds(100); });
        auto* bar = rig.control<QProgressBar>("pbProgress");
        rig.dialogs.saveAnswer = folder.file("nested.hex");
        QStringList seen;
        rig.dialogs.onEvents = [&](int round) {
            if (round > 2) {
                return;
            }
            QStringList on;
            for (const char* name :
                 {"btRead", "btWrite", "btErase", "btVerify", "btProgram", "btBlankCheck",
                  "btUpload", "btReset", "btStopMirror", "btTest", "rbMain", "cbSector", "edData",
                  "btConnect", "btClose", "btAbout"}) {
                rig.control(name)->isEnabled() ? void(on << name) : void();
            }
            seen << on.join(" ") << bar->text() << rig.status();
            // Bar and text side by side in the status bar, the text whole.
            const QRect barArea(bar->mapTo(&rig.form, QPoint()), bar->size());
            auto* text = rig.control<QLabel>("sbStatusPanel");
            QVERIFY(rig.form.rect().contains(barArea) && bar->isVisible());
            QVERIFY(text->fontMetrics().horizontalAdvance(text->text()) <=
                    text->contentsRect().width());
            QVERIFY(text->mapTo(&rig.form, QPoint()).x() + text->width() <= barArea.left());
            rig.form.btUploadClick();
            rig.form.btReadClick();
            rig.form.btTestClick();
            rig.form.rbMainClick();
        };
        rig.click("btBlankCheck");
        // 32768 bytes in reads of 241: the second block leaves 133.97 blocks at 100 ms each.
        QCOMPARE(seen,
                 (QStringList{"btStopMirror btConnect btClose btAbout", "Esc cancels",
                              "Reading flash, 32527 bytes remaining.",
                              "btStopMirror btConnect btClose btAbout", "0:13 left, Esc cancels",
                              "Reading flash, 32286 bytes remaining."}));
        QCOMPARE(rig.status(), "Blank Check done.");
        QVERIFY(rig.dialogs.saveDialogs.empty() && rig.board.countOf("VM ") == 1);
        QVERIFY(!bar->isVisible() && rig.control("btRead")->isEnabled());
        QVERIFY(!rig.form.passRunning());
    }

    void disconnectDuringAPassFailsItsNextExchange() {
        MainFormRig rig;
        rig.connect();
        rig.dialogs.onEvents = [&](int round) { round == 2 ? rig.click("btConnect") : void(); };
        rig.click("btBlankCheck");
        QCOMPARE(rig.button("btConnect")->text(), "Connect");
        QCOMPARE(rig.dialogs.texts(), Names{"Error sending READ FLASH command."});
        QCOMPARE(rig.status(), "Blank Check operation unsuccessful.");
        QCOMPARE(rig.board.countOf("RRD"), 2);
        // The window works on: connect again and check the whole sector.
        rig.dialogs.onEvents = nullptr;
        rig.connect();
        rig.click("btBlankCheck");
        QCOMPARE(rig.status(), "Blank Check done.");
    }
};

QTEST_MAIN(MainFormCommandsTest)
#include "MainFormCommandsTest.moc"
