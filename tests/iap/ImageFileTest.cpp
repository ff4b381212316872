#include "ImageFile.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ProcessFlags.h"
#include "ProgramRunner.h"
#include "RandomBytes.h"
#include "RecordingUserInterface.h"
#include "TempDir.h"

namespace loadstar {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int mainSize = 0x8000;
constexpr int bootSize = 0x2000;
const std::string syntaxError = "Invalid syntax in hex file";
const std::string noData = "File contains no data";
const std::string openError = "Error opening file !";
const std::string pastSector =
    "Warning: hex file address exceeds selected sector size.\n"
    "Data past the last sector address will be ignored.";
const std::string binaryPastSector =
    "Warning: binary file size exceeds selected sector size.\n"
    "Data past the last sector address will be ignored.";
const std::string end = ":00000001FF";

// One data record, without its line end, with a correct checksum.
std::string record(int address, const Bytes& data) {
    unsigned sum = static_cast<unsigned>(data.size() + (address >> 8) + (address & 0xFF));
    char field[16];
    std::snprintf(field, sizeof field, ":%02X%04X00", static_cast<unsigned>(data.size()),
                  static_cast<unsigned>(address));
    std::string line = field;
    for (const std::uint8_t byte : data) {
        std::snprintf(field, sizeof field, "%02X", byte);
        line += field;
        sum += byte;
    }
    std::snprintf(field, sizeof field, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + field;
}

std::string lines(const std::vector<std::string>& texts, const std::string& lineEnd = "\n") {
    std::string text;
    for (const auto& line : texts) {
        text += line + lineEnd;
    }
    return text;
}

Bytes counting(int first) {
    Bytes bytes(16);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(first + static_cast<int>(i));
    }
    return bytes;
}

struct Loaded {
    int result = -9;
    int loadedLength = -9;
    Bytes buffer = Bytes(100000, 0xA5);
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
        {noData, {"Error", MessageIcon::warning}},
        {pastSector, {"Warning", MessageIcon::warning}},
        {binaryPastSector, {"Warning", MessageIcon::warning}}};
    ASSERT_EQ(loaded.ui.messages.size(), message.empty() ? 0u : 1u);
    if (!message.empty()) {
        EXPECT_EQ(loaded.ui.messages[0].text, message);
        EXPECT_EQ(loaded.ui.messages[0].caption, captions.at(message).first);
        EXPECT_EQ(loaded.ui.messages[0].icon, captions.at(message).second);
    }
}

