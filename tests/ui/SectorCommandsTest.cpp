// The sector file commands of the real main window against the emulated board: the sector each
// works on, their status texts, the open dialog, and what happens when ESC, a mirror tick,
// Disconnect or closing the window come in between two blocks of a pass.

#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include "FileContents.h"
#include "MainFormRig.h"
#include "TempDir.h"

using loadstar::processFlags;
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

  private slots:
    void passesCoverTheSelectedSector();
    void programTimesItselfAndVerifyOffersTheSameFile();
    void eachCommandTurnsItsResultIntoItsText_data();
    void eachCommandTurnsItsResultIntoItsText();
    void dismissedOpenDialogSendsNothing();
    void mirrorTickRunsBetweenTwoBlocks();
    void closeDuringAPassClosesThePortAndStopsBeforeTheNextBlock();
    void disconnectDuringAPassFailsItsNextExchange();

  private:
    loadstar::testing::TempDir folder;
};

void SectorCommandsTest::passesCoverTheSelectedSector() {
    MainFormRig rig;
    rig.connect();
    rig.selectSector(5);
    rig.board.clearPayloads();
    rig.click("btBlankCheck");
    QCOMPARE(rig.commandNames().at(1), std::string("PG 05"));
    auto reads = rig.payloadsOf("RRD");
    QCOMPARE(addressOf(reads.front()), 0x8000);
    QCOMPARE(addressOf(reads.back()) + reads.back()[5], 0x10000);

    rig.selectBoot();
    rig.selectSector(2);
    rig.board.clearPayloads();
    rig.dialogs.messages.clear();
    QStringList progress;
    rig.dialogs.onEvents = [&](int) { progress << rig.status(); };
    rig.click("btBlankCheck");
    QCOMPARE(rig.status(), QStringLiteral("Blank Check done."));
    QCOMPARE(rig.dialogs.texts(), Names{"The sector is blank"});
    reads = rig.payloadsOf("RRD");
    QCOMPARE(addressOf(reads.front()), 0xC000);
    QCOMPARE(addressOf(reads.back()) + reads.back()[5], 0xE000);
    QCOMPARE(progress.first(), QStringLiteral("Reading flash, 7951 bytes remaining."));
    QCOMPARE(progress.last(), QStringLiteral("Reading flash, 0 bytes remaining."));

    rig.board.flash().sector(FlashBank::boot, 2)[5] = 0x42;
    rig.dialogs.saveAnswer = folder.file("boot2.bin");
    rig.click("btUpload");
    QCOMPARE(rig.status(), QStringLiteral("Upload done."));
    QCOMPARE(rig.dialogs.saveDialogs.back().fileName, std::string("KEL520_seg(CSBOOT2)"));
    const std::string contents = loadstar::testing::contentsOf(folder.file("boot2.bin"));
    QCOMPARE(contents.size(), std::size_t{8192});
    QCOMPARE(contents[5], '\x42');
}

void SectorCommandsTest::programTimesItselfAndVerifyOffersTheSameFile() {
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

    // The real clock gives the same form.
    rig.form.setClock([] { return steady_clock::now(); });
    rig.click("btErase");
    rig.click("btProgram");
    QVERIFY(QRegularExpression("^Program Sector done\\. Time consumed is \\d+ ms\\.$")
                .match(rig.status())
                .hasMatch());

    rig.dialogs.messages.clear();
    rig.click("btVerify");
    QCOMPARE(rig.dialogs.openDialogs.back().fileName, file);
    QCOMPARE(rig.dialogs.texts(), Names{"Data Verify OK"});
    QCOMPARE(rig.status(), QStringLiteral("Verify Sector done."));
}

void SectorCommandsTest::eachCommandTurnsItsResultIntoItsText_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("status");
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
        QTest::addRow("%s done", row.button) << row.button << "done" << row.done;
        QTest::addRow("%s cancelled", row.button) << row.button << "cancelled" << row.cancelled;
        QTest::addRow("%s failed", row.button) << row.button << "failed" << row.failed;
    }
}

