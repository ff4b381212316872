#include "iap/SectorOperations.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "emulator/BoardModel.h"
#include "emulator/InProcessBoardPort.h"
#include "iap/DumpWriters.h"
#include "iap/ImageFile.h"
#include "support/RandomBytes.h"
#include "support/ScriptedPort.h"
#include "support/TempDir.h"
#include "support/VirtualClock.h"

namespace loadstar {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int mainSize = 0x8000;
constexpr int bootSize = 0x2000;

// Limits the size of any file this process writes, for one scope, so that a write past the limit
// fails (EFBIG) the way it would on a full disk; SIGXFSZ, which would end the process, is ignored.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) : handler(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit limit{bytes, saved.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
    }
    rlimit saved{};
    void (*handler)(int);
};

int addressOf(const Bytes& payload) {
    return payload.at(3) * 256 + payload.at(4);
}

// Remembers every progress event a pass sent; `onEvents` runs at each, where the window would let
// pending events run (so a test can press ESC in the middle of a pass).
struct RecordingObserver : PassObserver {
    void passProgress(const PassProgress& progress) override {
        events.push_back(progress);
        if (onEvents) {
            onEvents();
        }
    }
    std::vector<PassProgress> events;
    std::function<void()> onEvents;
};

// A pass that ran to its end (1), was cancelled (-1) or failed (0).
int resultOf(const Outcome& outcome) {
    return outcome.failed() ? 0 : outcome.cancelled ? -1 : 1;
}

// The passes against the emulated board in this process: its flash and the payloads it got can
// be looked at, and the port's write hook acts in the middle of a pass.
class SectorOperationsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(link.openPort(), 1);
        board.clearPayloads();
    }

    std::span<std::uint8_t> flash(int kind, int sector) {
        using emulator::FlashBank;
        return board.flash().sector(kind == 0 ? FlashBank::main : FlashBank::boot, sector);
    }
    std::string image(const std::string& name, const Bytes& bytes) {
        return folder.write(name, std::string(bytes.begin(), bytes.end()));
    }
    // Upload: the sector read, then saved as `path` in the format its name asks for.
    Outcome upload(const std::string& path) {
        Bytes contents;
        const Outcome read = operations.readSector(1, 1, 0xA000, bootSize, contents);
        return read.ok() ? saveDumpFile(path, dumpFormatForFileName(path), contents) : read;
    }
    // Makes the board go silent from the first frame of `command` on.
    void silenceAt(const std::string& command) {
        board.setFaults({});
        port->onWrite = [this, command](const Bytes& frame) {
            if (std::equal(command.begin(), command.end(), frame.begin() + 4)) {
                auto faults = board.faults();
                faults.silent = true;
                board.setFaults(faults);
            }
        };
    }

    testing::TempDir folder;
    emulator::BoardModel board;
    emulator::InProcessBoardPort* port = nullptr;
    RecordingObserver observer;
    CancelToken cancel;
    SerialLink link{nullptr, [this] {
                        auto made = std::make_unique<emulator::InProcessBoardPort>(board);
                        port = made.get();
                        return made;
                    }};
    BoardCommands commands{link};
    SectorOperations operations{commands, observer, cancel};
};

TEST_F(SectorOperationsTest, BlankMainSectorTakes136ReadsWithProgressAfterEach) {
    const Outcome outcome = operations.blankCheckSector(0, 3, 0x8000, mainSize);
    EXPECT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.differences, 0);
    EXPECT_EQ(outcome.bytes, mainSize);
    EXPECT_EQ(outcome.blocks, 136);
    EXPECT_EQ(board.commandNames().at(1), "PG 03");
    const auto reads = board.payloadsOf("RRD");
    ASSERT_EQ(reads.size(), 136u);
    for (std::size_t i = 0; i < reads.size(); ++i) {
        EXPECT_EQ(addressOf(reads[i]), 0x8000 + static_cast<int>(i) * 241);
        EXPECT_EQ(reads[i][5], i + 1 < reads.size() ? 241 : 233);
    }
    ASSERT_EQ(observer.events.size(), 136u);
    EXPECT_EQ(observer.events.front().done, 241);
    EXPECT_EQ(observer.events.back().done, mainSize);
    EXPECT_EQ(observer.events.back().total, mainSize);
    EXPECT_EQ(observer.events.back().step, Step::read);
    EXPECT_FALSE(outcome.firstDifference);
}

