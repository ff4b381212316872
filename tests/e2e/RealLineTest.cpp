// The core over a pseudo-terminal to kel-emulator modelling a real line: frames cross the wire at
// 19200 baud after the host's write has returned (a USB adapter's FIFO), replies come back held by
// the adapter's latency timer, and the board or the line misbehaves in each way the emulator
// models. Whatever the line, every pass gives exactly the board's data (each line modelled is one a
// careful link gets through; a pass that failed would have to say why), and on a line that keeps
// the 30 ms rule no frame is sent twice. And a board that vanishes costs its
// time, not the processor.

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>

#include "devices/OpenFailure.h"
#include "iap/BoardCommands.h"
#include "iap/DumpWriters.h"
#include "iap/SectorOperations.h"
#include "link/ObservedSerialPort.h"
#include "link/SerialLink.h"
#include "support/ChildProcess.h"
#include "support/EmulatorProcess.h"
#include "support/ProgramRunner.h"
#include "support/RandomBytes.h"
#include "support/TempDir.h"

namespace loadstar {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct LineModel {
    const char* name;
    std::vector<std::string> boardArgs;
    bool keepsTheReplyRule;  // every reply begins within 30 ms and has no pause of 30 ms
    bool flipsBytes;         // a byte may change unseen: only a block read twice is exact
};

// Lines at 19200 baud: each pass takes the wire's time.
const LineModel pacedLines[] = {
    {"adapter", {"--latency-ms", "16"}, true, false},
    {"replies_end_in_a_line_end", {"--latency-ms", "16", "--trailing", "\\r\\n"}, true, false},
    {"late_100ms_every_3rd",
     {"--latency-ms", "16", "--late-every", "3", "--late-ms", "100"},
     false,
     false},
    {"late_45ms_always", {"--delay-ms", "45"}, false, false},
    {"adapter_latency_32ms", {"--latency-ms", "32"}, false, false},
    {"pause_50ms_every_4th", {"--pause-every", "4", "--pause-ms", "50"}, false, false},
    {"answer_again_40ms_later_every_8th",
     {"--duplicate-every", "8", "--duplicate-after-ms", "40"},
     false,
     false},
    {"reset_after_6_frames_silent_300ms",
     {"--reset-after", "6", "--reset-ms", "300"},
     false,
     false},
    {"erase_takes_400ms", {"--erase-ms", "400"}, false, false},
};

// Lines whose bytes are damaged, unpaced so that many blocks cross them quickly.
const LineModel damagingLines[] = {
    {"flipped_byte_1_in_1000",
     {"--baud", "0", "--corrupt-rate", "0.001", "--seed", "7"},
     false,
     true},
    {"stray_byte_1_in_2000",
     {"--baud", "0", "--insert-rate", "0.0005", "--seed", "3"},
     false,
     false},
    {"lost_byte_1_in_2000",
     {"--baud", "0", "--drop-byte-rate", "0.0005", "--seed", "3"},
     false,
     false},
};

void PrintTo(const LineModel& model, std::ostream* out) {
    *out << model.name;
}

constexpr int bootSector = 1;
constexpr int base = 0xA000;
constexpr int size = 0x2000;
constexpr int bootFlashOffset = 8 * 0x8000;  // in the emulator's flash file

// The host's core connected to kel-emulator started with `boardArgs`, keeping its flash in a file;
// every frame the host writes is recorded.
class BoardOnALine {
  protected:
    void connect(std::vector<std::string> boardArgs) {
        boardArgs.insert(boardArgs.end(),
                         {"--no-link", "--flash-file", folder.file("board.flash")});
        board.emplace(boardArgs);
        ASSERT_TRUE(board->started()) << board->startupError();
        link.setDevicePath(board->devicePath());
        ASSERT_EQ(link.openPort(), 1) << portFaultReason(link.lastOpenFault());
    }
    // What the board holds in the boot sector, from the flash file it saves when it stops.
    Bytes boardSector() {
        EXPECT_EQ(board->stop(), 0);
        const std::string flash = folder.read("board.flash");
        if (flash.size() < static_cast<std::size_t>(bootFlashOffset + (bootSector + 1) * size)) {
            return {};
        }
        const auto from = flash.begin() + bootFlashOffset + bootSector * size;
        return Bytes(from, from + size);
    }
    // How many times the machine held the board model up (a loaded test machine): each may cost
    // one resend and the selection sent before it. Known once the board has stopped.
    int boardHoldUps() {
        const std::string text = board->errorText();
        const auto at = text.find("held the board model up ");
        return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + 24);
    }
    // A pass that fails must say which board command failed and why.
    int resultOf(const Outcome& outcome, const char* pass) {
        if (outcome.failed()) {
            EXPECT_FALSE(outcome.failure.ok()) << pass << " failed without naming its command";
            failures.push_back(std::string(pass) + ": step " +
                               std::to_string(static_cast<int>(outcome.step)) + ", fault " +
                               std::to_string(static_cast<int>(outcome.failure.fault)));
            return 0;
        }
        return outcome.cancelled ? -1 : 1;
    }
    // Upload: the sector read, then saved as a raw file.
    Outcome upload(const std::string& path) {
        Bytes contents;
        Outcome outcome = operations.readSector(bootFlash, bootSector, base, size, contents);
        return outcome.ok() ? saveDumpFile(path, DumpFormat::rawBinary, contents) : outcome;
    }
    struct SilentObserver : PassObserver {
        void passProgress(const PassProgress&) override {}
    };

