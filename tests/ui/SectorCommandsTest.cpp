// The sector file commands of the real main window against the emulated board: the sector each
// works on, their status texts, the open dialog, and what happens when ESC, a mirror tick,
// Disconnect or closing the window come in between two blocks of a pass.

#include <QtTest>

#include "DumpWriters.h"
#include "MainFormRig.h"
#include "TempDir.h"

using loadstar::emulator::FlashBank;
using loadstar::testing::MainFormRig;
using Names = std::vector<std::string>;

namespace {

int addressOf(const std::vector<std::uint8_t>& payload) {
    return payload.at(3) * 256 + payload.at(4);
}

}  // namespace

class SectorCommandsTest : public QObject {
    Q_OBJECT

    loadstar::testing::TempDir folder;

  private slots:
    void passesCoverTheSelectedSector() {
        MainFormRig rig;
        rig.connect();
        rig.click("rbBoot");
        rig.selectSector(2);
        rig.board.clearPayloads();
        rig.click("btBlankCheck");
        QCOMPARE(rig.status(), QStringLiteral("Blank Check done."));
        QCOMPARE(rig.dialogs.texts(), Names{"The sector is blank"});
        const auto reads = rig.board.payloadsOf("RRD");
        QCOMPARE(addressOf(reads.front()), 0xC000);
        QCOMPARE(addressOf(reads.back()) + reads.back()[5], 0xE000);
    }

    void programTimesItselfAndVerifyOffersTheSameFile() {
        MainFormRig rig;
        rig.connect();
        rig.selectSector(5);
        const std::string image(1001, '\x5A');
        const std::string file = folder.write("image.bin", image);
        using namespace std::chrono;
        std::vector<steady_clock::time_point> times = {
            steady_clock::time_point(seconds(10)),
            steady_clock::time_point(seconds(10) + milliseconds(1234))};
        std::size_t tick = 0;
        rig.form.setClock([&] { return times.at(std::min(tick++, times.size() - 1)); });
        rig.dialogs.openAnswer = file;
        rig.click("btProgram");
        QCOMPARE(rig.status(), QStringLiteral("Program Sector done. Time consumed is 1234 ms."));
        QCOMPARE(int{rig.board.flash().sector(FlashBank::main, 5)[1000]}, 0x5A);

        rig.dialogs.messages.clear();
        rig.click("btVerify");
        QCOMPARE(rig.dialogs.openDialogs.back().fileName, file);
        QCOMPARE(rig.dialogs.texts(), Names{"Data Verify OK"});
        QCOMPARE(rig.status(), QStringLiteral("Verify Sector done."));
    }

    void eachCommandTurnsItsResultIntoItsText() {
        const struct {
            const char* button;
            const char* done;
            const char* cancelled;
            const char* failed;
        } table[] = {
            {"btBlankCheck", "Blank Check done.", "Blank Check cancelled.",
             "Blank Check operation unsuccessful."},
            {"btUpload", "Upload done.", "Upload cancelled.", "Upload operation unsuccessful."},
            {"btProgram", "Program Sector done. Time consumed is", "Program Sector cancelled.",
             "Error while programming of the sector."},
            {"btVerify", "Verify Sector done.", "Verify Sector cancelled.",
             "Error while verifying of the sector."},
        };
        for (const auto& row : table) {
            for (const std::string outcome : {"done", "cancelled", "failed"}) {
                MainFormRig rig;
                rig.form.show();
                rig.connect();
                rig.click("rbBoot");
                rig.dialogs.openAnswer = folder.write("boot.bin", std::string(8192, '\xFF'));
                rig.dialogs.saveAnswer = folder.file("upload.bin");
                // ESC, or the board falling silent, after the second block.
                rig.dialogs.onEvents = [&](int round) {
                    if (round == 2 && outcome == "cancelled") {
                        QTest::keyClick(rig.edit("edData"), Qt::Key_Escape);
                    }
                    rig.setSilent(round >= 2 && outcome == "failed");
                };
                rig.click(row.button);
                const char* status = outcome == "done"        ? row.done
                                     : outcome == "cancelled" ? row.cancelled
                                                              : row.failed;
                QVERIFY2(rig.status().startsWith(status), qPrintable(rig.status()));
                if (outcome != "done") {
                    // No further block; a cancelled pass shows neither result box nor save dialog.
                    QCOMPARE(rig.dialogs.eventRounds, 2);
                    const bool program = row.button == std::string_view("btProgram");
                    QCOMPARE(rig.dialogs.texts(), outcome == "cancelled" ? Names{}
                                                  : program
                                                      ? Names{"Error sending WRITE FLASH command."}
                                                      : Names{"Error sending READ FLASH command."});
                    QVERIFY(rig.dialogs.saveDialogs.empty());
                }
            }
        }
    }

