// The sector file commands of the real main window against the emulated board: Blank Check,
// Upload, Program and Verify, their status texts, the open dialog, and what happens when ESC,
// a mirror tick, Disconnect or closing the window come in between two blocks of a pass.

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "FileContents.h"
#include "MainFormRig.h"
#include "TempDir.h"

using loadstar::processFlags;
using loadstar::emulator::FlashBank;
using loadstar::testing::MainFormRig;
using Names = std::vector<std::string>;

namespace {

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 13 + 1);
    }
    return bytes;
}

int addressOf(const std::vector<std::uint8_t>& payload) {
    return payload.at(3) * 256 + payload.at(4);
}

enum class Outcome { done, cancelled, failed };

}  // namespace

class SectorCommandsTest : public QObject {
    Q_OBJECT

  private slots:
    void bootSectorTwoCoversEightKilobytesFromC000();
    void mainSectorFivePagesInAndCoversThirtyTwoKilobytes();
    void programTimesItselfAndVerifyOffersTheSameFile();
    void eachCommandTurnsItsResultIntoItsText_data();
    void eachCommandTurnsItsResultIntoItsText();
    void dismissedOpenDialogSendsNothing_data();
    void dismissedOpenDialogSendsNothing();
    void escapeBeforeAPassDoesNotCancelIt();
    void mirrorTickRunsBetweenTwoBlocks();
    void otherButtonsWorkInTheMiddleOfAPass();
    void closeDuringAPassClosesThePortAndStopsBeforeTheNextBlock();
    void disconnectDuringAPassFailsItsNextExchange();

  private:
    loadstar::testing::TempDir folder;
};

void SectorCommandsTest::bootSectorTwoCoversEightKilobytesFromC000() {
    MainFormRig rig;
    rig.connect();
    rig.selectBoot();
    rig.selectSector(2);
    rig.board.clearPayloads();
    QStringList progress;
    rig.dialogs.onEvents = [&](int) { progress << rig.status(); };
    rig.click("btBlankCheck");
    QCOMPARE(rig.status(), QStringLiteral("Blank Check done."));
    QCOMPARE(rig.dialogs.texts(), Names{"The sector is blank"});
    const auto reads = rig.payloadsOf("RRD");
    QCOMPARE(reads.size(), std::size_t{34});
    QCOMPARE(addressOf(reads.front()), 0xC000);
    QCOMPARE(addressOf(reads.back()) + reads.back()[5], 0xE000);
    QCOMPARE(progress.first(), QStringLiteral("Reading flash, 7951 bytes remaining."));
    QCOMPARE(progress.last(), QStringLiteral("Reading flash, 0 bytes remaining."));

    rig.board.clearPayloads();
    rig.dialogs.messages.clear();
    rig.board.flash().sector(FlashBank::boot, 2)[5] = 0x42;
    const std::string upload = folder.file("boot2.bin");
    rig.dialogs.saveAnswer = upload;
    rig.click("btUpload");
    QCOMPARE(rig.status(), QStringLiteral("Upload done."));
    QCOMPARE(rig.dialogs.saveDialogs.back().fileName, std::string("KEL520_seg(CSBOOT2)"));
    QCOMPARE(rig.payloadsOf("RRD").size(), std::size_t{34});
    const std::string contents = loadstar::testing::contentsOf(upload);
    QCOMPARE(contents.size(), std::size_t{8192});
    QCOMPARE(static_cast<std::uint8_t>(contents[5]), std::uint8_t{0x42});
}

void SectorCommandsTest::mainSectorFivePagesInAndCoversThirtyTwoKilobytes() {
    MainFormRig rig;
    rig.connect();
    rig.selectSector(5);
    rig.board.clearPayloads();
    rig.click("btBlankCheck");
    QCOMPARE(rig.commandNames().at(0), std::string("VM 92"));
    QCOMPARE(rig.commandNames().at(1), std::string("PG 05"));
    const auto reads = rig.payloadsOf("RRD");
    QCOMPARE(reads.size(), std::size_t{136});
    QCOMPARE(addressOf(reads.front()), 0x8000);
    QCOMPARE(addressOf(reads.back()) + reads.back()[5], 0x10000);

    rig.dialogs.saveAnswer = folder.file("main5.hex");
    rig.click("btUpload");
    QCOMPARE(rig.dialogs.saveDialogs.back().fileName, std::string("KEL520_seg(FS5)"));
    QCOMPARE(rig.status(), QStringLiteral("Upload done."));
}

