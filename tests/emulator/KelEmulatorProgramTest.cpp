// kel-emulator as a program: its device, its link, its options, its signals and its flash file.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <thread>

#include "EmulatorProcess.h"
#include "FileContents.h"
#include "FlashMemory.h"
#include "PtyClient.h"
#include "TempDir.h"

namespace loadstar::emulator {
namespace {

namespace fs = std::filesystem;
using loadstar::testing::contentsOf;
using loadstar::testing::EmulatorProcess;
using loadstar::testing::runEmulatorToEnd;
using loadstar::testing::TempDir;
using std::chrono::milliseconds;
using testing::Bytes;
using testing::PtyClient;

constexpr milliseconds noReplyWait{300};

std::string linkTarget(const std::string& path) {
    std::error_code error;
    const auto target = fs::read_symlink(path, error);
    return error ? std::string() : target.string();
}

TEST(KelEmulatorProgramTest, PrintsItsDeviceAndAnswersAsItsModel) {
    for (const std::string model : {"KEL520", "KEL620"}) {
        EmulatorProcess board({"--no-link", "--baud", "0", "--model", model});
        ASSERT_TRUE(board.started()) << board.startupError();
        EXPECT_EQ(board.devicePath().rfind("/dev/pts/", 0), 0u) << board.devicePath();
        PtyClient client(board.devicePath());
        ASSERT_TRUE(client.isOpen());
        EXPECT_EQ(client.ask("BRD"), "BRD " + model);
    }
}

TEST(KelEmulatorProgramTest, PacedRepliesArriveWholeAtTheDefaultLineSpeed) {
    EmulatorProcess board({"--no-link"});
    ASSERT_TRUE(board.started()) << board.startupError();
    PtyClient client(board.devicePath());
    const std::string reply = client.ask(testing::readPayload(0x8000, 255));
    ASSERT_EQ(reply.size(), 15u + 255u);
    EXPECT_EQ(reply.substr(0, 15), "RRD 8000 FF    ");
    EXPECT_EQ(reply.substr(15), std::string(255, '\xFF'));
}

TEST(KelEmulatorProgramTest, IgnoresGarbageAndBadFramesAndStillAnswersGoodOnes) {
    EmulatorProcess board;
    ASSERT_TRUE(board.started()) << board.startupError();
    PtyClient client(board.devicePath());
    Bytes broken = testing::frameOf("BRD");
    broken.back() ^= 0x01;
    EXPECT_TRUE(client.send(broken));
    EXPECT_TRUE(client.send(Bytes{0x21, 0x03, 0xE8, 0x15, 'j', 'u', 'n', 'k'}));  // a lost tail
    EXPECT_EQ(client.collect(milliseconds(150), noReplyWait), "");
    EXPECT_EQ(client.ask("NOP", noReplyWait), "") << "an unknown command gets no reply";
    EXPECT_EQ(client.ask("BRD"), "BRD KEL520");
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
            PtyClient leaving(board.devicePath());
            ASSERT_TRUE(leaving.send(testing::frameOf(testing::readPayload(0x8000, 255))));
            std::this_thread::sleep_for(milliseconds(20));  // mid-reply at 19200 baud
        }
        std::this_thread::sleep_for(milliseconds(300));  // longer than the whole reply takes
        PtyClient next(board.devicePath());
        EXPECT_EQ(next.ask("BRD"), "BRD KEL520") << "baud " << baud;
    }
}

TEST(KelEmulatorProgramTest, ControlPipeSwitchesFaultsWhileItRuns) {
    EmulatorProcess board;
    ASSERT_TRUE(board.started()) << board.startupError();
    PtyClient client(board.devicePath());
    board.control("silent on");
    EXPECT_EQ(client.ask("BRD", noReplyWait), "");
    board.control("silent off");
    EXPECT_EQ(client.ask("BRD"), "BRD KEL520");
    board.control("unknown-tag on");
    EXPECT_EQ(client.ask("BRD"), "XYZ KEL520");
    board.control("no such command");  // reported on stderr and ignored
    board.control("clear");
    EXPECT_EQ(client.ask("BRD"), "BRD KEL520");
    EXPECT_NE(board.errorText().find("unknown control command"), std::string::npos);
}

TEST(KelEmulatorProgramTest, FaultOptionsApplyFromTheStart) {
    EmulatorProcess dropping({"--no-link", "--baud", "0", "--drop-every", "2"});
    ASSERT_TRUE(dropping.started()) << dropping.startupError();
    PtyClient client(dropping.devicePath());
    EXPECT_EQ(client.ask("BRD"), "BRD KEL520");
    EXPECT_EQ(client.ask("BRD", noReplyWait), "");
    EXPECT_EQ(client.ask("BRD"), "BRD KEL520");
}

TEST(KelEmulatorProgramTest, PublishesReplacesAndRemovesItsLink) {
    TempDir folder;
    const std::string link = folder.file("COM1");
    fs::create_symlink("/dev/no-such-board", link);  // left by an emulator that was killed
    {
        EmulatorProcess board({"--link", link, "--baud", "0"});
        ASSERT_TRUE(board.started()) << board.startupError();
        EXPECT_EQ(linkTarget(link), board.devicePath());
        PtyClient client(link);
        EXPECT_EQ(client.ask("BRD"), "BRD KEL520");
        EXPECT_EQ(board.stop(), 0);
    }
    EXPECT_FALSE(fs::is_symlink(link)) << "the link goes with the emulator";
}

