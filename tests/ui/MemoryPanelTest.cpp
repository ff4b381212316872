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
    void readRefusesBadInputAndSendsNothing_data();
    void readRefusesBadInputAndSendsNothing();
    void readFailuresSetTheirStatus();
    void readRefusesAReplyShorterThanTheDataAskedFor();
    void writeSendsTheListedBytes_data();
    void writeSendsTheListedBytes();
    void writeRefusesBadInputAndSendsNothing_data();
    void writeRefusesBadInputAndSendsNothing();
    void writeOnBytesNotBlankFails();
    void eraseErasesTheSelectedSector_data();
    void eraseErasesTheSelectedSector();
    void eraseFailureLeavesTheStatus();
    void resetShowsItsTextsAndPausesOneSecond_data();
    void resetShowsItsTextsAndPausesOneSecond();
    void bootSelectionShortensTheSectorList();
    void sectorChoiceSelectsOnceAndSetsTheOffset_data();
    void sectorChoiceSelectsOnceAndSetsTheOffset();
    void failedSelectionSaysSo();
};

void MemoryPanelTest::readShowsTheBytesAtTheAddress_data() {
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("offset");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("address");
    QTest::newRow("F0") << "F0"
                        << "8000" << 240 << 0x8000;
    QTest::newRow("10") << "10"
                        << "8000" << 16 << 0x8000;
    QTest::newRow("0") << "0"
                       << "8000" << 0 << 0x8000;
    QTest::newRow("1g") << "1g"
                        << "8000" << 1 << 0x8000;
    QTest::newRow("0x9000") << "10"
                            << "0x9000" << 16 << 0x9000;
    QTest::newRow("9000") << "10"
                          << "9000" << 16 << 0x9000;
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
        expected
            << QStringLiteral("%1").arg(sector[address - 0x8000 + i], 2, 16, QChar('0')).toUpper();
    }
    QCOMPARE(rig.edit("edData")->text(), expected.join(' '));
    // Neither field is rewritten.
    QCOMPARE(rig.edit("edCount")->text(), count);
    QCOMPARE(rig.edit("edOffset")->text(), offset);
}

void MemoryPanelTest::readRefusesBadInputAndSendsNothing_data() {
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("offset");
    QTest::addColumn<QString>("message");
    const QString countMessage = loadstar::invalidCountMessage;
    const QString addressMessage = loadstar::invalidAddressMessage;
    QTest::newRow("F1") << "F1"
                        << "8000" << countMessage;
    QTest::newRow("100") << "100"
                         << "8000" << countMessage;
    QTest::newRow("g1") << "g1"
                        << "8000" << countMessage;
    QTest::newRow("empty count") << ""
                                 << "8000" << countMessage;
    QTest::newRow("negative count") << "-1"
                                    << "8000" << countMessage;
    QTest::newRow("count before address") << "F1"
                                          << "zz" << countMessage;
    QTest::newRow("empty address") << "10"
                                   << "" << addressMessage;
    QTest::newRow("zz") << "10"
                        << "zz" << addressMessage;
    QTest::newRow("beyond 16 bits") << "10"
                                    << "18000" << QString(loadstar::addressOutOfRangeMessage);
}

void MemoryPanelTest::readRefusesBadInputAndSendsNothing() {
    QFETCH(QString, count);
    QFETCH(QString, offset);
    QFETCH(QString, message);
    MainFormRig rig;
    rig.connect();
    rig.edit("edCount")->setText(count);
    rig.edit("edOffset")->setText(offset);
    rig.edit("edData")->setText("kept");
    rig.click("btRead");
    QCOMPARE(rig.dialogs.texts(), Names{message.toStdString()});
    QCOMPARE(rig.dialogs.messages.front().caption, std::string("Error"));
    QCOMPARE(rig.dialogs.messages.front().icon, loadstar::MessageIcon::warning);
    QVERIFY(rig.board.payloads().empty());
    QCOMPARE(rig.status(), QStringLiteral("Flash reading unsuccessful."));
    QCOMPARE(rig.edit("edData")->text(), QStringLiteral("kept"));
}

