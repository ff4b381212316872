#include "iap/ImageFile.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "iap/FileExtension.h"
#include "iap/SectorOperations.h"
#include "support/TempDir.h"
#include "words/ImageLoadWords.h"

namespace loadstar {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int mainSize = 0x8000;
constexpr int bootSize = 0x2000;
const std::string end = ":00000001FF\n";

// One record line with its checksum.
std::string record(int address, int type, const Bytes& data) {
    char field[16];
    std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(data.size()),
                  static_cast<unsigned>(address), static_cast<unsigned>(type));
    std::string line = field;
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) +
                   static_cast<unsigned>(type);
    for (const auto byte : data) {
        std::snprintf(field, sizeof field, "%02X", byte);
        line += field;
        sum += byte;
    }
    std::snprintf(field, sizeof field, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + field;
}
std::string data(int address, const Bytes& bytes) {
    return record(address, 0x00, bytes);
}
const std::string one = data(0, {0x01});  // the byte 01 at offset 0

struct Case {
    std::string name;
    std::string content;
    ImageProblem problem = ImageProblem::none;
    long line = 0;
    std::string reason;  // found in the outcome's reason
    long definedCount = 1;
    int loadedLength = 1;
    int definedEnd = 1;
    bool pastSector = false;
    int probe = 0;  // an offset, and the byte it must hold
    int probeByte = 0x01;
    ImageFormat format = ImageFormat::byContent;
    int sectorSize = mainSize;
    long long base = 0;
};

Case refused(std::string content, long line, std::string reason,
             ImageProblem problem = ImageProblem::badRecord) {
    Case c{"image.hex", std::move(content), problem, line, std::move(reason)};
    return c;
}

Case loads(std::string name, std::string content, long definedCount, int loadedLength,
           int definedEnd, bool pastSector = false) {
    return {std::move(name), std::move(content), ImageProblem::none, 0,         "",
            definedCount,    loadedLength,       definedEnd,         pastSector};
}

// What the window's loader makes of a file the core loader read as `c` says, by the window's rule
// of names (".hex" and ".ihx" Intel HEX, ".bin" raw, any other name nothing).
void expectWindowLoad(const testing::TempDir& folder, const Case& c, const ImageLoad& core) {
    const std::string extension = fileExtension(c.name);
    const bool raw = extension == ".bin";
    const bool known = raw || extension == ".hex" || extension == ".ihx";
    Bytes bytes = {0xA5};
    const Outcome outcome = loadWindowImage(folder.file(c.name), c.sectorSize, false, bytes);
    // A raw file's length counts, its trailing 0xFF included.
    const long length = !known || !core.ok() ? 0 : raw ? core.rawSize : c.loadedLength;
    const Fault fault = known && !core.ok() ? Fault::fileProblem
                        : length == 0       ? Fault::noData
                                            : Fault::none;
    EXPECT_EQ(outcome.failure.fault, fault);
    EXPECT_EQ(outcome.step, fault == Fault::none ? Step::none : Step::loadFile);
    EXPECT_EQ(outcome.file.problem, known ? core.problem : ImageProblem::none);
    EXPECT_EQ(outcome.file.pastSector, known && core.pastSector);
    EXPECT_EQ(static_cast<long>(bytes.size()), length);
}