TEST(ImageFile, IntelHexLoadsWithItsLengthAndMessage) {
    processFlags() = ProcessFlags{};
    // A skipped record of `length` characters, its line end included.
    const auto skipped = [](std::size_t length) {
        return ":02000004" + std::string(length - 10, '0');
    };
    const struct {
        std::string content;
        int loadedLength;
        std::string message;            // a load fails exactly when it is the syntax error
        std::map<int, int> bytes = {};  // offset -> expected byte
        int sectorSize = mainSize;
    } cases[] = {
        {lines({end}), 0, noData},
        {lines({record(0, {1, 2})}), 0, syntaxError},  // no end record
        {"", 0, syntaxError},
        {lines({record(0, {0x12}), end}), 1, "", {{0, 0x12}, {1, 0xFF}}},
        {lines({record(0x7FFF, {0}), end}), mainSize, "", {{0, 0xFF}, {0x7FFF, 0}}},
        {lines({record(0x20, {3}), record(0, {1}), end}), 0x21, "", {{0, 1}, {0x10, 0xFF}}},
        {lines({record(0, counting(0)), record(0x40, {9}), end}, "\r\n"), 0x41, "", {{15, 15}}},
        {lines({record(0, {7, 0xFF, 0xFF}), end}), 1, ""},
        {lines({record(0x100, Bytes(16, 0xFF)), end}), 0, noData},
        // Bytes past the end are dropped; the record's inside and the records behind it load.
        {lines({record(bootSize - 15, counting(1)), record(0, {9}), end}),
         bootSize,
         pastSector,
         {{0, 9}, {1, 0xFF}, {bootSize - 15, 1}, {bootSize - 1, 15}},
         bootSize},
        {lines({record(bootSize, {1}), end}), 0, pastSector, {}, bootSize},
        {lines({record(0, {1}), "", end}), 0, syntaxError},
        {lines({record(0, {1}).substr(1), end}), 0, syntaxError},
        {lines({":1000", end}), 0, syntaxError},
        {lines({":0100000012EE", end}), 0, syntaxError},
        {lines({":0100000012", end}), 0, syntaxError},
        {lines({":01000000G1EF", end}), 0, syntaxError},
        {lines({":02001000abcd76", end}), 0x12, "", {{0x10, 0xAB}, {0x11, 0xCD}}},
        {lines({record(0, {5}) + " text behind the checksum", end}), 0, syntaxError},
        {lines({record(0, {5}) + "\r", end + "!"}), 1, "", {{0, 5}}},
        // Other record types are skipped unchecked; the end record's checksum is not looked at.
        {lines({":0200000200ZZ", ":04000005xxxxxxxx", record(0, {1}), ":00000001"}), 1, ""},
        {record(0, {2}) + "\n" + end, 1, ""},
        // Offsets never wrap past FFFF onto the start of the sector.
        {lines({record(0xFFF8, counting(0x10)), end}), 0, pastSector, {{0, 0xFF}, {7, 0xFF}}},
        {lines({":0400000001020304F2", ":02FFFF001122CD", end}), 4, pastSector, {{0, 1}, {3, 4}}},
        {lines({record(0x100, Bytes(255, 0x5A)), end}), 0x1FF, "", {{0x1FE, 0x5A}}},
        // A line holds 998 characters with its line end; a longer one is never read as two.
        {lines({skipped(998), record(0, {1}), end}), 1, ""},
        {lines({skipped(999), record(0, {1}), end}), 0, syntaxError},
        {lines({skipped(998) + end, record(0, {1}), end}), 0, syntaxError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.substr(0, 80));
        testing::TempDir folder;
        folder.write("image.hex", c.content);
        const Loaded loaded = load(folder, "image.hex", c.sectorSize);
        EXPECT_EQ(loaded.result, c.message == syntaxError ? 0 : 1);
        if (loaded.result == 1) {
            EXPECT_EQ(loaded.loadedLength, c.loadedLength);
        }
        expectMessage(loaded, c.message);
        for (const auto& [offset, value] : c.bytes) {
            EXPECT_EQ(loaded.buffer[static_cast<std::size_t>(offset)], value) << offset;
        }
        EXPECT_EQ(loaded.buffer[static_cast<std::size_t>(c.sectorSize)], 0xA5) << "past the sector";
    }
}

TEST(ImageFile, RawFilesLoadUpToTheSectorSizeAndOtherNamesBringNothing) {
    processFlags() = ProcessFlags{};
    testing::TempDir folder;
    std::filesystem::create_directory(folder.file("folder.bin"));
    // Only regular files are read: a pipe without a writer would block, a device never ends.
    ASSERT_EQ(::mkfifo(folder.file("pipe.hex").c_str(), 0666), 0);
    std::filesystem::create_symlink("/dev/zero", folder.file("zero.bin"));
    const struct {
        const char* name;
        const char* content;  // null: no such file
        int sectorSize;
        int result;
        int loadedLength;
        std::string message;
    } cases[] = {
        {"image.bin", "\x01\x02\xFF\xFF", mainSize, 1, 4, ""},
        {"IMAGE.BIN", "\x01\x02\xFF\xFF", mainSize, 1, 4, ""},
        {"long.bin", nullptr, bootSize, 1, bootSize, binaryPastSector},
        {"exact.bin", nullptr, bootSize, 1, bootSize, ""},
        {"empty.bin", "", mainSize, 1, 0, noData},
        {"image.txt", "\x01\x02", mainSize, 1, 0, noData},
        {"image", "\x01\x02", mainSize, 1, 0, noData},
        {"missing.hex", nullptr, mainSize, 0, 0, openError},
        {"missing.bin", nullptr, mainSize, 0, 0, openError},
        {"folder.bin", nullptr, mainSize, 0, 0, openError},
        {"pipe.hex", nullptr, mainSize, 0, 0, openError},
        {"zero.bin", nullptr, mainSize, 0, 0, openError},
    };
    folder.write("long.bin", std::string(bootSize + 1, '\x11'));
    folder.write("exact.bin", std::string(bootSize, '\x11'));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.content != nullptr) {
            folder.write(c.name, c.content);
        }
        const Loaded loaded = load(folder, c.name, c.sectorSize);
        EXPECT_EQ(loaded.result, c.result);
        expectMessage(loaded, c.message);
        if (c.result == 1) {
            const auto length = static_cast<std::size_t>(c.loadedLength);
            EXPECT_EQ(loaded.loadedLength, c.loadedLength);
            EXPECT_EQ(std::string(loaded.buffer.begin(), loaded.buffer.begin() + c.loadedLength),
                      folder.read(c.name).substr(0, length));
            EXPECT_EQ(loaded.buffer[length], 0xA5) << "the rest of the buffer is left as it was";
        }
    }
}

