// The memory panel of the real main window against the emulated board: Read, Write, Erase,
// Reset, the flash selection, their input checks and messages.

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
    void readShowsTheBytesAtTheAddress_data();
    void readShowsTheBytesAtTheAddress();
    void badInputIsRefusedAndSendsNothing_data();
    void badInputIsRefusedAndSendsNothing();
    void failuresSetTheirStatus();
    void readRefusesAReplyShorterThanTheDataAskedFor();
    void writeSendsTheListedBytes_data();
    void writeSendsTheListedBytes();
    void eraseErasesTheSelectedSector_data();
    void eraseErasesTheSelectedSector();
    void resetShowsItsTextsAndPausesOneSecond();
    void flashSelectionChangesTheListAndSelectsOnce();
};

void MemoryPanelTest::readShowsTheBytesAtTheAddress_data() {
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("offset");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("address");
    QTest::newRow("F0") << "F0"
                        << "8000" << 240 << 0x8000;
    QTest::newRow("0") << "0"
                       << "8000" << 0 << 0x8000;
    QTest::newRow("1g at 0x9000") << "1g"
                                  << "0x9000" << 1 << 0x9000;
}

void MemoryPanelTest::readShowsTheBytesAtTheAddress() {
    QFETCH(QString, count);
    QFETCH(QString, offset);
    QFETCH(int, bytes);
    QFETCH(int, address);
    MainFormRig rig;
    rig.connect();
    rig.selectSector(2);
    auto sector = rig.board.flash().sector(FlashBank::main, 2);
    for (std::size_t i = 0; i < sector.size(); ++i) {
        sector[i] = static_cast<std::uint8_t>(i * 7);
    }
    rig.board.clearPayloads();
    rig.edit("edCount")->setText(count);
    rig.edit("edOffset")->setText(offset);
    rig.edit("edData")->setText("old");
    rig.click("btRead");
    QCOMPARE(rig.status(), QStringLiteral("Read Flash done."));
    QVERIFY(rig.dialogs.messages.empty());
    QCOMPARE(rig.commandNames(), (Names{"VM 92", "PG 02", "RRD"}));
    const auto read = rig.payloadsOf("RRD").front();
    QCOMPARE(read[3] * 256 + read[4], address);
    QCOMPARE(int{read[5]}, bytes);
    QStringList expected;
    for (int i = 0; i < bytes; ++i) {
        expected << QString::asprintf("%02X", sector[address - 0x8000 + i]);
    }
    QCOMPARE(rig.edit("edData")->text(), expected.join(' '));
    QCOMPARE(rig.edit("edCount")->text(), count);  // neither field is rewritten
    QCOMPARE(rig.edit("edOffset")->text(), offset);
}

void MemoryPanelTest::badInputIsRefusedAndSendsNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("offset");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("message");
    const QString count = loadstar::invalidCountMessage;
    QTest::newRow("count F1") << "btRead"
                              << "F1"
                              << "8000"
                              << "" << count;
    QTest::newRow("negative count") << "btRead"
                                    << "-1"
                                    << "8000"
                                    << "" << count;
    QTest::newRow("count before address") << "btRead"
                                          << "g1"
                                          << "zz"
                                          << "" << count;
    QTest::newRow("address zz") << "btRead"
                                << "10"
                                << "zz"
                                << "" << QString(loadstar::invalidAddressMessage);
    QTest::newRow("address beyond 16 bits") << "btRead"
                                            << "10"
                                            << "18000"
                                            << "" << QString(loadstar::addressOutOfRangeMessage);
    QTest::newRow("three-digit byte") << "btWrite"
                                      << "10"
                                      << "8000"
                                      << "12 345" << QString(loadstar::invalidDataMessage);
    QTest::newRow("offset not hex") << "btWrite"
                                    << "10"
                                    << "xyz"
                                    << "01" << QString(loadstar::invalidOffsetMessage);
    QTest::newRow("256 bytes") << "btWrite"
                               << "10"
                               << "8000" << QString("01 ").repeated(256)
                               << QString(loadstar::dataTooLongMessage);
}

