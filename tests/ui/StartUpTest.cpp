// The program's start: the question when a copy runs already, and the program itself refusing
// to start without a display.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <string>
#include <vector>

#include "RecordingDialogs.h"
#include "StartUp.h"

namespace loadstar {
namespace {

TEST(AskAboutRunningCopy, AsksOnlyWhenACopyRunsAndEndsOnNo) {
    struct Case {
        bool anotherRuns;
        bool yes;
        std::optional<int> exitCode;
        std::size_t questions;
    };
    const std::vector<Case> cases = {
        {false, false, std::nullopt, 0},
        {false, true, std::nullopt, 0},
        {true, true, std::nullopt, 1},
        {true, false, 1, 1},
    };
    for (const auto& c : cases) {
        testing::RecordingDialogs dialogs;
        dialogs.yesAnswer = c.yes;
        EXPECT_EQ(askAboutRunningCopy(c.anotherRuns, dialogs), c.exitCode);
        ASSERT_EQ(dialogs.questions.size(), c.questions);
        if (c.questions > 0) {
            EXPECT_EQ(dialogs.questions.front().caption, "Duplicate instance");
            EXPECT_EQ(dialogs.questions.front().text,
                      "The program is already running.\nDo you want to run another instance of "
                      "the program ?");
        }
        EXPECT_TRUE(dialogs.messages.empty());
    }
}

// Runs the program with an environment that names no display; its exit code and stderr.
std::pair<int, std::string> runWithoutDisplay() {
    int errors[2];
    if (::pipe(errors) != 0) {
        return {-1, {}};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(errors[1], STDERR_FILENO);
        ::close(errors[0]);
        ::close(errors[1]);
        char home[] = "HOME=/tmp";
        char path[] = "PATH=/usr/bin:/bin";
        char* environment[] = {home, path, nullptr};
        char* arguments[] = {const_cast<char*>(LOADSTAR_PROGRAM), nullptr};
        ::execve(LOADSTAR_PROGRAM, arguments, environment);
        ::_exit(127);
    }
    ::close(errors[1]);
    std::string text;
    std::array<char, 512> buffer{};
    ssize_t n = 0;
    while ((n = ::read(errors[0], buffer.data(), buffer.size())) > 0) {
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(errors[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

TEST(Program, WithoutADisplaySaysSoAndHowToUseXvfb) {
    const auto [exitCode, errors] = runWithoutDisplay();
    EXPECT_EQ(exitCode, 2);
    EXPECT_NE(errors.find("no display"), std::string::npos) << errors;
    EXPECT_NE(errors.find("xvfb-run -a loadstar"), std::string::npos) << errors;
}

}  // namespace
}  // namespace loadstar