// Every case loads through the core loader (outcome, bytes, defined offsets) and through the
// window's, whose outcome follows from the same load.
TEST(ImageFile, LoadsEveryByteWhereItsRecordPutsItAndNamesLineAndReasonOfABadOne) {
    // The record of `one` made `length` characters long, its line end included, by CRs.
    const auto padded = [](std::size_t length) {
        return one.substr(0, 13) + std::string(length - 14, '\r') + "\n";
    };
    Case cases[] = {
        loads("image.hex", one + end, 1, 1, 1),
        // Liberties the format allows: CR LF, no line end at the end, lower-case digits, and
        // text behind the end record; but a record there (two files joined) is data left out.
        loads("image.hex", ":0100000001fe\r\n:00000001FF!", 1, 1, 1),
        loads("image.hex", one + ":00000001FF", 1, 1, 1),
        loads("image.hex", one + end + "\r\n\x1A\nsigned off\n", 1, 1, 1),
        refused(one + end + "\n " + one + end, 4, "a record after the end record of line 2"),
        // Address records: an extension of 0 changes nothing; others move the data, here out of
        // the sector, so the byte behind them is left out and the one before stays.
        loads("image.hex", record(0, 4, {0, 0}) + record(0, 2, {0, 0}) + one + end, 1, 1, 1),
        loads("image.hex", one + record(0, 4, {0x00, 0x01}) + data(0, {0x02}) + end, 1, 1, 1, true),
        loads("image.hex", one + record(0, 2, {0x10, 0x00}) + data(0, {0x02}) + end, 1, 1, 1, true),
        {"image.hex", record(0, 2, {0x00, 0x80}) + one + end, ImageProblem::none, 0, "", 1, 0x801,
         0x801, false, 0x800},
        // Start addresses are skipped once their checksum holds.
        loads("image.hex", record(0, 3, {0, 0, 0, 0}) + record(0, 5, {0, 0, 0, 1}) + one + end, 1,
              1, 1),
        refused(one + ":0100000801FE\n" + end, 2, "checksum FE, but the record's bytes give F6"),
        refused(record(0, 7, {}) + end, 1, "record type 07 is not an Intel HEX record type"),
        refused(":0400000300000000FA\n" + one + end, 1,
                "checksum FA, but the record's bytes give F9"),
        refused(one + ":00000001FE\n", 2, "checksum FE, but the record's bytes give FF"),
        refused(one + ":00000001\n", 2, "record cut short"),
        refused(record(0, 4, {1}) + end, 1, "address record holds 2 data bytes"),
        // Records that overlap: harmless with the same bytes, ambiguous with others.
        loads("image.hex", one + one + end, 1, 1, 1),
        refused(one + data(0, {0x02}) + end, 2,
                "address 0000 is given 02, but an earlier record gave it 01"),
        // Malformed lines.
        refused("", 0, "no end record", ImageProblem::noEndRecord),
        refused(one, 0, "no end record", ImageProblem::noEndRecord),
        refused(one + "\n" + end, 2, "starts with \":\""),
        refused(one.substr(1) + end, 1, "starts with \":\""),
        refused(":1000\n" + end, 1, "no record header"),
        refused(":0100000012\n" + end, 1, "cut short"),
        refused(":01000000G1EF\n" + end, 1, "data byte 1 is not two hex digits"),
        refused(":0100000001FE text\n" + end, 1, "text after the checksum"),
        // A line holds 998 characters with its line end; a longer one is never read as two.
        loads("image.hex", padded(998) + end, 1, 1, 1),
        refused(padded(999) + end, 1, "line longer than 998"),
        // Written-out 0xFF are defined; gaps are not; neither counts in the loaded length.
        loads("image.hex", data(0, {0x01, 0xFF, 0xFF}) + end, 3, 1, 3),
        {"image.hex", data(0x10, {0xFF, 0xFF}) + end, ImageProblem::none, 0, "", 2, 0, 0x12, false,
         0x10, 0xFF},
        loads("image.hex", one + data(0x10, {0x02}) + end, 2, 0x11, 0x11),
        // Intel HEX by content whatever the name; raw binary by name or when forced.
        loads("image.ihx", one + end, 1, 1, 1),
        loads("IMAGE.IHEX", one + end, 1, 1, 1),
        loads("image.hx", one + end, 1, 1, 1),
        loads("image", one + end, 1, 1, 1),
        {"notes.txt", "hello", ImageProblem::unknownFormat, 0, "neither Intel HEX", 0, 0, 0},
        {"image.hex", "\x01\xFF", ImageProblem::none, 0, "", 2, 1, 2, false, 0, 0x01,
         ImageFormat::rawBinary},
        {"image.dat", one + end, ImageProblem::none, 0, "", 1, 1, 1, false, 0, 0x01,
         ImageFormat::intelHex},
        loads("IMAGE.BIN", "\x01\x02\xFF\xFF", 4, 2, 4),
        {"image.bin", "", ImageProblem::none, 0, "", 0, 0, 0, false, 0, 0xFF},
        // At the sector's end: a record ending exactly there, one a byte later, a raw file a
        // byte longer; a record crossing FFFF goes on past it, never back to 0000.
        {"boot.hex", data(0x1FF0, Bytes(16, 0x01)) + end, ImageProblem::none, 0, "", 16, 0x2000,
         0x2000, false, 0x1FFF, 0x01, ImageFormat::byContent, bootSize},
        {"boot.hex", data(0x1FF1, Bytes(16, 0x01)) + end, ImageProblem::none, 0, "", 15, 0x2000,
         0x2000, true, 0x1FFF, 0x01, ImageFormat::byContent, bootSize},
        {"boot.bin", std::string(0x2001, '\x01'), ImageProblem::none, 0, "", 0x2000, 0x2000, 0x2000,
         true, 0x1FFF, 0x01, ImageFormat::byContent, bootSize},
        {"linked.hex", data(0xFFFF, {0x01, 0x02}) + end, ImageProblem::none, 0, "", 1, 0x8000,
         0x8000, true, 0x7FFF, 0x01, ImageFormat::byContent, mainSize, 0x8000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + ": " + c.content.substr(0, 60));
        testing::TempDir folder;
        folder.write(c.name, c.content);
        SectorImage image;
        const ImageLoad load =
            loadImage(folder.file(c.name), c.format, c.sectorSize, c.base, image);
        EXPECT_EQ(load.problem, c.problem) << imageLoadReason(load);
        EXPECT_EQ(load.line, c.line);
        EXPECT_NE(imageLoadReason(load).find(c.reason), std::string::npos) << imageLoadReason(load);
        if (load.ok()) {
            EXPECT_EQ(image.definedCount(), c.definedCount);
            EXPECT_EQ(image.loadedLength(), c.loadedLength);
            EXPECT_EQ(image.definedEnd(), c.definedEnd);
            EXPECT_EQ(load.pastSector, c.pastSector);
            EXPECT_EQ(image.bytes.at(static_cast<std::size_t>(c.probe)), c.probeByte);
            EXPECT_EQ(image.bytes.size(), static_cast<std::size_t>(c.sectorSize));
        }
        if (c.format == ImageFormat::byContent && c.base == 0) {
            expectWindowLoad(folder, c, load);
        }
    }
}

TEST(ImageFile, OnlyRegularFilesAreRead) {
    testing::TempDir folder;
    std::filesystem::create_directory(folder.file("folder.bin"));
    // Only regular files are read: a pipe without a writer would block, a device never ends.
    ASSERT_EQ(::mkfifo(folder.file("pipe.hex").c_str(), 0666), 0);
    std::filesystem::create_symlink("/dev/zero", folder.file("zero.bin"));
    const std::pair<const char*, const char*> cases[] = {
        {"folder.bin", "not a regular file"},
        {"pipe.hex", "not a regular file"},
        {"zero.bin", "not a regular file"},
        {"missing.hex", "No such file or directory"},
    };
    for (const auto& [name, reason] : cases) {
        SCOPED_TRACE(name);
        SectorImage image;
        const ImageLoad load =
            loadImage(folder.file(name), ImageFormat::byContent, mainSize, 0, image);
        EXPECT_EQ(load.problem, ImageProblem::cannotOpen);
        EXPECT_EQ(imageLoadReason(load), reason);
        expectWindowLoad(folder, Case{name, "", ImageProblem::cannotOpen, 0, reason}, load);
    }
}

}  // namespace
}  // namespace loadstar