TEST_F(SectorOperationsTest, BlankCheckNamesTheFirstUsedByteAndReadsNoFurther) {
    const struct {
        std::uint8_t kind, sector;
        int offset;
        std::size_t reads;  // the block that holds the finding is read until agreed on: 3 more
        int address;
    } cases[] = {
        {1, 2, 0, 4, 0xC000},
        {0, 5, 0x1234, 0x1234 / 241 + 4, 0x9234},
        {1, 3, bootSize - 1, 37, 0xFFFF},
    };
    for (const auto& c : cases) {
        flash(c.kind, c.sector)[static_cast<std::size_t>(c.offset)] = 0x00;
        board.clearPayloads();
        const int base = c.kind == 0 ? 0x8000 : 0x8000 + c.sector * 0x2000;
        const Outcome outcome =
            operations.blankCheckSector(c.kind, c.sector, base, c.kind ? bootSize : mainSize);
        EXPECT_FALSE(outcome.failed() || outcome.cancelled);
        EXPECT_EQ(board.payloadsOf("RRD").size(), c.reads);
        EXPECT_EQ(outcome.firstDifference, c.address);
        EXPECT_EQ(outcome.differences, 1);
    }
}

// ESC stops each pass before its next block, and a board that falls silent fails it at its
// command, with the board address of the block.
TEST_F(SectorOperationsTest, EachPassStopsOnCancelAndFailsOnASilentBoard) {
    const std::string file = image("image.bin", Bytes(2000, 0x5A));
    const std::string erased = image("erased.bin", Bytes(2000, 0xFF));
    Bytes contents;
    const struct {
        const char* command;
        int base;
        std::function<Outcome()> pass;
    } cases[] = {
        {"RRD", 0x8000, [&] { return operations.blankCheckSector(1, 0, 0x8000, bootSize); }},
        {"WFP", 0xA000, [&] { return operations.programSector(1, 1, 0xA000, bootSize, file); }},
        {"RRD", 0xC000, [&] { return operations.verifySector(1, 2, 0xC000, bootSize, erased); }},
        {"RRD", 0xE000, [&] { return operations.readSector(1, 3, 0xE000, bootSize, contents); }},
    };
    for (const auto& c : cases) {
        board.setFaults({});
        port->onWrite = nullptr;
        cancel.request();  // left from an earlier pass: cleared at the start
        observer.events.clear();
        observer.onEvents = [&] {
            if (observer.events.size() == 3) {
                cancel.request();  // ESC
            }
        };
        board.clearPayloads();
        const Outcome cancelled = c.pass();
        EXPECT_EQ(resultOf(cancelled), -1) << c.command;
        EXPECT_EQ(board.payloadsOf(c.command).size(), 3u);
        EXPECT_TRUE(cancel.requested()) << "stays set until the next pass clears it";
        EXPECT_EQ(cancelled.programmedEnd,
                  c.command[0] == 'W' ? std::optional<int>(c.base + 300) : std::nullopt);

        observer.onEvents = nullptr;
        silenceAt(c.command);
        const Outcome failed = c.pass();
        EXPECT_EQ(failed.step, c.command[0] == 'W' ? Step::write : Step::read) << c.command;
        EXPECT_EQ(failed.failure,
                  (CommandFault{c.command[0] == 'W' ? Command::writeFlash : Command::readFlash,
                                Fault::noReply}));
        EXPECT_EQ(failed.address, c.base) << "the first block after the selection";
    }
}

TEST_F(SectorOperationsTest, ProgrammingA1001ByteImageSendsElevenWrites) {
    const Bytes bytes = testing::randomBytes(1001, 3);
    const Outcome outcome =
        operations.programSector(0, 6, 0x8000, mainSize, image("image.bin", bytes));
    EXPECT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.programmedEnd, 0x8000 + 1001);
    const auto writes = board.payloadsOf("WFP");
    ASSERT_EQ(writes.size(), 11u);
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const std::size_t count = i + 1 < writes.size() ? 100 : 1;
        EXPECT_EQ(addressOf(writes[i]), 0x8000 + static_cast<int>(i) * 100);
        EXPECT_EQ(writes[i][5], count);
        EXPECT_EQ(writes[i].size(), 6 + count);
    }
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), flash(0, 6).begin()));
    EXPECT_EQ(flash(0, 6)[1001], 0xFF);
    ASSERT_EQ(observer.events.size(), 11u);
    EXPECT_EQ(observer.events.front().step, Step::write);
    EXPECT_EQ(observer.events.front().done, 100);
    EXPECT_EQ(observer.events.front().total, 1001);
}