void MemoryPanelTest::badInputIsRefusedAndSendsNothing() {
    QFETCH(QString, button);
    QFETCH(QString, count);
    QFETCH(QString, offset);
    QFETCH(QString, data);
    QFETCH(QString, message);
    MainFormRig rig;
    rig.connect();
    rig.edit("edCount")->setText(count);
    rig.edit("edOffset")->setText(offset);
    rig.edit("edData")->setText(data);
    rig.click(button.toLatin1().constData());
    QCOMPARE(rig.dialogs.texts(), Names{message.toStdString()});
    QCOMPARE(rig.dialogs.messages.front().caption, std::string("Error"));
    QCOMPARE(rig.dialogs.messages.front().icon, loadstar::MessageIcon::warning);
    QVERIFY(rig.board.payloads().empty());
    QCOMPARE(rig.status(), button == "btRead" ? QStringLiteral("Flash reading unsuccessful.")
                                              : QStringLiteral("Flash writing unsuccessful."));
    QCOMPARE(rig.edit("edData")->text(), data);
    QCOMPARE(rig.edit("edCount")->text(), count);
}

void MemoryPanelTest::failuresSetTheirStatus() {
    MainFormRig rig;
    rig.connect();
    // The selection fails: its own message, and the opening status stays.
    rig.setSilent(true);
    rig.click("btRead");
    QCOMPARE(rig.dialogs.texts(), Names{"Error sending SET VM command."});
    QCOMPARE(rig.status(), QStringLiteral("Flash reading unsuccessful."));
    rig.click("btErase");
    QCOMPARE(rig.status(), QStringLiteral("Flash reading unsuccessful."));
    rig.selectBoot();
    QCOMPARE(rig.status(), QStringLiteral("Error changing the execution page..."));
    // The list and the offset follow the selection all the same.
    QCOMPARE(rig.sectorList()->count(), 4);
    // The read itself fails.
    rig.setSilent(false);
    rig.dialogs.messages.clear();
    rig.lastPort->onWrite = [&](const std::vector<std::uint8_t>& frame) {
        rig.setSilent(frame.size() > 6 && frame[4] == 'R' && frame[5] == 'R');
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

void MemoryPanelTest::readRefusesAReplyShorterThanTheDataAskedFor() {
    // A board that answers READ FLASH with three bytes instead of sixteen.
    loadstar::testing::RecordingDialogs dialogs;
    TmainForm form(dialogs, [] {
        auto port = std::make_unique<loadstar::testing::ScriptedPort>();
        port->answer = [](const std::vector<std::uint8_t>& frame) {
            const std::string payload(frame.begin() + 4, frame.end() - 2);
            return loadstar::testing::replyNow(payload == "BRD"               ? "BRD KEL520"
                                               : payload.rfind("RRD", 0) == 0 ? "RRD 8000 10    ABC"
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

void MemoryPanelTest::writeSendsTheListedBytes_data() {
    QTest::addColumn<bool>("boot");
    QTest::addColumn<int>("sector");
    QTest::addColumn<QString>("offset");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("countText");
    QTest::addColumn<int>("at");
    QTest::newRow("main 3") << false << 3 << "8010"
                            << "1 a2 FF"
                            << "03" << 0x10;
    QTest::newRow("boot 2, 0x prefix") << true << 2 << "0xC004"
                                       << "12 34"
                                       << "02" << 4;
}

void MemoryPanelTest::writeSendsTheListedBytes() {
    QFETCH(bool, boot);
    QFETCH(int, sector);
    QFETCH(QString, offset);
    QFETCH(QString, data);
    QFETCH(QString, countText);
    QFETCH(int, at);
    MainFormRig rig;
    rig.connect();
    if (boot) {
        rig.selectBoot();
    }
    rig.selectSector(sector);
    rig.edit("edOffset")->setText(offset);
    rig.edit("edData")->setText(data);
    rig.click("btWrite");
    QVERIFY(rig.dialogs.messages.empty());
    QCOMPARE(rig.status(), QStringLiteral("Write Flash done."));
    QCOMPARE(rig.edit("edCount")->text(), countText);
    const auto written = rig.board.flash().sector(boot ? FlashBank::boot : FlashBank::main, sector);
    QStringList got;
    for (int i = 0; i < countText.toInt(); ++i) {
        got << QString::number(written[at + i], 16);
    }
    QCOMPARE(got.join(' '), data.toLower());
}

void MemoryPanelTest::eraseErasesTheSelectedSector_data() {
    QTest::addColumn<bool>("boot");
    QTest::addColumn<int>("sector");
    QTest::addColumn<QString>("commands");
    QTest::addColumn<int>("address");
    QTest::newRow("boot 2") << true << 2 << "VM 8C,PG 00,EB" << 0xC000;
    QTest::newRow("main 5") << false << 5 << "VM 92,PG 05,EM" << 0x8000;
}

void MemoryPanelTest::eraseErasesTheSelectedSector() {
    QFETCH(bool, boot);
    QFETCH(int, sector);
    QFETCH(QString, commands);
    QFETCH(int, address);
    MainFormRig rig;
    rig.connect();
    if (boot) {
        rig.selectBoot();
    }
    rig.selectSector(sector);
    const auto bank = boot ? FlashBank::boot : FlashBank::main;
    const int sectors = loadstar::emulator::FlashMemory::sectorCount(bank);
    for (int s = 0; s < sectors; ++s) {
        std::ranges::fill(rig.board.flash().sector(bank, s), 0x00);
    }
    rig.board.clearPayloads();
    rig.click("btErase");
    QCOMPARE(rig.status(), QStringLiteral("Erase Sector done."));
    QCOMPARE(QString::fromStdString(rig.commandNames()[0] + "," + rig.commandNames()[1] + "," +
                                    rig.commandNames()[2]),
             commands);
    const auto erase = rig.board.payloads().back();
    QCOMPARE(erase[2] * 256 + erase[3], address);
    for (int s = 0; s < sectors; ++s) {
        QCOMPARE(std::ranges::all_of(rig.board.flash().sector(bank, s),
                                     [](std::uint8_t b) { return b == 0xFF; }),
                 s == sector);
    }
}

void MemoryPanelTest::resetShowsItsTextsAndPausesOneSecond() {
    for (const bool silent : {false, true}) {
        MainFormRig rig;
        rig.connect();
        rig.setSilent(silent);
        QStringList statusWhileSending;
        rig.lastPort->onWrite = [&](const std::vector<std::uint8_t>&) {
            statusWhileSending << rig.status();
        };
        rig.click("btReset");
        QCOMPARE(statusWhileSending.first(), QStringLiteral("Board reset..."));
        QCOMPARE(rig.pauses, std::vector<std::chrono::milliseconds>{std::chrono::seconds(1)});
        QCOMPARE(rig.status(), QStringLiteral("Board reset command sent."));
        QCOMPARE(rig.commandNames().front(), std::string("RST"));
        QCOMPARE(rig.dialogs.texts(), silent ? Names{"Error sending RESET command."} : Names{});
    }
}

void MemoryPanelTest::flashSelectionChangesTheListAndSelectsOnce() {
    MainFormRig rig;
    rig.connect();
    rig.selectSector(6);
    rig.board.clearPayloads();
    rig.selectBoot();
    QCOMPARE(rig.sectorList()->count(), 4);
    QCOMPARE(rig.sectorList()->currentIndex(), 3);
    QCOMPARE(rig.sectorList()->itemText(3), QStringLiteral("3"));
    QCOMPARE(rig.edit("edOffset")->text(), QStringLiteral("E000"));
    QCOMPARE(rig.status(), QStringLiteral("Execution page changed..."));
    rig.selectSector(1);
    QCOMPARE(rig.edit("edOffset")->text(), QStringLiteral("A000"));
    rig.selectSector(3);
    rig.selectMain();
    QCOMPARE(rig.sectorList()->count(), 8);
    QCOMPARE(rig.sectorList()->itemText(7), QStringLiteral("7"));
    QCOMPARE(rig.sectorList()->currentIndex(), 3);
    QCOMPARE(rig.edit("edOffset")->text(), QStringLiteral("8000"));
    rig.selectSector(7);
    // One selection for one change: the list changes made in code do not run the handler again.
    QCOMPARE(rig.commandNames(), (Names{"VM 8C", "PG 00", "VM 8C", "PG 00", "VM 8C", "PG 00",
                                        "VM 92", "PG 03", "VM 92", "PG 07"}));
}

QTEST_MAIN(MemoryPanelTest)
#include "MemoryPanelTest.moc"
