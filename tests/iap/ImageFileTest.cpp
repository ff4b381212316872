#include "ImageFile.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ProcessFlags.h"
#include "RecordingUserInterface.h"
#include "TempDir.h"

namespace loadstar {
namespace {

constexpr int mainSize = 0x8000;
const std::string syntaxError = "Invalid syntax in hex file";
const std::string noData = "File contains no data";
const std::string openError = "Error opening file !";
const std::string end = ":00000001FF";

const std::string one = ":0100000001FE";  // the data record of the byte 01 at offset 0

std::string lines(const std::vector<std::string>& texts) {
    std::string text;
    for (const auto& line : texts) {
        text += line + "\n";
    }
    return text;
}

struct Loaded {
    int result = -9;
    int loadedLength = -9;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(100000, 0xA5);
    testing::RecordingUserInterface ui;
};

Loaded load(const testing::TempDir& folder, const std::string& name, int sectorSize) {
    Loaded loaded;
    loaded.result =
        loadImageFile(folder.file(name), loaded.buffer, sectorSize, loaded.loadedLength, loaded.ui);
    return loaded;
}

// Each message comes with its own caption and icon.
void expectMessage(const Loaded& loaded, const std::string& message) {
    static const std::map<std::string, std::pair<std::string, MessageIcon>> captions = {
        {syntaxError, {"Data load error", MessageIcon::none}},
        {openError, {"Data load error", MessageIcon::none}},
        {noData, {"Error", MessageIcon::warning}}};
    ASSERT_EQ(loaded.ui.messages.size(), message.empty() ? 0u : 1u);
    if (!message.empty()) {
        EXPECT_EQ(loaded.ui.messages[0].text, message);
        EXPECT_EQ(loaded.ui.messages[0].caption, captions.at(message).first);
        EXPECT_EQ(loaded.ui.messages[0].icon, captions.at(message).second);
    }
}

// What loads well-formed records exactly is left to the loader's fuzz target; here, the lines
// that must be refused and the liberties the format allows.
TEST(ImageFile, MalformedIntelHexIsRefusedAndWhatTheFormatLeavesOpenLoads) {
    processFlags() = ProcessFlags{};
    // A skipped record of `length` characters, its line end included.
    const auto skipped = [](std::size_t length) {
        return ":02000004" + std::string(length - 10, '0');
    };
    // Each file either is refused with the syntax error or loads the one byte 01 at offset 0.
    const std::pair<std::string, bool> cases[] = {
        {"", false},
        {lines({":020000000102FB"}), false},  // no end record
        {lines({one, "", end}), false},
        {lines({one.substr(1), end}), false},
        {lines({":1000", end}), false},
        {lines({":0100000012EE", end}), false},
        {lines({":0100000012", end}), false},
        {lines({":01000000G1EF", end}), false},
        {lines({one + " text behind the checksum", end}), false},
        {lines({one + "\r", end + "!"}), true},
        // Other record types are skipped unchecked; the end record's checksum is not looked at.
        {lines({":0200000200ZZ", ":04000005xxxxxxxx", one, ":00000001"}), true},
        {one + "\n" + end, true},
        // A line holds 998 characters with its line end; a longer one is never read as two.
        {lines({skipped(998), one, end}), true},
        {lines({skipped(999), one, end}), false},
        {lines({skipped(998) + end, one, end}), false},
    };
    for (const auto& [content, loads] : cases) {
        SCOPED_TRACE(content.substr(0, 80));
        testing::TempDir folder;
        folder.write("image.hex", content);
        const Loaded loaded = load(folder, "image.hex", mainSize);
        EXPECT_EQ(loaded.result, loads ? 1 : 0);
        expectMessage(loaded, loads ? "" : syntaxError);
        if (loads) {
            EXPECT_EQ(loaded.loadedLength, 1);
            EXPECT_EQ(loaded.buffer[0], 1);
        }
    }
}

TEST(ImageFile, OnlyRegularFilesNamedBinOrHexInAnyCaseLoad) {
    processFlags() = ProcessFlags{};
    testing::TempDir folder;
    std::filesystem::create_directory(folder.file("folder.bin"));
    // Only regular files are read: a pipe without a writer would block, a device never ends.
    ASSERT_EQ(::mkfifo(folder.file("pipe.hex").c_str(), 0666), 0);
    std::filesystem::create_symlink("/dev/zero", folder.file("zero.bin"));
    const struct {
        const char* name;
        const char* content;  // null: no such file
        int result;
        int loadedLength;
        std::string message;
    } cases[] = {
        {"IMAGE.BIN", "\x01\x02\xFF\xFF", 1, 4, ""}, {"image.txt", "\x01\x02", 1, 0, noData},
        {"image", "\x01\x02", 1, 0, noData},         {"folder.bin", nullptr, 0, 0, openError},
        {"pipe.hex", nullptr, 0, 0, openError},      {"zero.bin", nullptr, 0, 0, openError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.content != nullptr) {
            folder.write(c.name, c.content);
        }
        const Loaded loaded = load(folder, c.name, mainSize);
        EXPECT_EQ(loaded.result, c.result);
        expectMessage(loaded, c.message);
        EXPECT_EQ(loaded.result == 1 ? loaded.loadedLength : 0, c.loadedLength);
    }
}

}  // namespace
}  // namespace loadstar