void MemoryPanelTest::readFailuresSetTheirStatus() {
    MainFormRig rig;
    rig.connect();
    // The selection fails: its own message, and the opening status stays.
    rig.setSilent(true);
    rig.click("btRead");
    QCOMPARE(rig.dialogs.texts(), Names{"Error sending SET VM command."});
    QCOMPARE(rig.status(), QStringLiteral("Flash reading unsuccessful."));
    // The read itself fails.
    rig.setSilent(false);
    rig.dialogs.messages.clear();
    rig.lastPort->onWrite = [&](const std::vector<std::uint8_t>& frame) {
        rig.setSilent(frame.size() > 6 && frame[4] == 'R' && frame[5] == 'R');
    };
    rig.click("btRead");
    QCOMPARE(rig.dialogs.texts(), Names{"Error sending READ FLASH command."});
    QCOMPARE(rig.status(), QStringLiteral("Error while reading data from Flash."));
}

void MemoryPanelTest::readRefusesAReplyShorterThanTheDataAskedFor() {
    // A board that answers READ FLASH with three bytes instead of sixteen.
    loadstar::testing::RecordingDialogs dialogs;
    TmainForm form(dialogs, [] {
        auto port = std::make_unique<loadstar::testing::ScriptedPort>();
        port->answer = [](const std::vector<std::uint8_t>& frame) {
            const std::string payload(frame.begin() + 4, frame.end() - 2);
            if (payload.rfind("BRD", 0) == 0) {
                return loadstar::testing::replyNow("BRD KEL520");
            }
            if (payload.rfind("RRD", 0) == 0) {
                return loadstar::testing::replyNow("RRD 8000 10    ABC");
            }
            return loadstar::testing::replyNow(payload);
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
    QTest::newRow("main 0") << false << 0 << "8000"
                            << "1 a2 FF"
                            << "03" << 0;
    QTest::newRow("main 3, 0x prefix") << false << 3 << "0x8010"
                                       << "7f"
                                       << "01" << 0x10;
    QTest::newRow("boot 2") << true << 2 << "C004"
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
    rig.board.clearPayloads();
    rig.edit("edOffset")->setText(offset);
    rig.edit("edData")->setText(data);
    rig.click("btWrite");
    QVERIFY(rig.dialogs.messages.empty());
    QCOMPARE(rig.status(), QStringLiteral("Write Flash done."));
    QCOMPARE(rig.edit("edCount")->text(), countText);
    QCOMPARE(rig.commandNames().back(), std::string("WFP"));
    const auto bank = boot ? FlashBank::boot : FlashBank::main;
    const auto written = rig.board.flash().sector(bank, sector);
    QStringList got;
    for (int i = 0; i < countText.toInt(nullptr, 16); ++i) {
        got << QString::number(written[at + i], 16);
    }
    QCOMPARE(got.join(' ').toLower(), data.toLower().replace("0x", ""));
}

void MemoryPanelTest::writeRefusesBadInputAndSendsNothing_data() {
    QTest::addColumn<QString>("offset");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("message");
    const QString offsetMessage = loadstar::invalidOffsetMessage;
    const QString dataMessage = loadstar::invalidDataMessage;
    QTest::newRow("token of three digits") << "8000"
                                           << "12 345" << dataMessage;
    QTest::newRow("empty data") << "8000"
                                << "" << dataMessage;
    QTest::newRow("blanks only") << "8000"
                                 << "   " << dataMessage;
    QTest::newRow("empty offset") << ""
                                  << "01" << offsetMessage;
    QTest::newRow("offset not hex") << "xyz"
                                    << "01" << offsetMessage;
    QTest::newRow("offset beyond 16 bits") << "18000"
                                           << "01" << offsetMessage;
    QTest::newRow("256 bytes") << "8000" << QString("01 ").repeated(256)
                               << QString(loadstar::dataTooLongMessage);
}

void MemoryPanelTest::writeRefusesBadInputAndSendsNothing() {
    QFETCH(QString, offset);
    QFETCH(QString, data);
    QFETCH(QString, message);
    MainFormRig rig;
    rig.connect();
    rig.edit("edOffset")->setText(offset);
    rig.edit("edData")->setText(data);
    rig.click("btWrite");
    QCOMPARE(rig.dialogs.texts(), Names{message.toStdString()});
    QCOMPARE(rig.dialogs.messages.front().caption, std::string("Error"));
    QVERIFY(rig.board.payloads().empty());
    QCOMPARE(rig.status(), QStringLiteral("Flash writing unsuccessful."));
    QCOMPARE(rig.edit("edCount")->text(), QStringLiteral("10"));
}

void MemoryPanelTest::writeOnBytesNotBlankFails() {
    MainFormRig rig;
    rig.connect();
    rig.board.flash().sector(FlashBank::main, 0)[0] = 0x00;
    rig.edit("edData")->setText("FF 00");
    rig.click("btWrite");
    QCOMPARE(rig.dialogs.texts(),
             Names{"Error writing data, target memory space probably not blank."});
    QCOMPARE(rig.status(), QStringLiteral("Error while writing data to Flash."));
    // The count was rewritten before the board was asked.
    QCOMPARE(rig.edit("edCount")->text(), QStringLiteral("02"));
}

void MemoryPanelTest::eraseErasesTheSelectedSector_data() {
    QTest::addColumn<bool>("boot");
    QTest::addColumn<int>("sector");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("address");
    QTest::newRow("boot 2") << true << 2 << QStringList{"VM 8C", "PG 00", "EB"} << 0xC000;
    QTest::newRow("main 5") << false << 5 << QStringList{"VM 92", "PG 05", "EM"} << 0x8000;
}

void MemoryPanelTest::eraseErasesTheSelectedSector() {
    QFETCH(bool, boot);
    QFETCH(int, sector);
    QFETCH(QStringList, commands);
    QFETCH(int, address);
    MainFormRig rig;
    rig.connect();
    if (boot) {
        rig.selectBoot();
    }
    rig.selectSector(sector);
    const auto bank = boot ? FlashBank::boot : FlashBank::main;
    for (int s = 0; s < loadstar::emulator::FlashMemory::sectorCount(bank); ++s) {
        auto bytes = rig.board.flash().sector(bank, s);
        std::fill(bytes.begin(), bytes.end(), 0x00);
    }
    rig.board.clearPayloads();
    rig.click("btErase");
    QCOMPARE(rig.status(), QStringLiteral("Erase Sector done."));
    Names expected;
    for (const QString& command : commands) {
        expected.push_back(command.toStdString());
    }
    QCOMPARE(rig.commandNames(), expected);
    const auto erase = rig.board.payloads().back();
    QCOMPARE(erase[2] * 256 + erase[3], address);
    for (int s = 0; s < loadstar::emulator::FlashMemory::sectorCount(bank); ++s) {
        const auto bytes = rig.board.flash().sector(bank, s);
        const bool erased =
            std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
        QCOMPARE(erased, s == sector);
    }
}

void MemoryPanelTest::eraseFailureLeavesTheStatus() {
    MainFormRig rig;
    rig.connect();
    rig.setSilent(true);
    rig.click("btErase");
    QCOMPARE(rig.status(), QStringLiteral("Connected to the board, ready..."));
    QCOMPARE(rig.dialogs.texts(), Names{"Error sending SET VM command."});
}

void MemoryPanelTest::resetShowsItsTextsAndPausesOneSecond_data() {
    QTest::addColumn<bool>("silent");
    QTest::newRow("board answers") << false;
    QTest::newRow("board silent") << true;
}

void MemoryPanelTest::resetShowsItsTextsAndPausesOneSecond() {
    QFETCH(bool, silent);
    MainFormRig rig;
    rig.form.show();
    rig.connect();
    rig.setSilent(silent);
    QStringList statusWhileSending;
    rig.lastPort->onWrite = [&](const std::vector<std::uint8_t>&) {
        statusWhileSending << rig.status();
    };
    rig.click("btReset");
    QCOMPARE(statusWhileSending.first(), QStringLiteral("Board reset..."));
    QCOMPARE(rig.pauses, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(1000)});
    QCOMPARE(rig.status(), QStringLiteral("Board reset command sent."));
    QCOMPARE(rig.commandNames().front(), std::string("RST"));
    QCOMPARE(rig.dialogs.texts(), silent ? Names{"Error sending RESET command."} : Names{});
}

void MemoryPanelTest::bootSelectionShortensTheSectorList() {
    MainFormRig rig;
    rig.connect();
    rig.selectSector(6);
    rig.board.clearPayloads();
    rig.selectBoot();
    QCOMPARE(rig.sectorList()->count(), 4);
    QCOMPARE(rig.sectorList()->currentIndex(), 3);
    QCOMPARE(rig.sectorList()->itemText(3), QStringLiteral("3"));
    QCOMPARE(rig.edit("edOffset")->text(), QStringLiteral("E000"));
    QCOMPARE(rig.commandNames(), (Names{"VM 8C", "PG 00"}));
    QCOMPARE(rig.status(), QStringLiteral("Execution page changed..."));
    rig.board.clearPayloads();
    rig.selectMain();
    QStringList items;
    for (int i = 0; i < rig.sectorList()->count(); ++i) {
        items << rig.sectorList()->itemText(i);
    }
    QCOMPARE(items, QStringList({"0", "1", "2", "3", "4", "5", "6", "7"}));
    QCOMPARE(rig.sectorList()->currentIndex(), 3);
    QCOMPARE(rig.edit("edOffset")->text(), QStringLiteral("8000"));
    // One selection for one change: the list changes made in code do not run the handler again.
    QCOMPARE(rig.commandNames(), (Names{"VM 92", "PG 03"}));
}

void MemoryPanelTest::sectorChoiceSelectsOnceAndSetsTheOffset_data() {
    QTest::addColumn<bool>("boot");
    QTest::addColumn<int>("sector");
    QTest::addColumn<QString>("offset");
    QTest::addColumn<QStringList>("commands");
    QTest::newRow("boot 0") << true << 0 << "8000" << QStringList{"VM 8C", "PG 00"};
    QTest::newRow("boot 1") << true << 1 << "A000" << QStringList{"VM 8C", "PG 00"};
    QTest::newRow("boot 2") << true << 2 << "C000" << QStringList{"VM 8C", "PG 00"};
    QTest::newRow("main 7") << false << 7 << "8000" << QStringList{"VM 92", "PG 07"};
}

void MemoryPanelTest::sectorChoiceSelectsOnceAndSetsTheOffset() {
    QFETCH(bool, boot);
    QFETCH(int, sector);
    QFETCH(QString, offset);
    QFETCH(QStringList, commands);
    MainFormRig rig;
    rig.connect();
    if (boot) {
        rig.selectBoot();
    }
    rig.selectSector(3);
    rig.edit("edOffset")->setText("1234");
    rig.board.clearPayloads();
    rig.selectSector(sector);
    QCOMPARE(rig.edit("edOffset")->text(), offset);
    Names expected;
    for (const QString& command : commands) {
        expected.push_back(command.toStdString());
    }
    QCOMPARE(rig.commandNames(), expected);
}

void MemoryPanelTest::failedSelectionSaysSo() {
    MainFormRig rig;
    rig.connect();
    rig.setSilent(true);
    rig.selectBoot();
    QCOMPARE(rig.status(), QStringLiteral("Error changing the execution page..."));
    QCOMPARE(rig.dialogs.texts(), Names{"Error sending SET VM command."});
    // The list and the offset follow the selection all the same.
    QCOMPARE(rig.sectorList()->count(), 4);
    QCOMPARE(rig.edit("edOffset")->text(), QStringLiteral("8000"));
}

QTEST_MAIN(MemoryPanelTest)
#include "MemoryPanelTest.moc"