    testing::TempDir folder;
    std::optional<testing::EmulatorProcess> board;
    SilentObserver observer;
    CancelToken cancel;
    std::vector<std::string> failures;
    std::vector<Bytes> frames;
    SerialLink link{nullptr, [this] {
                        return std::make_unique<ObservedSerialPort>(
                            makePlatformSerialPort(),
                            [this](auto bytes) { frames.emplace_back(bytes.begin(), bytes.end()); },
                            nullptr);
                    }};
    BoardCommands commands{link};
    SectorOperations operations{commands, observer, cancel};
};

class RealLineTest : public BoardOnALine, public ::testing::TestWithParam<LineModel> {
  protected:
    void SetUp() override { connect(GetParam().boardArgs); }
};

// Erase, program, verify, blank check, upload and upload reading every block twice of a boot
// sector, on each line model.
TEST_P(RealLineTest, EveryPassGivesTheBoardsDataOrFailsWithItsMessage) {
    const Bytes image = testing::randomBytes(500, 8);
    const std::string imageFile =
        folder.write("image.bin", std::string(image.begin(), image.end()));
    std::vector<int> results;
    Outcome last;
    const auto run = [&](const char* pass, const std::function<Outcome()>& work) {
        last = work();
        results.push_back(resultOf(last, pass));
        return results.back();
    };
    run("erase", [&] { return commands.eraseSector(bootFlash, bootSector, base); });
    const std::size_t framesOfErase = frames.size();
    const int programmed = run("program", [&] {
        return operations.programSector(bootFlash, bootSector, base, size, imageFile);
    });
    const int verified = run("verify", [&] {
        return operations.verifySector(bootFlash, bootSector, base, size, imageFile);
    });
    const auto mismatch = last.firstDifference;
    const int checked = run("blank check", [&] {
        return operations.blankCheckSector(bootFlash, bootSector, base, size);
    });
    const auto used = last.firstDifference;
    const int uploaded = run("upload", [&] { return upload(folder.file("upload.bin")); });
    operations.setReadEveryBlockTwice(true);
    const int uploadedTwice =
        run("upload --read-twice", [&] { return upload(folder.file("upload-twice.bin")); });

    const Bytes truth = boardSector();
    ASSERT_EQ(truth.size(), static_cast<std::size_t>(size));
    const auto firstUsed =
        std::find_if(truth.begin(), truth.end(), [](auto b) { return b != 0xFF; });
    if (programmed == 1) {
        EXPECT_TRUE(std::equal(image.begin(), image.end(), truth.begin()));
    }
    if (verified == 1) {
        EXPECT_TRUE(mismatch ? truth[*mismatch - base] != image[*mismatch - base]
                             : std::equal(image.begin(), image.end(), truth.begin()));
    }
    if (checked == 1) {
        EXPECT_EQ(used, firstUsed == truth.end()
                            ? std::nullopt
                            : std::optional<int>(base + (firstUsed - truth.begin())));
    }
    if (uploaded == 1 && !GetParam().flipsBytes) {
        EXPECT_EQ(folder.read("upload.bin"), std::string(truth.begin(), truth.end()));
    }
    if (uploadedTwice == 1) {
        EXPECT_EQ(folder.read("upload-twice.bin"), std::string(truth.begin(), truth.end()));
    }
    const auto erases = std::count_if(frames.begin(), frames.begin() + framesOfErase,
                                      [](const Bytes& frame) { return frame[4] == 'E'; });
    EXPECT_EQ(erases, 1) << "an erase that takes its time is not sent again";
    // Each of these lines is one a careful link gets through: no pass may fail on it.
    EXPECT_EQ(results, std::vector<int>(6, 1)) << ::testing::PrintToString(failures);
    if (GetParam().keepsTheReplyRule) {
        // Each pass's selection and blocks; the blank check's finding read until agreed on (three
        // more reads at the start of a pass); the agreed upload reads each block three times and
        // the first three once more, while the pass has seen little.
        const std::size_t blocks =
            (2 + 1) + (2 + 5) + (2 + 3) + (2 + 1 + 3) + (2 + 34) + (2 + 3 * 34 + 3);
        EXPECT_GE(frames.size(), blocks);
        EXPECT_LE(frames.size(), blocks + 3 * static_cast<std::size_t>(boardHoldUps()))
            << "on a line that keeps the rule no frame is sent twice";
    }
}

