#include "ImageFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "FileExtension.h"
#include "HexText.h"
#include "RegularFile.h"

namespace loadstar {

namespace {

constexpr char loadErrorCaption[] = "Data load error";
constexpr char openErrorText[] = "Error opening file !";
constexpr char syntaxErrorText[] = "Invalid syntax in hex file";
constexpr char pastSectorText[] =
    "Warning: hex file address exceeds selected sector size.\n"
    "Data past the last sector address will be ignored.";

// Only with a base address (HexAddressing): data below it lie before the sector's first byte.
constexpr char outsideSectorText[] =
    "Warning: hex file address lies outside the selected sector.\n"
    "Data outside the sector will be ignored.";

constexpr char binaryPastSectorText[] =
    "Warning: binary file size exceeds selected sector size.\n"
    "Data past the last sector address will be ignored.";

// Lines are read into a buffer of this size: a line, its line end included, holds at most 998
// characters. A longer one is a syntax error; it is never cut into two lines.
constexpr int lineBufferSize = 999;

constexpr int dataRecord = 0x00;
constexpr int endRecord = 0x01;

enum class HexOutcome { loaded, syntaxError, readError };

// Where the bytes of the records went that did not land in the sector.
struct StrayData {
    bool pastSector = false;
    bool beforeSector = false;
};
enum class LineOutcome { line, endOfFile, tooLong };

// One line of the file, its line end included.
struct HexLine {
    char text[lineBufferSize];
    int length = 0;
};

// Value of the hex digits text[0..digits-1], or -1 when any of them is not a hex digit.
int scanHexField(const char* text, int digits) {
    int value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = hexDigitValue(text[i]);
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

// Reads the next line into `line`: the characters up to and including the next LF, or up to the
// end of the file.
LineOutcome readLine(std::FILE* file, HexLine& line) {
    line.length = 0;
    for (int c = std::getc(file); c != EOF; c = std::getc(file)) {
        if (line.length == lineBufferSize - 1) {
            return LineOutcome::tooLong;
        }
        line.text[line.length++] = static_cast<char>(c);
        if (c == '\n') {
            return LineOutcome::line;
        }
    }
    return line.length > 0 ? LineOutcome::line : LineOutcome::endOfFile;
}

// True when text[from..length-1] holds nothing but line-end characters.
bool onlyLineEnd(const HexLine& line, int from) {
    for (int i = from; i < line.length; ++i) {
        if (line.text[i] != '\r' && line.text[i] != '\n') {
            return false;
        }
    }
    return true;
}

// Stores the data bytes of the record in `line` (count bytes from `offset`, counted without any
// 16-bit wrap) into buffer[0..limit-1] and checks the checksum against the record's `address`.
// Bytes at or past `sectorSize`, or below offset 0, are noted in `stray`; bytes outside
// 0..limit-1 are dropped.
bool storeDataRecord(const HexLine& line, int count, int address, int offset, std::uint8_t* buffer,
                     int limit, int sectorSize, StrayData& stray) {
    if (line.length < 9 + 2 * count + 2) {
        return false;
    }
    unsigned sum = static_cast<unsigned>(count + (address >> 8) + (address & 0xFF) + dataRecord);
    for (int i = 0; i < count; ++i) {
        const int value = scanHexField(line.text + 9 + 2 * i, 2);
        if (value < 0) {
            return false;
        }
        sum += static_cast<unsigned>(value);
        const int at = offset + i;
        if (at >= 0 && at < limit) {
            buffer[at] = static_cast<std::uint8_t>(value);
        }
        stray.pastSector = stray.pastSector || at >= sectorSize;
        stray.beforeSector = stray.beforeSector || at < 0;
    }
    const int checksum = scanHexField(line.text + 9 + 2 * count, 2);
    return checksum == static_cast<int>((0x100 - (sum & 0xFF)) & 0xFF) &&
           onlyLineEnd(line, 9 + 2 * count + 2);
}

// Reads `file` as Intel HEX into buffer[0..limit-1], each record at its address less the base.
// A record's bytes outside the sector are noted in `stray` and dropped; the records behind it
// still load.
HexOutcome readHexRecords(std::FILE* file, std::uint8_t* buffer, int limit, int sectorSize,
                          HexAddressing& addressing, StrayData& stray) {
    HexLine line;
    for (;;) {
        const LineOutcome read = readLine(file, line);
        if (read == LineOutcome::endOfFile) {
            // The end of the file without an end record is a syntax error too.
            return std::ferror(file) != 0 ? HexOutcome::readError : HexOutcome::syntaxError;
        }
        if (read == LineOutcome::tooLong || line.length < 9 || line.text[0] != ':') {
            return HexOutcome::syntaxError;
        }
        const int count = scanHexField(line.text + 1, 2);
        const int address = scanHexField(line.text + 3, 4);
        const int type = scanHexField(line.text + 7, 2);
        if (count < 0 || address < 0 || type < 0) {
            return HexOutcome::syntaxError;
        }
        if (type == endRecord) {
            return HexOutcome::loaded;
        }
        // Address extensions and start addresses are skipped: they do not move the data.
        if (type != dataRecord) {
            continue;
        }
        if (count > 0) {
            addressing.lowestRecordAddress =
                std::min(address, addressing.lowestRecordAddress.value_or(address));
        }
        if (!storeDataRecord(line, count, address, address - addressing.baseAddress, buffer, limit,
                             sectorSize, stray)) {
            return HexOutcome::syntaxError;
        }
    }
}

// One past the last offset below `limit` whose byte is not 0xFF; 0 when there is none.
int lastUsedOffset(const std::uint8_t* buffer, int limit) {
    int length = limit;
    while (length > 0 && buffer[length - 1] == 0xFF) {
        --length;
    }
    return length;
}

// Reads at most `limit` bytes from the start of `file` into `buffer`: the count read, or -1 on a
// read error. `more` tells whether the file holds further bytes.
int readRawBytes(std::FILE* file, std::uint8_t* buffer, int limit, bool& more) {
    const std::size_t n = std::fread(buffer, 1, static_cast<std::size_t>(limit), file);
    more = n == static_cast<std::size_t>(limit) && std::getc(file) != EOF;
    if (std::ferror(file) != 0) {
        return -1;
    }
    return static_cast<int>(n);
}

// What a load ends with: the result, and the one message shown for it (none for a good load).
struct LoadOutcome {
    int result = 1;
    int loadedLength = 0;
    const char* message = nullptr;  // a load error or a warning
};

LoadOutcome loadRawImage(std::FILE* file, std::uint8_t* buffer, int limit, int sectorSize) {
    bool more = false;
    const int n = readRawBytes(file, buffer, limit, more);
    if (n < 0) {
        return {0, 0, openErrorText};
    }
    // Bytes past a buffer smaller than the sector are the caller's limit, not the file's fault.
    const bool pastSector = more && limit >= sectorSize;
    return {1, n, pastSector ? binaryPastSectorText : nullptr};
}

LoadOutcome loadHexImage(std::FILE* file, std::uint8_t* buffer, int limit, int sectorSize,
                         HexAddressing& addressing) {
    std::fill_n(buffer, limit, std::uint8_t{0xFF});
    StrayData stray;
    const HexOutcome outcome = readHexRecords(file, buffer, limit, sectorSize, addressing, stray);
    if (outcome == HexOutcome::readError) {
        return {0, 0, openErrorText};
    }
    if (outcome == HexOutcome::syntaxError) {
        return {0, 0, syntaxErrorText};
    }
    const char* warning = stray.beforeSector ? outsideSectorText
                          : stray.pastSector ? pastSectorText
                                             : nullptr;
    return {1, lastUsedOffset(buffer, limit), warning};
}

// Why `path` could not be opened, in words for the user.
std::string openFailureReason(const std::string& path, int error) {
    std::error_code statusError;
    const auto status = std::filesystem::status(path, statusError);
    if (!statusError && std::filesystem::exists(status) &&
        !std::filesystem::is_regular_file(status)) {
        return "not a regular file";
    }
    return std::strerror(error);
}

}  // namespace

int loadImageFile(const std::string& fileName, std::span<std::uint8_t> buffer, int sectorSize,
                  int& loadedLength, UserInterface& ui, HexAddressing* addressing) {
    FileHandle file = openRegularFileForReading(fileName);
    if (!file) {
        ui.noteFileProblem(fileName, openFailureReason(fileName, errno));
        ui.showMessage(openErrorText, loadErrorCaption, MessageIcon::none);
        return 0;
    }
    HexAddressing offsetsInSector;
    const int limit = std::clamp(sectorSize, 0, static_cast<int>(buffer.size()));
    const std::string extension = fileExtension(fileName);
    LoadOutcome outcome;
    if (extension == ".bin") {
        outcome = loadRawImage(file.get(), buffer.data(), limit, sectorSize);
    } else if (extension == ".hex") {
        outcome = loadHexImage(file.get(), buffer.data(), limit, sectorSize,
                               addressing != nullptr ? *addressing : offsetsInSector);
    }
    const int readError = errno;
    file.reset();
    loadedLength = outcome.loadedLength;
    if (outcome.result == 0) {
        if (outcome.message == openErrorText) {
            ui.noteFileProblem(fileName, std::strerror(readError));
        }
        ui.showMessage(outcome.message, loadErrorCaption, MessageIcon::none);
        return 0;
    }
    if (outcome.message != nullptr) {
        ui.showMessage(outcome.message, "Warning", MessageIcon::warning);
    } else if (loadedLength == 0) {
        showError(ui, noDataText);
    }
    return 1;
}

}  // namespace loadstar
