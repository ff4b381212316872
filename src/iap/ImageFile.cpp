#include "ImageFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "FileExtension.h"

namespace loadstar {

namespace {

constexpr char loadErrorCaption[] = "Data load error";
constexpr char openErrorText[] = "Error opening file !";
constexpr char syntaxErrorText[] = "Invalid syntax in hex file";
constexpr char noDataText[] = "File contains no data";
constexpr char pastSectorText[] =
    "Warning: hex file address exceeds selected sector size.\n"
    "Data past the last sector address will be ignored.";

// Lines are read into a buffer of this size, so at most 998 characters of a line come at a time
// and the rest of a longer line is read as a line of its own (which then fails as a record).
constexpr int lineBufferSize = 999;

constexpr int dataRecord = 0x00;
constexpr int endRecord = 0x01;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

enum class HexOutcome { loaded, pastSector, syntaxError, readError };

FileHandle openForReading(const std::string& fileName) {
    std::FILE* file = nullptr;
    do {
        file = std::fopen(fileName.c_str(), "rb");
    } while (file == nullptr && errno == EINTR);
    return FileHandle(file);
}

// Value of the hex digits text[0..digits-1], or -1 when any of them is not a hex digit.
int scanHexField(const char* text, int digits) {
    int value = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

// Reads `file` as Intel HEX into buffer[0..limit-1]; bytes whose offset lies at or past `limit`
// are dropped. `sectorSize` decides when a record reaches past the sector.
HexOutcome readHexRecords(std::FILE* file, std::uint8_t* buffer, int limit, int sectorSize) {
    char line[lineBufferSize];
    while (std::fgets(line, lineBufferSize, file) != nullptr) {
        const int length = static_cast<int>(std::strlen(line));
        if (length < 9 || line[0] != ':') {
            return HexOutcome::syntaxError;
        }
        const int count = scanHexField(line + 1, 2);
        const int address = scanHexField(line + 3, 4);
        const int type = scanHexField(line + 7, 2);
        if (count < 0 || address < 0 || type < 0) {
            return HexOutcome::syntaxError;
        }
        if (type == endRecord) {
            return HexOutcome::loaded;
        }
        if (type != dataRecord) {
            continue;  // address extensions and start addresses do not move the data
        }
        if (length < 9 + 2 * count + 2) {
            return HexOutcome::syntaxError;
        }
        unsigned sum = static_cast<unsigned>(count + (address >> 8) + (address & 0xFF) + type);
        auto offset = static_cast<std::uint16_t>(address);
        for (int i = 0; i < count; ++i) {
            const int value = scanHexField(line + 9 + 2 * i, 2);
            if (value < 0) {
                return HexOutcome::syntaxError;
            }
            sum += static_cast<unsigned>(value);
            if (offset < limit) {
                buffer[offset] = static_cast<std::uint8_t>(value);
            }
            ++offset;  // 16 bits wide: wraps from 0xFFFF to 0
        }
        const int checksum = scanHexField(line + 9 + 2 * count, 2);
        if (checksum < 0 || static_cast<unsigned>(checksum) != ((0x100 - (sum & 0xFF)) & 0xFF)) {
            return HexOutcome::syntaxError;
        }
        if (offset > sectorSize) {
            return HexOutcome::pastSector;
        }
    }
    // The end of the file without an end record is a syntax error too.
    return std::ferror(file) != 0 ? HexOutcome::readError : HexOutcome::syntaxError;
}

// One past the last offset below `limit` whose byte is not 0xFF; 0 when there is none.
int lastUsedOffset(const std::uint8_t* buffer, int limit) {
    int length = limit;
    while (length > 0 && buffer[length - 1] == 0xFF) {
        --length;
    }
    return length;
}

// Reads at most `limit` bytes from the start of `file`; the count read, or -1 on a read error.
int readRawBytes(std::FILE* file, std::uint8_t* buffer, int limit) {
    const std::size_t n = std::fread(buffer, 1, static_cast<std::size_t>(limit), file);
    if (n < static_cast<std::size_t>(limit) && std::ferror(file) != 0) {
        return -1;
    }
    return static_cast<int>(n);
}

}  // namespace

int loadImageFile(const std::string& fileName, std::span<std::uint8_t> buffer, int sectorSize,
                  int& loadedLength, UserInterface& ui) {
    FileHandle file = openForReading(fileName);
    if (!file) {
        ui.showMessage(openErrorText, loadErrorCaption, MessageIcon::none);
        return 0;
    }
    const int limit = std::clamp(sectorSize, 0, static_cast<int>(buffer.size()));
    const std::string extension = fileExtension(fileName);
    bool warned = false;
    loadedLength = 0;
    if (extension == ".bin") {
        const int n = readRawBytes(file.get(), buffer.data(), limit);
        file.reset();
        if (n < 0) {
            ui.showMessage(openErrorText, loadErrorCaption, MessageIcon::none);
            return 0;
        }
        loadedLength = n;
    } else if (extension == ".hex") {
        std::fill_n(buffer.data(), limit, std::uint8_t{0xFF});
        const HexOutcome outcome = readHexRecords(file.get(), buffer.data(), limit, sectorSize);
        file.reset();
        if (outcome == HexOutcome::readError) {
            ui.showMessage(openErrorText, loadErrorCaption, MessageIcon::none);
            return 0;
        }
        if (outcome == HexOutcome::syntaxError) {
            ui.showMessage(syntaxErrorText, loadErrorCaption, MessageIcon::none);
            return 0;
        }
        if (outcome == HexOutcome::pastSector) {
            ui.showMessage(pastSectorText, "Warning", MessageIcon::warning);
            warned = true;
        }
        loadedLength = lastUsedOffset(buffer.data(), limit);
    }
    if (loadedLength == 0 && !warned) {
        showError(ui, noDataText);
    }
    return 1;
}

}  // namespace loadstar