const auto nameOf = [](const auto& model) { return std::string(model.param.name); };
INSTANTIATE_TEST_SUITE_P(Paced, RealLineTest, ::testing::ValuesIn(pacedLines), nameOf);
INSTANTIATE_TEST_SUITE_P(Damaging, RealLineTest, ::testing::ValuesIn(damagingLines), nameOf);

std::chrono::duration<double> processorTimeOfChildren() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return std::chrono::duration<double>(seconds(usage.ru_utime) + seconds(usage.ru_stime));
}

// A vanished device fails every attempt at once; each still lasts its 30 ms, so a random read
// cycle (two commands, eleven attempts each) fails about every 0.66 s, sleeping.
TEST(VanishedBoardTest, RandomReadTestLogsAFailedCycleAboutEveryTwoThirdsOfASecond) {
    const testing::TempDir folder;
    testing::EmulatorProcess board;
    ASSERT_TRUE(board.started()) << board.startupError();
    const auto childTimeBefore = processorTimeOfChildren();
    const auto start = std::chrono::steady_clock::now();
    testing::ChildProcess cli(testing::cliPath(),
                              {"--port", board.devicePath(), "test", "--duration", "4"},
                              folder.file("out"), folder.file("err"));
    while (testing::linesOf(folder.read("out")).size() < 8 &&
           std::chrono::steady_clock::now() < start + std::chrono::seconds(10)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const auto vanished = std::chrono::steady_clock::now();
    board.stop(SIGKILL);
    cli.waitForExit(std::chrono::seconds(20));
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    const std::chrono::duration<double> afterVanishing =
        std::chrono::steady_clock::now() - vanished;
    const auto lines = testing::linesOf(folder.read("out"));
    const auto failed = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("failed, ReadFlash(") != std::string::npos;
    });
    const double expected = afterVanishing.count() / 0.66;
    EXPECT_GE(static_cast<double>(failed), expected - 2) << folder.read("out");
    EXPECT_LE(static_cast<double>(failed), expected + 1) << folder.read("out");
    EXPECT_LT((processorTimeOfChildren() - childTimeBefore) / wall, 0.2)
        << "waiting for a vanished board must not spin";
}

}  // namespace
}  // namespace loadstar
