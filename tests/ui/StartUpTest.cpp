// The program's start: the question when a copy runs already, the check for a display, the
// program itself refusing to start without one, and its options.

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "DisplayCheck.h"
#include "LoadstarOptions.h"
#include "ProgramRunner.h"
#include "RecordingDialogs.h"
#include "StartUp.h"

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
    const std::pair<std::string, bool> cases[] = {{"", false},
                                                  {"DISPLAY=", false},
                                                  {"DISPLAY=:0", true},
                                                  {"WAYLAND_DISPLAY=w-0", true},
                                                  {"QT_QPA_PLATFORM=offscreen", true}};
    for (const auto& [variable, expected] : cases) {
        const std::string name = variable.substr(0, variable.find('='));
        const std::string value = variable.substr(variable.find('=') + 1);
        const auto lookup = [&](const char* asked) {
            return asked == name ? value.c_str() : nullptr;
        };
        EXPECT_EQ(windowsCanBeShown(lookup), expected) << variable;
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

// --port reaches the window, the toolkit's own options are left to it, and help and a bad option
// end the program before any window is needed.
TEST(LoadstarOptions, PortHelpAndTheToolkitsOwnOptions) {
    const struct {
        std::vector<std::string> args;
        std::variant<std::string, int> outcome;  // the port, or the exit code
    } cases[] = {
        {{}, std::string()},
        {{"-platform", "offscreen", "--port", "/dev/ttyS1", "-style", "fusion"},
         std::string("/dev/ttyS1")},
        {{"--help"}, 0},
        {{"--port"}, 2},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {"loadstar"};
        words.insert(words.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (auto& word : words) {
            argv.push_back(word.data());
        }
        const auto parsed = parseLoadstarOptions(static_cast<int>(argv.size()), argv.data());
        if (const auto* port = std::get_if<std::string>(&c.outcome)) {
            ASSERT_TRUE(std::holds_alternative<LoadstarOptions>(parsed)) << words.size();
            EXPECT_EQ(std::get<LoadstarOptions>(parsed).port, *port);
        } else {
            ASSERT_TRUE(std::holds_alternative<int>(parsed)) << words.back();
            EXPECT_EQ(std::get<int>(parsed), std::get<int>(c.outcome)) << words.back();
        }
    }
}

}  // namespace
}  // namespace loadstar