void SectorCommandsTest::programTimesItselfAndVerifyOffersTheSameFile() {
    MainFormRig rig;
    rig.connect();
    rig.selectSector(5);
    const auto image = pattern(1001);
    const std::string file = folder.write("image.bin", std::string(image.begin(), image.end()));
    using namespace std::chrono;
    std::vector<steady_clock::time_point> times = {
        steady_clock::time_point(seconds(10)),
        steady_clock::time_point(seconds(10) + milliseconds(1234))};
    std::size_t tick = 0;
    QStringList statusAtDialog;
    rig.form.setClock([&] { return times.at(std::min(tick++, times.size() - 1)); });
    rig.dialogs.openAnswer = file;
    rig.click("btProgram");
    QCOMPARE(rig.status(), QStringLiteral("Program Sector done. Time consumed is 1234 ms."));
    const auto writes = rig.payloadsOf("WFP");
    QCOMPARE(writes.size(), std::size_t{11});
    QCOMPARE(int{writes.back()[5]}, 1);
    const auto sector = rig.board.flash().sector(FlashBank::main, 5);
    QVERIFY(std::equal(image.begin(), image.end(), sector.begin()));
    QVERIFY(rig.board.flash().sector(FlashBank::main, 4)[0] == 0xFF);

    // The real clock gives the same form.
    rig.form.setClock([] { return steady_clock::now(); });
    rig.click("btErase");
    rig.click("btProgram");
    QVERIFY(
        QRegularExpression(QStringLiteral("^Program Sector done\\. Time consumed is \\d+ ms\\.$"))
            .match(rig.status())
            .hasMatch());

    rig.dialogs.messages.clear();
    rig.dialogs.onEvents = [&](int) { statusAtDialog << rig.status(); };
    rig.click("btVerify");
    QCOMPARE(rig.dialogs.openDialogs.back().fileName, file);
    QCOMPARE(rig.dialogs.texts(), Names{"Data Verify OK"});
    QCOMPARE(rig.status(), QStringLiteral("Verify Sector done."));
    QCOMPARE(statusAtDialog.first(), QStringLiteral("Reading flash, 760 bytes remaining."));
}

void SectorCommandsTest::eachCommandTurnsItsResultIntoItsText_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("outcome");
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
        QTest::addRow("%s done", row.button) << row.button << int(Outcome::done) << row.done;
        QTest::addRow("%s cancelled", row.button)
            << row.button << int(Outcome::cancelled) << row.cancelled;
        QTest::addRow("%s failed", row.button) << row.button << int(Outcome::failed) << row.failed;
    }
}

void SectorCommandsTest::eachCommandTurnsItsResultIntoItsText() {
    QFETCH(QString, button);
    QFETCH(int, outcome);
    QFETCH(QString, status);
    MainFormRig rig;
    rig.form.show();
    rig.connect();
    rig.selectBoot();
    rig.dialogs.openAnswer = folder.write("boot.bin", std::string(8192, '\xFF'));
    rig.dialogs.saveAnswer = folder.file("upload.bin");
    rig.dialogs.messages.clear();
    rig.dialogs.onEvents = [&](int round) {
        if (round != 2) {
            return;
        }
        if (Outcome(outcome) == Outcome::cancelled) {
            QTest::keyClick(rig.edit("edData"), Qt::Key_Escape);
        } else if (Outcome(outcome) == Outcome::failed) {
            rig.setSilent(true);
        }
    };
    rig.click(button.toLatin1().constData());
    QVERIFY2(rig.status().startsWith(status), qPrintable(rig.status()));
    // Two blocks went by before the ESC or the silence; a cancelled pass stops before its next.
    QVERIFY(rig.dialogs.eventRounds >= 2);
    if (Outcome(outcome) == Outcome::cancelled) {
        QCOMPARE(rig.dialogs.eventRounds, 2);
        // Neither result box of a pass that was cancelled, and no save dialog.
        QVERIFY(rig.dialogs.messages.empty());
        QVERIFY(rig.dialogs.saveDialogs.empty());
    }
    if (Outcome(outcome) == Outcome::failed) {
        QCOMPARE(rig.dialogs.eventRounds, 2);
        const std::string expected = button == "btProgram" ? "Error sending WRITE FLASH command."
                                                           : "Error sending READ FLASH command.";
        QCOMPARE(rig.dialogs.texts(), Names{expected});
    }
}

