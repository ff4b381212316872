// The Windows build under wine against kel-emulator: a COM port of the wine prefix leads to the
// emulator's pseudo-terminal. loadstar-cli.exe must end every command as the Linux build does,
// with the same output and the same files.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "iap/DumpWriters.h"
#include "support/ChildProcess.h"
#include "support/EmulatorProcess.h"
#include "support/ProgramRunner.h"
#include "support/RandomBytes.h"
#include "support/TempDir.h"

namespace loadstar {
namespace {

namespace fs = std::filesystem;
using testing::ProgramResult;
using namespace std::chrono_literals;

const std::string wineRun = LOADSTAR_WINE_RUN;
const std::string windowsCli = LOADSTAR_WINDOWS_BUILD_DIR "/src/cli/loadstar-cli.exe";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The same text from both builds: line ends and measured times set aside, and the names each
// gave its device and its files.
std::string comparable(std::string output,
                       const std::vector<std::pair<std::string, std::string>>& names) {
    for (const auto& [name, placeholder] : names) {
        for (auto at = output.find(name); at != std::string::npos; at = output.find(name, at)) {
            output.replace(at, name.size(), placeholder);
        }
    }
    output = std::regex_replace(output, std::regex("\r\n"), "\n");
    return std::regex_replace(output, std::regex("\\d+ ms"), "N ms");
}

// A Linux path as a Windows program names it, on wine's drive Z:.
std::string windowsPath(const std::string& path) {
    std::string converted = "Z:" + path;
    std::replace(converted.begin(), converted.end(), '/', '\\');
    return converted;
}

ProgramResult runWine(std::vector<std::string> args) {
    return testing::runProgram(wineRun, args, 120s);
}

class WineCliTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // One prefix for the whole run: the one the wrapper uses unless the run names another.
        ::setenv("WINEPREFIX", LOADSTAR_DEFAULT_WINE_PREFIX, 0);
        const auto made = runWine({"cmd.exe", "/c", "exit 0"});
        ASSERT_EQ(made.exitStatus, 0) << made.errors;
    }
    void SetUp() override {
        ASSERT_TRUE(linuxBoard.started()) << linuxBoard.startupError();
        ASSERT_TRUE(windowsBoard.started()) << windowsBoard.startupError();
        linkComPort("COM1", windowsBoard.devicePath());
    }
    // Points a COM port of the prefix at `device`: the registry entry that wine's mount manager
    // links it by when wine starts, and the link itself for a wine that runs already.
    static void linkComPort(const std::string& name, const std::string& device) {
        const auto set =
            runWine({"reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", name, "/d", device, "/f"});
        ASSERT_EQ(set.exitStatus, 0) << set.errors;
        std::string link = name;
        std::transform(link.begin(), link.end(), link.begin(), ::tolower);
        const fs::path path = fs::path(std::getenv("WINEPREFIX")) / "dosdevices" / link;
        fs::remove(path);
        fs::create_symlink(device, path);
    }
    ProgramResult onWindows(std::vector<std::string> args) {
        args.insert(args.begin(), windowsCli);
        return runWine(args);
    }
    ProgramResult onLinux(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", linuxBoard.devicePath()});
        return testing::runProgram(testing::cliPath(), args);
    }

    testing::EmulatorProcess linuxBoard;
    testing::EmulatorProcess windowsBoard;
    testing::TempDir folder;
};