TEST_F(SectorOperationsTest, AWriteThatStopsShortEndsProgrammingAndSaysHowFarItGot) {
    flash(0, 0)[250] = 0x00;  // the image's 0x01 there needs a bit to go from 0 to 1
    const Outcome outcome =
        operations.programSector(0, 0, 0x8000, mainSize, image("a.bin", Bytes(400, 1)));
    EXPECT_EQ(outcome.step, Step::write);
    EXPECT_EQ(outcome.failure, (CommandFault{Command::writeFlash, Fault::notWritten}));
    EXPECT_EQ(outcome.address, 0x8000 + 200);
    EXPECT_EQ(outcome.holds, BoardHolds::programmedUpTo);
    EXPECT_EQ(outcome.programmedEnd, 0x8000 + 200);
    EXPECT_EQ(board.payloadsOf("WFP").size(), 3u);
    EXPECT_EQ(flash(0, 0)[199], 0x01);  // blocks before it stay written
    EXPECT_EQ(flash(0, 0)[300], 0xFF);
}

TEST_F(SectorOperationsTest, VerifyReadsTheLoadedLengthAndNamesTheFirstDifference) {
    Bytes bytes = testing::randomBytes(500, 1);
    std::copy(bytes.begin(), bytes.end(), flash(1, 3).begin());
    flash(1, 3)[1000] = 0x00;  // past the image: never compared
    Outcome outcome = operations.verifySector(1, 3, 0xE000, bootSize, image("same.bin", bytes));
    EXPECT_TRUE(outcome.ok());
    const auto reads = board.payloadsOf("RRD");
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(addressOf(reads[2]), 0xE000 + 482);
    EXPECT_EQ(reads[2][5], 18);
    EXPECT_EQ(observer.events.back().done, 500);
    EXPECT_FALSE(outcome.firstDifference);

    bytes[2] ^= 0x01;
    bytes[400] ^= 0x01;
    board.clearPayloads();
    outcome = operations.verifySector(1, 3, 0xE000, bootSize, image("other.bin", bytes));
    EXPECT_FALSE(outcome.failed());
    // Read until agreed on: four reads, the first block of a pass (AgreedRead.h).
    EXPECT_EQ(board.payloadsOf("RRD").size(), 4u) << "the differing block is read again";
    EXPECT_EQ(outcome.firstDifference, 0xE002);
    EXPECT_EQ(outcome.differences, 1);
}

// The tool's passes on a loaded image write only blocks that hold data and compare only what the
// file defines; the window's Verify compares a written-out 0xFF past the last programmed byte.
TEST_F(SectorOperationsTest, WhatTheFileDefinesIsWhatIsWrittenAndCompared) {
    SectorImage image;
    image.bytes.assign(mainSize, 0xFF);
    image.defined.assign(mainSize, false);
    for (const int offset : {0, 99, 250, 251, 5000}) {
        image.bytes[offset] = offset == 251 ? 0xFF : 0x5A;  // 251: a written-out 0xFF
        image.defined[offset] = true;
    }
    const Outcome programmed = operations.programImage(0, 2, 0x8000, image);
    EXPECT_TRUE(programmed.ok());
    std::vector<int> written;
    for (const auto& payload : board.payloadsOf("WFP")) {
        written.push_back(addressOf(payload));
    }
    EXPECT_EQ(written, (std::vector<int>{0x8000, 0x8000 + 200, 0x8000 + 5000}));
    EXPECT_EQ(programmed.programmedEnd, 0x8000 + 5001);
    EXPECT_EQ(flash(0, 2)[5000], 0x5A);

    flash(0, 2)[251] = 0x00;  // differs from a defined byte
    flash(0, 2)[252] = 0x00;  // no record defines it: not compared
    flash(0, 2)[99] = 0x00;
    board.clearPayloads();
    operations.setCountEveryDifference(true);
    const Outcome verified = operations.verifyImage(0, 2, 0x8000, image);
    EXPECT_FALSE(verified.failed());
    std::vector<int> read;
    for (const auto& payload : board.payloadsOf("RRD")) {
        read.push_back(addressOf(payload));
    }
    // Blocks 0 and 1 differ and are read again until the reads agree (the first reads of a pass
    // have seen no noise yet: four in all); the block of offset 5000 once; no other block.
    EXPECT_EQ(read, (std::vector<int>{0x8000, 0x8000, 0x8000, 0x8000, 0x8000 + 241, 0x8000 + 241,
                                      0x8000 + 241, 0x8000 + 241, 0x8000 + 4820}));
    EXPECT_EQ(verified.differences, 2);
    EXPECT_EQ(verified.firstDifference, 0x8000 + 99);

    flash(0, 3)[250] = 0x5A;
    flash(0, 3)[251] = 0x00;
    folder.write("ff.hex", ":0200FA005AFFAB\n:00000001FF\n");  // 5A FF at offsets 250, 251
    EXPECT_EQ(
        operations.verifySector(0, 3, 0x8000, mainSize, folder.file("ff.hex")).firstDifference,
        0x80FB);
}