    // The save dialog offers every name; one of no known format is refused, and the file of that
    // name keeps what it held.
    void uploadToAnUnknownFormatKeepsTheFile() {
        MainFormRig rig;
        rig.connect();
        rig.click("rbBoot");
        rig.dialogs.saveAnswer = folder.write("keep.dat", "kept");
        rig.click("btUpload");
        QCOMPARE(rig.dialogs.texts(), Names{loadstar::unknownDumpFormatMessage});
        QCOMPARE(rig.status(), QStringLiteral("Upload operation unsuccessful."));
        QCOMPARE(folder.read("keep.dat"), std::string("kept"));
    }

    void dismissedOpenDialogSendsNothing() {
        MainFormRig rig;
        rig.connect();
        QStringList statusAtDialog;
        rig.dialogs.onDialog = [&] { statusAtDialog << rig.status(); };
        rig.click("btProgram");
        QCOMPARE(rig.status(), QStringLiteral("File open aborted."));
        rig.click("btVerify");
        QCOMPARE(rig.status(), QStringLiteral("File open aborted."));
        QCOMPARE(statusAtDialog, QStringList({"Program Sector...", "Verify Sector..."}));
        QVERIFY(rig.board.payloads().empty());
        // The dismissed dialog is not remembered: it still offers no file.
        QVERIFY(rig.dialogs.openDialogs.back().fileName.empty());
    }

    void mirrorTickRunsBetweenTwoBlocks() {
        MainFormRig rig;
        rig.connect();
        rig.click("rbBoot");
        rig.board.clearPayloads();
        rig.dialogs.onEvents = [&](int round) {
            if (round == 1) {
                // Long enough for the 250 ms mirror timer to fall due while the pass is busy.
                QTRY_VERIFY(rig.board.countOf("MIR") > 0);
            }
        };
        rig.click("btBlankCheck");
        QCOMPARE(rig.dialogs.texts(), Names{"The sector is blank"});
        const Names names = rig.board.commandNames();
        const auto mirror = std::find(names.begin(), names.end(), "MIR");
        QVERIFY(mirror != names.end());
        QCOMPARE(*(mirror - 1), std::string("RRD"));
        QCOMPARE(*(mirror + 1), std::string("RRD"));
        QCOMPARE(rig.board.payloadsOf("RRD").size(), std::size_t{34});
        QVERIFY(rig.mirrorText().startsWith(QStringLiteral("KEL520")));
    }

    void disconnectDuringAPassFailsItsNextExchange() {
        MainFormRig rig;
        rig.connect();
        rig.dialogs.onEvents = [&](int round) {
            if (round == 2) {
                rig.click("btConnect");
            }
        };
        rig.click("btBlankCheck");
        QCOMPARE(rig.button("btConnect")->text(), QStringLiteral("Connect"));
        QCOMPARE(rig.dialogs.texts(), Names{"Error sending READ FLASH command."});
        QCOMPARE(rig.status(), QStringLiteral("Blank Check operation unsuccessful."));
        QCOMPARE(rig.board.payloadsOf("RRD").size(), std::size_t{2});
        // The window works on: connect again and check the whole sector.
        rig.dialogs.onEvents = nullptr;
        rig.connect();
        rig.click("btBlankCheck");
        QCOMPARE(rig.status(), QStringLiteral("Blank Check done."));
    }
};

QTEST_MAIN(SectorCommandsTest)
#include "SectorCommandsTest.moc"
