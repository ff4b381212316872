// kel-emulator as a program: its device, its link, its options, its signals and its flash file.

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <sstream>
#include <thread>

#include "FrameBytes.h"
#include "link/ComPortName.h"
#include "support/Descriptor.h"
#include "support/EmulatorProcess.h"
#include "support/ProgramRunner.h"

namespace loadstar::emulator {
namespace {

namespace fs = std::filesystem;
using loadstar::testing::Descriptor;
using loadstar::testing::EmulatorProcess;
using loadstar::testing::TempDir;
using std::chrono::milliseconds;
using testing::Bytes;
using testing::frameOf;

// Opens the emulator's device raw, apart from the host's serial port (which empties its input when
// it opens).
int openRaw(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios settings{};
    if (::tcgetattr(fd, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(fd, TCSANOW, &settings);
    }
    return fd;
}

// Writes `bytes` and returns what arrives until the line has been quiet for 150 ms (waiting
// `firstByte` for the first). Until `whole` bytes have come, a gap is waited out as long as the
// first byte is: a loaded machine may hold the emulator up in the middle of a paced reply, and
// the reply must not look cut for that.
std::string replyTo(const Descriptor& fd, const Bytes& bytes, int firstByte = 2000,
                    std::size_t whole = 1) {
    if (::write(fd.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        return "<write failed>";
    }
    std::string received;
    pollfd waiting{fd.get(), POLLIN, 0};
    char buffer[512];
    while (::poll(&waiting, 1, received.size() < whole ? firstByte : 150) > 0) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        received.append(buffer, static_cast<std::size_t>(got));
    }
    return received;
}

loadstar::testing::ProgramResult runToEnd(const std::vector<std::string>& args) {
    return loadstar::testing::runProgram(EmulatorProcess::programPath(), args,
                                         std::chrono::seconds(10));
}

// The emulator publishes its device as the link it is given, answers there as its model, and
// removes the link when a stop signal ends it.
TEST(KelEmulatorProgramTest, ServesItsModelOnThePublishedLinkUntilAStopSignal) {
    const TempDir folder;
    const std::string link = folder.file("devices") + "/COM1";
    for (const auto& [model, signal] :
         {std::pair{"KEL520", SIGTERM}, std::pair{"KEL620", SIGINT}}) {
        EmulatorProcess board({"--link", link, "--model", model});
        ASSERT_TRUE(board.started()) << board.startupError();
        const Descriptor client(openRaw(link));
        EXPECT_EQ(replyTo(client, {0x21, 0x03, 0xE8, 0x15, 'j', 'u', 'n', 'k'}, 300), "")
            << "a lost tail, given up when the line goes quiet";
        const std::string named = std::string("BRD ") + model;
        EXPECT_EQ(replyTo(client, frameOf("BRD"), 2000, named.size()), named);
        EXPECT_EQ(board.stop(signal), 0) << strsignal(signal);
        EXPECT_FALSE(fs::is_symlink(link)) << "the link goes with the emulator";
    }
}

// What the board sends while no program holds the port is lost, as on a real line: a client that
// comes after one that left in the middle of a reply does not read the rest of that reply as the
// start of its own. (The pause between the two clients gives the emulator time to see the first
// one go; a client opening at the very same moment is the port's own business: it starts empty.)
TEST(KelEmulatorProgramTest, ALaterClientNeverReadsAnEarlierClientsReply) {
    for (const char* baud : {"0", "19200"}) {
        EmulatorProcess board({"--no-link", "--baud", baud});
        ASSERT_TRUE(board.started()) << board.startupError();
        {
            const Descriptor leaving(openRaw(board.devicePath()));
            replyTo(leaving, frameOf(testing::flashPayload("RRD", 0x8000, 255)), 0);
            std::this_thread::sleep_for(milliseconds(20));  // mid-reply at 19200 baud
        }
        std::this_thread::sleep_for(milliseconds(300));  // longer than the whole reply takes
        const Descriptor next(openRaw(board.devicePath()));
        EXPECT_EQ(replyTo(next, frameOf("BRD"), 2000, 10), "BRD KEL520") << "baud " << baud;
    }
}

// A machine too busy to let the board model keep the line's time is named when the emulator ends,
// so that a test of the line's timing knows its line had gaps no board gives. (When hold-ups are
// counted, and that an emulator on time counts none, PacedLineTest tells on a virtual clock.)
TEST(KelEmulatorProgramTest, SaysWhenTheMachineHeldItUp) {
    // At 1200 baud a long reply takes over 2 s: it is still coming whenever this test runs on.
    EmulatorProcess board({"--no-link", "--baud", "1200"});
    ASSERT_TRUE(board.started()) << board.startupError();
    const Descriptor client(openRaw(board.devicePath()));
    const Bytes frame = frameOf(testing::flashPayload("RRD", 0x8000, 255));
    ASSERT_EQ(::write(client.get(), frame.data(), frame.size()),
              static_cast<ssize_t>(frame.size()));
    // Held up once the reply has begun, so that the rest of it is late.
    pollfd waiting{client.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&waiting, 1, 2000), 1);
    char first[8];
    ASSERT_GT(::read(client.get(), first, sizeof first), 0);
    board.holdFor(milliseconds(60));
    std::this_thread::sleep_for(milliseconds(50));  // it sends the next bytes, late
    EXPECT_EQ(board.stop(), 0);
    EXPECT_NE(board.errorText().find("held the board model up"), std::string::npos)
        << board.errorText();
}

// A client killed while it held the line for exclusive use, or an emulator killed while its link
// was published, leaves nothing in the way: the next client is let in, and a link whose emulator
// is gone is not taken for COM1 (its device may belong to another terminal by then).
TEST(KelEmulatorProgramTest, WhatTheKilledLeaveBehindIsNotInTheWay) {
    const TempDir folder;
    const std::string devices = folder.file("devices");
    const std::string link = devices + "/COM1";
    const auto com1 = [&devices] {
        return loadstar::resolveComPort(devices, "/dev/no-COM1", "/dev/no-ttyS0");
    };
    EmulatorProcess board({"--link", link, "--baud", "0"});
    ASSERT_TRUE(board.started()) << board.startupError();
    {
        const Descriptor dying(openRaw(link));
        ASSERT_EQ(::ioctl(dying.get(), TIOCEXCL), 0);
    }  // closed without giving the line back, as the system closes it for a killed client
    std::this_thread::sleep_for(milliseconds(100));
    const Descriptor next(openRaw(link));
    int exclusive = 1;
    ASSERT_EQ(::ioctl(next.get(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "a normal user's next client would be refused";
    EXPECT_EQ(replyTo(next, frameOf("BRD"), 2000, 10), "BRD KEL520");

    EXPECT_EQ(com1(), link);
    const EmulatorProcess rival({"--link", link, "--baud", "0"});
    EXPECT_FALSE(rival.started()) << "a live emulator's link is not taken over";
    EXPECT_NE(rival.errorText().find("another kel-emulator publishes"), std::string::npos);
    board.stop(SIGKILL);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(com1(), "/dev/no-ttyS0") << "a stale link is not followed";
    const EmulatorProcess again({"--link", link, "--baud", "0"});
    ASSERT_TRUE(again.started()) << again.startupError();
    EXPECT_EQ(com1(), link);
}

TEST(KelEmulatorProgramTest, FlashFileKeepsWhatWasProgrammed) {
    const TempDir folder;
    const std::string flashFile = folder.file("board.flash");
    for (const bool again : {false, true}) {  // the second run reads what the first wrote
        EmulatorProcess board({"--no-link", "--baud", "0", "--flash-file", flashFile});
        ASSERT_TRUE(board.started()) << board.startupError();
        const Descriptor client(openRaw(board.devicePath()));
        EXPECT_EQ(replyTo(client, frameOf("PG 02")), "PG 02");
        const Bytes payload = again ? testing::flashPayload("RRD", 0x800F, 4)
                                    : testing::flashPayload("WFP", 0x8010, 2, {0xDE, 0xAD});
        EXPECT_EQ(replyTo(client, frameOf(payload)).substr(15),
                  again ? "\xFF\xDE\xAD\xFF" : "02 B WRITTEN");
        EXPECT_EQ(board.stop(), 0);
        if (!again) {
            ::chmod(flashFile.c_str(), 0600);
        }
    }
    EXPECT_EQ(fs::status(flashFile).permissions(), fs::perms::owner_read | fs::perms::owner_write)
        << "a save keeps the file's mode";
}

// Bad options exit with 2; a file where the link should go, a flash file of the wrong size, or a
// pipe as the flash file (never opened to wait for a writer), with 1. None offers a device, and
// the user's files stay as they were.
TEST(KelEmulatorProgramTest, RefusalsOfferNoDeviceAndLeaveTheFilesAlone) {
    const TempDir folder;
    const std::string file = folder.write("COM1", "a file of the user's");
    const std::string flash = folder.write("wrong.flash", std::string(294913, '\0'));
    const std::string pipe = folder.file("pipe.flash");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::pair<std::string, std::string> cases[] = {
        {"--model KEL999", ""},
        {"--baud fast", ""},
        {"--corrupt-rate nan", ""},
        {"--drop-every -2", ""},
        {"--link /tmp/x --no-link", ""},
        {"stray", ""},
        {"--link " + file, "is not a link"},
        {"--no-link --flash-file " + flash, "294912"},
        {"--no-link --flash-file " + pipe, "not a regular file"}};
    for (const auto& [options, message] : cases) {
        std::istringstream words(options);
        const auto run = runToEnd({std::istream_iterator<std::string>(words), {}});
        EXPECT_EQ(run.exitStatus, message.empty() ? 2 : 1) << options;
        EXPECT_NE(run.errors, "") << options;
        EXPECT_NE(run.errors.find(message), std::string::npos) << run.errors;
        EXPECT_EQ(run.output, "") << options;
    }
    EXPECT_EQ(folder.read("COM1"), "a file of the user's");
    EXPECT_EQ(fs::file_size(flash), 294913u);
}

}  // namespace
}  // namespace loadstar::emulator
