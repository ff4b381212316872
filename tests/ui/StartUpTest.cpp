// The program's start: the question when a copy runs already, and the program itself refusing
// to start without a display.

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(Program, WithoutADisplaySaysSoAndHowToUseXvfb) {
    // An environment that names no display (nor an offscreen platform).
    const auto run =
        testing::runProgram(LOADSTAR_PROGRAM, {}, std::chrono::seconds(30),
                            std::vector<std::string>{"HOME=/tmp", "PATH=/usr/bin:/bin"});
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.errors.find("no display"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("xvfb-run -a loadstar"), std::string::npos) << run.errors;
}

}  // namespace
}  // namespace loadstar
