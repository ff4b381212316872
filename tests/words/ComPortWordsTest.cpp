#include "words/ComPortWords.h"

#include <gtest/gtest.h>

namespace loadstar {
namespace {

TEST(ComPortWords, SayWhyADeviceStandsForCom1) {
    using Why = ComPortChoice::Why;
    const auto choice = [](Why why, std::vector<std::string> looked,
                           std::vector<ComPortChoice::Ignored> ignored) {
        ComPortChoice made;
        made.why = why;
        made.folder = "/run/user/7/loadstar";
        made.systemLink = "/dev/COM1";
        made.looked = std::move(looked);
        made.ignored = std::move(ignored);
        return made;
    };
    const std::vector<std::string> both = {"/r/COM1", "/t/COM1"};
    const struct {
        ComPortChoice choice;
        std::string words;
    } rows[] = {
        {choice(Why::perUserLink, both, {}),
         "the link in your own device folder /run/user/7/loadstar (kel-emulator publishes itself "
         "there)"},
        {choice(Why::systemLink, both, {{"/r/COM1", true}, {"/t/COM1", false}}),
         "the link /dev/COM1 exists (made by a udev rule or an administrator); /r/COM1 is "
         "ignored, since its folder is not private to you; /t/COM1 is ignored, since the emulator "
         "that made it is gone"},
        {choice(Why::noneExists, both, {{"/t/COM1", false}}),
         "/dev/COM1 does not exist; /t/COM1 is ignored, since the emulator that made it is gone"},
        {choice(Why::noneExists, {"/r/COM1"}, {}), "neither /r/COM1 nor /dev/COM1 exists"},
        {choice(Why::noneExists, both, {}), "none of /r/COM1, /t/COM1 and /dev/COM1 exists"},
        {choice(Why::windowsNumbering, {}, {}),
         "the board's port, as Windows numbers its serial ports"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(comPortChoiceWords(row.choice), row.words);
    }
}

}  // namespace
}  // namespace loadstar