TEST(KelEmulatorProgramTest, CreatesAMissingLinkFolderPrivately) {
    TempDir folder;
    const std::string devices = folder.file("devices");
    EmulatorProcess board({"--link", devices + "/COM1", "--baud", "0"});
    ASSERT_TRUE(board.started()) << board.startupError();
    struct stat status {};
    ASSERT_EQ(::stat(devices.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_EQ(linkTarget(devices + "/COM1"), board.devicePath());
}

TEST(KelEmulatorProgramTest, RefusesToPublishWhereItIsNotSafe) {
    TempDir open;
    fs::permissions(open.path(), fs::perms::all);  // 0777: anyone could swap the board
    auto refused = runEmulatorToEnd({"--link", open.file("COM1")});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.errors.find("refusing to publish"), std::string::npos) << refused.errors;
    EXPECT_EQ(refused.output, "") << "no device is offered";
    EXPECT_FALSE(fs::exists(open.file("COM1")));

    TempDir occupied;
    occupied.write("COM1", "a file of the user's");
    refused = runEmulatorToEnd({"--link", occupied.file("COM1")});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.errors.find("is not a link"), std::string::npos) << refused.errors;
    EXPECT_TRUE(fs::is_regular_file(occupied.file("COM1")));
}

TEST(KelEmulatorProgramTest, EndsCleanlyOnStopSignals) {
    for (const int signal : {SIGTERM, SIGINT}) {
        TempDir folder;
        const std::string link = folder.file("COM1");
        EmulatorProcess board({"--link", link, "--baud", "0"});
        ASSERT_TRUE(board.started()) << board.startupError();
        EXPECT_EQ(board.stop(signal), 0) << strsignal(signal);
        EXPECT_FALSE(fs::is_symlink(link)) << strsignal(signal);
        EXPECT_FALSE(fs::exists(board.workFolder() + "/control")) << "control pipe removed";
    }
}

TEST(KelEmulatorProgramTest, FlashFileKeepsWhatWasProgrammedBetweenRuns) {
    TempDir folder;
    const std::string flashFile = folder.file("board.flash");
    const std::vector<std::string> args{"--no-link", "--baud", "0", "--flash-file", flashFile};
    {
        EmulatorProcess board(args);
        ASSERT_TRUE(board.started()) << board.startupError();
        PtyClient client(board.devicePath());
        EXPECT_EQ(client.ask("VM 92"), "VM 92");
        EXPECT_EQ(client.ask("PG 02"), "PG 02");
        EXPECT_EQ(client.ask(testing::writePayload(0x8010, {0xDE, 0xAD})).substr(15, 2), "02");
        ASSERT_EQ(board.stop(), 0);
    }
    ASSERT_EQ(fs::file_size(flashFile), FlashMemory::imageSize);
    EmulatorProcess again(args);
    ASSERT_TRUE(again.started()) << again.startupError();
    PtyClient client(again.devicePath());
    client.ask("VM 92");
    client.ask("PG 02");
    EXPECT_EQ(client.ask(testing::readPayload(0x800F, 4)).substr(15), "\xFF\xDE\xAD\xFF");
}

TEST(KelEmulatorProgramTest, RefusesAFlashFileOfTheWrongSize) {
    TempDir folder;
    const std::string flashFile = folder.write("board.flash", "too short");
    const auto refused = runEmulatorToEnd({"--no-link", "--flash-file", flashFile});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.errors.find("294912"), std::string::npos) << refused.errors;
    EXPECT_EQ(fs::file_size(flashFile), 9u) << "the user's file is left alone";
}

TEST(KelEmulatorProgramTest, HelpListsTheOptionsAndExitsZero) {
    const auto help = runEmulatorToEnd({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* option :
         {"--model", "--link", "--no-link", "--flash-file", "--baud", "--silent", "--drop-every",
          "--delay-ms", "--corrupt-rate", "--unknown-tag", "--seed", "--control"}) {
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
    }
}

TEST(KelEmulatorProgramTest, BadOptionsGetAMessageAndExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"--model", "KEL999"},
        {"--baud", "-1"},
        {"--baud", "fast"},
        {"--corrupt-rate", "1.5"},
        {"--drop-every", "-2"},
        {"--delay-ms", "soon"},
        {"--seed", "-1"},
        {"--link", "/tmp/x", "--no-link"},
        {"--no-such-option"},
        {"stray-argument"},
        {"--model"},
    };
    for (const auto& args : cases) {
        const auto run = runEmulatorToEnd(args);
        EXPECT_EQ(run.exitStatus, 2) << args[0];
        EXPECT_FALSE(run.errors.empty()) << args[0];
        EXPECT_EQ(run.output, "") << args[0];
    }
}

// Total CPU time (user + system) of a process in clock ticks, from /proc.
long cpuTicks(pid_t pid) {
    const std::string text = contentsOf("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stol(field);
        } else if (i == 15) {
            stime = std::stol(field);
        }
    }
    return utime + stime;
}

TEST(KelEmulatorProgramTest, IdleEmulatorDoesNotSpin) {
    EmulatorProcess board({"--no-link"});
    ASSERT_TRUE(board.started()) << board.startupError();
    PtyClient client(board.devicePath());
    EXPECT_EQ(client.ask("BRD"), "BRD KEL520");
    const long before = cpuTicks(board.pid());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long used = cpuTicks(board.pid()) - before;
    // A loop that polls without sleeping burns the whole second (about 100 ticks).
    EXPECT_LE(used, 5) << "clock ticks used in one idle second";
}

}  // namespace
}  // namespace loadstar::emulator