void SectorCommandsTest::dismissedOpenDialogSendsNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("opening");
    QTest::newRow("Program") << "btProgram"
                             << "Program Sector...";
    QTest::newRow("Verify") << "btVerify"
                            << "Verify Sector...";
}

void SectorCommandsTest::dismissedOpenDialogSendsNothing() {
    QFETCH(QString, button);
    QFETCH(QString, opening);
    MainFormRig rig;
    rig.connect();
    QString statusAtDialog;
    rig.dialogs.onDialog = [&] { statusAtDialog = rig.status(); };
    rig.dialogs.openAnswer.reset();
    rig.click(button.toLatin1().constData());
    QCOMPARE(rig.status(), QStringLiteral("File open aborted."));
    QVERIFY(rig.board.payloads().empty());
    QCOMPARE(rig.dialogs.openDialogs.size(), std::size_t{1});
    // The dismissed dialog is not remembered: it still offers no file.
    QVERIFY(rig.dialogs.openDialogs.front().fileName.empty());
    QCOMPARE(statusAtDialog, opening);
}

void SectorCommandsTest::escapeBeforeAPassDoesNotCancelIt() {
    MainFormRig rig;
    rig.form.show();
    rig.connect();
    rig.selectBoot();
    QTest::keyClick(rig.edit("edOffset"), Qt::Key_Escape);
    QVERIFY(processFlags().cancelRequested);
    // The memory panel does not look at the flag.
    rig.click("btRead");
    QCOMPARE(rig.status(), QStringLiteral("Read Flash done."));
    rig.click("btBlankCheck");
    QCOMPARE(rig.status(), QStringLiteral("Blank Check done."));
    QCOMPARE(rig.payloadsOf("RRD").size(), std::size_t{1 + 34});
}

void SectorCommandsTest::mirrorTickRunsBetweenTwoBlocks() {
    MainFormRig rig;
    rig.form.show();
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
    QCOMPARE(rig.status(), QStringLiteral("Blank Check done."));
    QCOMPARE(rig.dialogs.texts(), Names{"The sector is blank"});
    const Names names = rig.commandNames();
    const auto mirror = std::find(names.begin(), names.end(), "MIR");
    QVERIFY(mirror != names.end());
    QCOMPARE(*(mirror - 1), std::string("RRD"));
    QCOMPARE(*(mirror + 1), std::string("RRD"));
    QCOMPARE(rig.payloadsOf("RRD").size(), std::size_t{34});
    QVERIFY(rig.mirrorText().startsWith(QStringLiteral("KEL520")));
}

void SectorCommandsTest::otherButtonsWorkInTheMiddleOfAPass() {
    MainFormRig rig;
    rig.connect();
    rig.selectBoot();
    rig.selectSector(1);
    rig.dialogs.onEvents = [&](int round) {
        if (round == 3) {
            rig.click("btRead");
            rig.click("btAbout");
        }
    };
    rig.click("btBlankCheck");
    QCOMPARE(rig.status(), QStringLiteral("Blank Check done."));
    QCOMPARE(rig.dialogs.messages.size(), std::size_t{2});
    QCOMPARE(rig.dialogs.messages.front().caption, std::string("About the program"));
    QCOMPARE(rig.dialogs.messages.back().text, std::string("The sector is blank"));
    QCOMPARE(rig.edit("edData")->text().split(' ').size(), 16);
    QCOMPARE(rig.payloadsOf("RRD").size(), std::size_t{34 + 1});
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
    QVERIFY(!processFlags().cancelRequested);
    // The window works on: connect again and check the whole sector.
    rig.dialogs.onEvents = nullptr;
    rig.connect();
    rig.click("btBlankCheck");
    QCOMPARE(rig.status(), QStringLiteral("Blank Check done."));
}

QTEST_MAIN(SectorCommandsTest)
#include "SectorCommandsTest.moc"