TEST_F(SectorOperationsTest, UploadReadsTheSectorThenWritesTheFormatTheNameAsksFor) {
    const Bytes bytes = testing::randomBytes(bootSize, 5);
    std::copy(bytes.begin(), bytes.end(), flash(1, 1).begin());
    const std::pair<const char*, DumpFormat> cases[] = {{"s.hex", DumpFormat::intelHex},
                                                        {"s.bin", DumpFormat::rawBinary},
                                                        {"S.TXT", DumpFormat::textDump}};
    for (const auto& [name, format] : cases) {
        board.clearPayloads();
        EXPECT_TRUE(upload(folder.file(name)).ok());
        EXPECT_EQ(folder.read(name), formatDump(format, bytes)) << name;
        EXPECT_EQ(board.payloadsOf("RRD").size(), 34u);
    }
    EXPECT_EQ(SectorOperations::proposedFileName("CSBOOT1"), "KEL520_seg(CSBOOT1)");
    EXPECT_EQ(folder.fileCount(), 3);
}

TEST_F(SectorOperationsTest, AFileThatCannotBeCreatedOrWrittenIsReportedAndKeepsTheOldOne) {
    folder.write("old.bin", "old content");
    folder.write("keep.dat", "old content");
    const struct {
        std::string path;
        Fault fault;
        rlim_t sizeLimit;  // 0: none
    } cases[] = {
        {folder.file("keep.dat"), Fault::unknownFormat, 0},  // refused before it is emptied
        {folder.file("missing/sector.hex"), Fault::cannotCreate, 0},
        {folder.file("old.bin"), Fault::cannotWrite, 1024},  // disk full while replacing
    };
    for (const auto& c : cases) {
        std::optional<FileSizeLimit> limit;
        if (c.sizeLimit > 0) {
            limit.emplace(c.sizeLimit);
        }
        const Outcome outcome = upload(c.path);
        limit.reset();
        EXPECT_EQ(outcome.step, Step::saveFile) << c.path;
        EXPECT_EQ(outcome.failure.fault, c.fault) << c.path;
        EXPECT_EQ(outcome.file.file, c.path);
        EXPECT_EQ(outcome.saveFault.ok(), c.fault == Fault::unknownFormat) << c.path;
    }
    EXPECT_EQ(folder.read("old.bin"), "old content");
    EXPECT_EQ(folder.read("keep.dat"), "old content");
    EXPECT_EQ(folder.fileCount(), 2);  // no temporary file left behind
}

// A read reply cut short (a pause of 30 ms in mid-reply) is asked for again within the exchange's
// retries; a board that keeps answering short fails the read as a short reply.
TEST(SectorOperations, AReadReplyCutShortIsAskedAgainThenFails) {
    struct Case {
        int shortReplies;  // from the second read on
        CommandFault failure;
        int reads;
    };
    for (const Case& c : {Case{1, {}, 4}, Case{2, {}, 5},
                          Case{100, {Command::readFlash, Fault::shortReply}, 1 + 11}}) {
        int read = 0;
        testing::VirtualClock clock;
        SerialLink link(nullptr, [&] {
            auto port = std::make_unique<testing::ScriptedPort>();
            port->clock = &clock;
            port->answer = [&](const Bytes& frame) {
                if (frame.at(4) != 'R') {
                    return testing::replyNow(std::string(frame.begin() + 4, frame.end() - 2));
                }
                const bool cut = ++read >= 2 && read < 2 + c.shortReplies;
                char header[16];
                std::snprintf(header, sizeof header, "RRD %02X%02X %02X    ", frame.at(7),
                              frame.at(8), frame.at(9));
                return testing::replyNow(header + std::string(cut ? 100 : frame.at(9), '\0'));
            };
            return port;
        });
        link.setClock(clock);
        ASSERT_EQ(link.openPort(), 1);
        BoardCommands commands(link);
        RecordingObserver observer;
        CancelToken cancel;
        SectorOperations operations(commands, observer, cancel);
        testing::TempDir folder;
        const std::string file = folder.write("zeros.bin", std::string(600, '\0'));
        const Outcome outcome = operations.verifySector(1, 0, 0x8000, bootSize, file);
        EXPECT_EQ(outcome.failure, c.failure) << c.shortReplies;
        EXPECT_EQ(outcome.ok(), c.failure.ok()) << c.shortReplies;
        EXPECT_EQ(read, c.reads) << c.shortReplies;
    }
}

}  // namespace
}  // namespace loadstar