void SectorCommandsTest::eachCommandTurnsItsResultIntoItsText() {
    QFETCH(QString, button);
    QFETCH(QString, outcome);
    QFETCH(QString, status);
    MainFormRig rig;
    rig.form.show();
    rig.connect();
    rig.selectBoot();
    rig.dialogs.openAnswer = folder.write("boot.bin", std::string(8192, '\xFF'));
    rig.dialogs.saveAnswer = folder.file("upload.bin");
    rig.dialogs.messages.clear();
    // ESC, or the board falling silent, after the second block.
    rig.dialogs.onEvents = [&](int round) {
        if (round == 2 && outcome == "cancelled") {
            QTest::keyClick(rig.edit("edData"), Qt::Key_Escape);
        } else if (round == 2 && outcome == "failed") {
            rig.setSilent(true);
        }
    };
    rig.click(button.toLatin1().constData());
    QVERIFY2(rig.status().startsWith(status), qPrintable(rig.status()));
    if (outcome == "done") {
        return;
    }
    QCOMPARE(rig.dialogs.eventRounds, 2);  // stopped before the next block
    if (outcome == "cancelled") {
        // Neither result box of a pass that was cancelled, and no save dialog.
        QVERIFY(rig.dialogs.messages.empty());
        QVERIFY(rig.dialogs.saveDialogs.empty());
    } else {
        QCOMPARE(rig.dialogs.texts(),
                 Names{button == "btProgram" ? "Error sending WRITE FLASH command."
                                             : "Error sending READ FLASH command."});
    }
}

void SectorCommandsTest::dismissedOpenDialogSendsNothing() {
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

void SectorCommandsTest::mirrorTickRunsBetweenTwoBlocks() {
    MainFormRig rig;
    rig.connect();
    rig.selectBoot();
    rig.board.clearPayloads();
    rig.dialogs.onEvents = [&](int round) {
        if (round == 1) {
            // Long enough for the 250 ms mirror timer to fall due while the pass is busy.
            QTRY_VERIFY(rig.board.countOf("MIR") > 0);
        }
    };
    rig.click("btBlankCheck");
    QCOMPARE(rig.dialogs.texts(), Names{"The sector is blank"});
    const Names names = rig.commandNames();
    const auto mirror = std::find(names.begin(), names.end(), "MIR");
    QVERIFY(mirror != names.end());
    QCOMPARE(*(mirror - 1), std::string("RRD"));
    QCOMPARE(*(mirror + 1), std::string("RRD"));
    QCOMPARE(rig.payloadsOf("RRD").size(), std::size_t{34});
    QVERIFY(rig.mirrorText().startsWith(QStringLiteral("KEL520")));
}

void SectorCommandsTest::closeDuringAPassClosesThePortAndStopsBeforeTheNextBlock() {
    MainFormRig rig;
    rig.form.show();
    rig.connect();
    QSignalSpy end(&rig.form, &TmainForm::programEndRequested);
    bool portClosedAtOnce = false;
    rig.dialogs.onEvents = [&](int round) {
        if (round == 3) {
            rig.form.close();
            portClosedAtOnce = !rig.form.link().isPortOpen();
        }
    };
    rig.click("btBlankCheck");
    QVERIFY(portClosedAtOnce);
    QCOMPARE(end.count(), 1);
    QCOMPARE(rig.payloadsOf("RRD").size(), std::size_t{3});
    // The handler still wrote its closing text, and no box came up.
    QCOMPARE(rig.status(), QStringLiteral("Blank Check cancelled."));
    QVERIFY(rig.dialogs.messages.empty());
}

void SectorCommandsTest::disconnectDuringAPassFailsItsNextExchange() {
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
    QCOMPARE(rig.payloadsOf("RRD").size(), std::size_t{2});
    // The window works on: connect again and check the whole sector.
    rig.dialogs.onEvents = nullptr;
    rig.connect();
    rig.click("btBlankCheck");
    QCOMPARE(rig.status(), QStringLiteral("Blank Check done."));
}

QTEST_MAIN(SectorCommandsTest)
#include "SectorCommandsTest.moc"