// For files linked at board addresses: a base subtracted from every record address; data below
// it lie outside the sector like data past its end.
TEST(ImageFile, ABaseAddressMovesTheRecordsAndTheLowestAddressIsReported) {
    testing::TempDir folder;
    folder.write("linked.hex", lines({record(0x8000, counting(16)), record(0x7FF0, counting(0)),
                                      record(0x9FF8, counting(32)), end}));
    const std::string outside =
        "Warning: hex file address lies outside the selected sector.\n"
        "Data outside the sector will be ignored.";
    for (const int base : {0x8000, 0}) {
        Loaded loaded;
        HexAddressing addressing{base, std::nullopt};
        loaded.result = loadImageFile(folder.file("linked.hex"), loaded.buffer, bootSize,
                                      loaded.loadedLength, loaded.ui, &addressing);
        EXPECT_EQ(loaded.result, 1);
        EXPECT_EQ(addressing.lowestRecordAddress, 0x7FF0);
        ASSERT_EQ(loaded.ui.messageTexts(), std::vector<std::string>{base ? outside : pastSector});
        EXPECT_EQ(loaded.loadedLength, base ? bootSize : 0);
        if (base != 0) {
            EXPECT_TRUE(std::equal(loaded.buffer.begin(), loaded.buffer.begin() + 16,
                                   counting(16).begin()));
            EXPECT_TRUE(std::equal(loaded.buffer.begin() + 0x1FF8, loaded.buffer.begin() + 0x2000,
                                   counting(32).begin()));
            EXPECT_EQ(loaded.buffer[0x2000], 0xA5) << "past the sector: nothing stored";
        }
    }
}

// Intel HEX written by other tools loads at the offsets of the bytes it was made from.
TEST(ImageFile, HexFromObjcopyAndSrecCatLoads) {
    testing::TempDir folder;
    Bytes bytes = testing::randomBytes(3000, 8);
    bytes.back() = 0x00;
    const std::string source = folder.write("source.bin", std::string(bytes.begin(), bytes.end()));
    const std::vector<std::string> commands[] = {
        {"/usr/bin/objcopy", "-I", "binary", "-O", "ihex", source, folder.file("objcopy.hex")},
        // At 64 KB: the extended linear address record in front is skipped, so the data still
        // land at their offsets within the sector.
        {"/usr/bin/srec_cat", source, "-binary", "-offset", "0x10000", "-o",
         folder.file("srec_cat.hex"), "-intel"},
    };
    for (const auto& command : commands) {
        const auto run = testing::runProgram(command[0], {command.begin() + 1, command.end()});
        ASSERT_EQ(run.exitStatus, 0) << run.errors;
    }
    EXPECT_NE(folder.read("srec_cat.hex").find(":020000040001F9"), std::string::npos);
    for (const char* name : {"objcopy.hex", "srec_cat.hex"}) {
        const Loaded loaded = load(folder, name, mainSize);
        EXPECT_EQ(loaded.result, 1) << name;
        EXPECT_EQ(loaded.loadedLength, 3000) << name;
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), loaded.buffer.begin())) << name;
        EXPECT_TRUE(loaded.ui.messages.empty()) << name;
    }
}

}  // namespace
}  // namespace loadstar
