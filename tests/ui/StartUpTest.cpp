// The program's start: the question when a copy runs already, the check for a display, the
// program itself refusing to start without one, and its options.

#include <gtest/gtest.h>

#include <cstdlib>

#include <string>
#include <vector>

#include "RecordingDialogs.h"
#include "app/DisplayCheck.h"
#include "app/LoadstarOptions.h"
#include "app/StartUp.h"
#include "support/ProgramRunner.h"

namespace loadstar {
namespace {

TEST(AskAboutRunningCopy, AsksOnlyWhenACopyRunsAndEndsOnNo) {
    const struct {
        bool anotherRuns;
        bool yes;
        std::optional<int> exitCode;
    } cases[] = {{false, false, std::nullopt}, {true, true, std::nullopt}, {true, false, 1}};
    for (const auto& c : cases) {
        testing::RecordingDialogs dialogs;
        dialogs.yesAnswer = c.yes;
        EXPECT_EQ(askAboutRunningCopy(c.anotherRuns, dialogs), c.exitCode);
        ASSERT_EQ(dialogs.questions.size(), c.anotherRuns ? 1U : 0U);
        if (c.anotherRuns) {
            EXPECT_EQ(dialogs.questions.front().caption, "Duplicate instance");
            EXPECT_EQ(dialogs.questions.front().text,
                      "The program is already running.\nDo you want to run another instance of "
                      "the program ?");
        }
    }
}

TEST(WindowsCanBeShown, NeedsADisplayOrAnExplicitPlatform) {
    for (const std::string variable :
         {"", "DISPLAY=", "DISPLAY=:0", "WAYLAND_DISPLAY=w-0", "QT_QPA_PLATFORM=offscreen"}) {
        const std::string name = variable.substr(0, variable.find('='));
        const std::string value = variable.substr(variable.find('=') + 1);
        const auto lookup = [&](const char* asked) {
            return asked == name ? value.c_str() : nullptr;
        };
        EXPECT_EQ(windowsCanBeShown(lookup), !value.empty()) << variable;
    }
}

// Without a display the program says so and how to use Xvfb; its version needs none, as help2man
// reads it.
TEST(Program, WithoutADisplaySaysSoButTellsItsVersion) {
    const std::vector<std::string> environment = {"HOME=/tmp", "PATH=/usr/bin:/bin"};
    const auto run =
        testing::runProgram(LOADSTAR_PROGRAM, {}, std::chrono::seconds(30), environment);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.errors.find("no display"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("xvfb-run -a loadstar"), std::string::npos) << run.errors;
    const auto version =
        testing::runProgram(LOADSTAR_PROGRAM, {"--version"}, std::chrono::seconds(30), environment);
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.output, "loadstar 1.1.2\n");
}

// --port (or LOADSTAR_PORT) reaches the window and the toolkit's own options are left to it; a
// bad option ends the program before any window is needed.
TEST(LoadstarOptions, PortAndTheToolkitsOwnOptions) {
    std::vector<std::string> words = {"loadstar",   "-platform", "offscreen", "--port",
                                      "/dev/ttyS1", "-style",    "fusion"};
    const auto parse = [&words] {
        std::vector<char*> argv;
        for (auto& word : words) {
            argv.push_back(word.data());
        }
        return parseLoadstarOptions(static_cast<int>(argv.size()), argv.data());
    };
    EXPECT_EQ(std::get<LoadstarOptions>(parse()).port, "/dev/ttyS1");
    // LOADSTAR_PORT stands in for --port, which wins.
    ::setenv("LOADSTAR_PORT", "/dev/ttyUSB3", 1);
    EXPECT_EQ(std::get<LoadstarOptions>(parse()).port, "/dev/ttyS1");
    words = {"loadstar"};
    EXPECT_EQ(std::get<LoadstarOptions>(parse()).port, "/dev/ttyUSB3");
    ::unsetenv("LOADSTAR_PORT");
    words = {"loadstar", "--port"};  // --port without its device
    EXPECT_EQ(std::get<int>(parse()), 2);
}

}  // namespace
}  // namespace loadstar
