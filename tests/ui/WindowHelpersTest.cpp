// The small pure pieces of the windows and the start-up: dialog filters, OEM glyphs, the display
// check, and where the upload's save dialog opens.

#include <gtest/gtest.h>

#include <QString>
#include <map>
#include <string>
#include <vector>

#include "DisplayCheck.h"
#include "FileDialogFilter.h"
#include "MainFormUserInterface.h"
#include "OemText.h"
#include "RecordingDialogs.h"

namespace loadstar {
namespace {

TEST(QtNameFilters, KeepTheEntriesAndTheirOrderInQtForm) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"IntelHEX format (*.hex)|*.hex|Binary file (*.bin)|*.bin|All Files (*.*)|*.*",
         {"IntelHEX format (*.hex)", "Binary file (*.bin)", "All Files (*)"}},
        {"Images|*.hex;*.bin", {"Images (*.hex *.bin)"}},
        {"Odd one|", {}},
        {"", {}},
    };
    for (const auto& [filter, expected] : cases) {
        EXPECT_EQ(qtNameFilters(filter), expected) << filter;
    }
}

TEST(OemTextToDisplay, ShowsCodePage437GlyphsAndKeepsLineBreaks) {
    const std::vector<std::pair<std::string, QString>> cases = {
        {"a\r\nb", QStringLiteral("a\nb")},
        {"a\rb", QStringLiteral("a\nb")},
        {"tab\there", QStringLiteral("tab\there")},
        {std::string("\x01\x7F\x80\xB0\xDB\xE1\xFF", 7), QString::fromUtf8("☺⌂Ç░█ß\u00A0")},
        {std::string("up to\0 here", 11), QStringLiteral("up to")},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(oemTextToDisplay(text), shown) << text;
    }
}

TEST(WindowsCanBeShown, NeedsADisplayOrAnExplicitPlatform) {
    using Environment = std::map<std::string, std::string>;
    const std::vector<std::pair<Environment, bool>> cases = {
        {{}, false},
        {{{"DISPLAY", ""}}, false},
        {{{"DISPLAY", ":0"}}, true},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, true},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, true},
    };
    for (const auto& [variables, expected] : cases) {
        const Environment& environment = variables;  // a lambda captures no structured binding
        const auto lookup = [&environment](const char* name) -> const char* {
            const auto found = environment.find(name);
            return found == environment.end() ? nullptr : found->second.c_str();
        };
        EXPECT_EQ(windowsCanBeShown(lookup), expected) << environment.size();
    }
}

TEST(MainFormUserInterface, SaveDialogProposesTheNameInTheFolderLastChosen) {
    testing::RecordingDialogs dialogs;
    FileDialogSettings saveDialog{"hex", "flash.hex", {}};
    MainFormUserInterface ui(
        dialogs, [](const std::string&) {}, [] {}, saveDialog);
    dialogs.saveAnswer = "/data/boards/first.hex";
    EXPECT_EQ(ui.chooseSaveFile("KEL520_seg(FS3)"), dialogs.saveAnswer);
    EXPECT_EQ(dialogs.saveDialogs.back().fileName, "KEL520_seg(FS3)");
    dialogs.saveAnswer.reset();
    EXPECT_EQ(ui.chooseSaveFile("KEL520_seg(CSBOOT1)"), std::nullopt);
    EXPECT_EQ(dialogs.saveDialogs.back().fileName, "/data/boards/KEL520_seg(CSBOOT1)");
}

}  // namespace
}  // namespace loadstar