TEST_F(WineCliTest, CommandsEndAsOnLinuxWithTheSameFiles) {
    auto bytes = testing::randomBytes(0x2000, 12);
    folder.write("image.hex", intelHexDump(bytes));
    bytes[7] ^= 1;
    folder.write("other.bin", std::string(bytes.begin(), bytes.end()));
    fs::create_directory(folder.file("linux"));
    fs::create_directory(folder.file("windows"));
    const std::vector<std::string> boot2 = {"--flash", "boot", "--sector", "2"};
    // {arguments}, with FILE for a file of the folder and SAVED/ for one each build writes.
    const std::vector<std::vector<std::string>> commands = {
        {"identify"},
        {"read", "8000", "10"},
        {"write", "C000", "12", "34", "AB"},
        {"read", "C000", "3"},
        {"erase"},
        {"program", "FILE/image.hex"},
        {"verify", "FILE/image.hex"},
        {"verify", "FILE/other.bin"},
        {"upload", "SAVED/sector.hex"},
        {"upload", "SAVED/Sector.BIN"},
        {"upload", "SAVED/sector.txt"},
        {"program", "FILE/missing.hex"},
    };
    for (const auto& command : commands) {
        std::vector<std::string> linuxArgs = boot2;
        std::vector<std::string> windowsArgs = boot2;
        for (const auto& word : command) {
            const bool saved = word.rfind("SAVED/", 0) == 0;
            const bool file = word.rfind("FILE/", 0) == 0;
            const std::string name = word.substr(word.find('/') + 1);
            linuxArgs.push_back(saved  ? folder.file("linux/" + name)
                                : file ? folder.file(name)
                                       : word);
            windowsArgs.push_back(saved  ? windowsPath(folder.file("windows/" + name))
                                  : file ? windowsPath(folder.file(name))
                                         : word);
        }
        const auto onLinuxRun = onLinux(linuxArgs);
        const auto onWindowsRun = onWindows(windowsArgs);
        SCOPED_TRACE(command.front() + " " + command.back() + "\n" + onWindowsRun.errors);
        EXPECT_EQ(onWindowsRun.exitStatus, onLinuxRun.exitStatus);
        EXPECT_EQ(comparable(onWindowsRun.output,
                             {{windowsPath(folder.file("windows")) + "\\", "SAVED/"}}),
                  comparable(onLinuxRun.output, {{linuxBoard.devicePath(), "COM1"},
                                                 {folder.file("linux") + "/", "SAVED/"}}));
    }
    for (const char* name : {"sector.hex", "Sector.BIN", "sector.txt"}) {
        EXPECT_FALSE(folder.read(std::string("linux/") + name).empty()) << name;
        EXPECT_TRUE(folder.read(std::string("windows/") + name) ==
                    folder.read(std::string("linux/") + name))
            << name;
    }
    EXPECT_EQ(folder.read("windows/sector.hex"), intelHexDump(testing::randomBytes(0x2000, 12)));
}

// Ctrl-C during a backup: the sectors saved before it stay, whole, and nothing of the one being
// read is saved.
TEST_F(WineCliTest, CtrlCStopsABackupWith130KeepingWhatWasSaved) {
    const std::string backup = folder.file("backup");
    const std::string firstFile = backup + "/KEL520_seg(FS0).hex";
    testing::ChildProcess cli(wineRun, {windowsCli, "backup", windowsPath(backup)},
                              folder.file("out"), folder.file("err"));
    ASSERT_TRUE(cli.started());
    for (int i = 0; i < 3000 && !fs::exists(firstFile); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    cli.signal(SIGINT);  // wine hands it to the program as the console's Ctrl-C
    const int status = cli.waitForExit(30s);
    ASSERT_FALSE(cli.endedBySignal());
    EXPECT_EQ(status, 130) << folder.read("err");
    EXPECT_TRUE(contains(folder.read("out"), "backup: interrupted at FS1, 1 of 12 sectors saved"))
        << folder.read("out");
    EXPECT_EQ(std::distance(fs::directory_iterator(backup), fs::directory_iterator()), 1);
    EXPECT_EQ(testing::contentsOf(firstFile),
              intelHexDump(std::vector<std::uint8_t>(0x8000, 0xFF)));
}

TEST_F(WineCliTest, PortsTellsWhatStandsForCom1) {
    const auto ports = onWindows({"ports"});
    EXPECT_EQ(ports.exitStatus, 0);
    EXPECT_TRUE(contains(ports.output, "COM1 is COM1: ")) << ports.output;
}

// The port's own cases, which need a board, on a port past COM9 (named \\.\COM12 inside).
TEST_F(WineCliTest, TheWin32PortKeepsTheSerialPortContract) {
    linkComPort("COM12", windowsBoard.devicePath());
    ::setenv("LOADSTAR_TEST_COM_PORT", "com12", 1);
    const auto run = runWine({LOADSTAR_WINDOWS_BUILD_DIR "/tests/link_tests.exe",
                              "--gtest_filter=Win32SerialPortBoardTest.*"});
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_FALSE(contains(run.output, "SKIPPED")) << run.output;
}

}  // namespace
}  // namespace loadstar
