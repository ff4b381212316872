#include "iap/ImageFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "iap/FileExtension.h"
#include "iap/RegularFile.h"
#include "link/HexText.h"

namespace loadstar {

namespace {

// Lines are read into a buffer of this size: a line, its line end included, holds at most 998
// characters. A longer one is a bad record; it is never cut into two lines.
constexpr int lineBufferSize = 999;

constexpr int dataRecord = 0x00;
constexpr int endRecord = 0x01;
constexpr int segmentAddressRecord = 0x02;
constexpr int startSegmentRecord = 0x03;
constexpr int linearAddressRecord = 0x04;
constexpr int startLinearRecord = 0x05;

enum class LineOutcome { line, endOfFile, tooLong };

// One line of the file, its line end included.
struct HexLine {
    char text[lineBufferSize];
    int length = 0;
};

// One record as its line gives it, checksum tested.
struct HexRecord {
    int count = 0;
    int address = 0;
    int type = 0;
    std::array<std::uint8_t, 255> data{};
};

// Where the data records' bytes go: the extension in force and the sector they are read into.
struct HexPlacement {
    long long extension = 0;  // the full address of record address 0
    bool segmented = false;   // a segment extension: record addresses wrap at 64 KB
    long long baseAddress = 0;
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

// Reads the record on `line` into `record` and tests its checksum: what is wrong, if anything.
RecordDetail parseRecord(const HexLine& line, HexRecord& record) {
    if (line.length == 0 || line.text[0] != ':') {
        return {RecordFault::noColon};
    }
    record.count = line.length >= 9 ? scanHexField(line.text + 1, 2) : -1;
    record.address = line.length >= 9 ? scanHexField(line.text + 3, 4) : -1;
    record.type = line.length >= 9 ? scanHexField(line.text + 7, 2) : -1;
    if (record.count < 0 || record.address < 0 || record.type < 0) {
        return {RecordFault::noHeader};
    }
    const int checksumAt = 9 + 2 * record.count;
    if (line.length < checksumAt + 2) {
        return {RecordFault::cutShort, record.count};
    }
    unsigned sum = static_cast<unsigned>(record.count + (record.address >> 8) +
                                         (record.address & 0xFF) + record.type);
    for (int i = 0; i < record.count; ++i) {
        const int value = scanHexField(line.text + 9 + 2 * i, 2);
        if (value < 0) {
            return {RecordFault::badDataByte, i + 1};
        }
        record.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
        sum += static_cast<unsigned>(value);
    }
    const int checksum = scanHexField(line.text + checksumAt, 2);
    const int expected = static_cast<int>((0x100 - (sum & 0xFF)) & 0xFF);
    if (checksum < 0) {
        return {RecordFault::badChecksumDigits};
    }
    if (checksum != expected) {
        return {RecordFault::checksumMismatch, 0, checksum, expected};
    }
    // The rest of an end record's line is not read; later lines are checked for records.
    if (record.type != endRecord && !onlyLineEnd(line, checksumAt + 2)) {
        return {RecordFault::textAfterChecksum};
    }
    return {};
}

// Stores the bytes of a data record at their offsets; bytes outside the sector are noted in
// `load` and left out. A byte that an earlier record gave another value makes the file
// ambiguous: which one the board should hold is a guess, so that is a bad record (the same value
// twice is harmless). What is wrong with the record, if anything.
RecordDetail storeData(const HexRecord& record, const HexPlacement& placement, SectorImage& image,
                       ImageLoad& load) {
    const auto size = static_cast<long long>(image.bytes.size());
    for (int i = 0; i < record.count; ++i) {
        const long long within = placement.segmented ? (record.address + i) & 0xFFFF
                                                     : static_cast<long long>(record.address) + i;
        const long long full = placement.extension + within;
        load.lowestAddress = std::min(full, load.lowestAddress.value_or(full));
        load.highestAddress = std::max(full, load.highestAddress.value_or(full));
        const long long offset = full - placement.baseAddress;
        if (offset < 0) {
            load.beforeSector = true;
        } else if (offset >= size) {
            load.pastSector = true;
        } else {
            const auto at = static_cast<std::size_t>(offset);
            const std::uint8_t value = record.data[static_cast<std::size_t>(i)];
            if (image.defined[at] && image.bytes[at] != value) {
                return {RecordFault::conflictingByte, full, value, image.bytes[at]};
            }
            image.bytes[at] = value;
            image.defined[at] = true;
        }
    }
    return {};
}

// Acts on one checked record; false at the end record. `problem` says what is wrong, if anything.
bool applyRecord(const HexRecord& record, HexPlacement& placement, SectorImage& image,
                 ImageLoad& load, RecordDetail& problem) {
    const int extensionValue = record.count == 2 ? record.data[0] * 256 + record.data[1] : -1;
    switch (record.type) {
        case dataRecord:
            problem = storeData(record, placement, image, load);
            return true;
        case endRecord:
            return false;
        case segmentAddressRecord:
        case linearAddressRecord:
            if (extensionValue < 0) {
                problem = {RecordFault::addressRecordLength, record.count};
                return true;
            }
            placement.segmented = record.type == segmentAddressRecord;
            placement.extension = placement.segmented
                                      ? static_cast<long long>(extensionValue) << 4
                                      : static_cast<long long>(extensionValue) << 16;
            return true;
        case startSegmentRecord:
        case startLinearRecord:
            return true;  // where a program starts means nothing to a flash sector
        default:
            problem = {RecordFault::unknownType, record.type};
            return true;
    }
}

// Past the end record only text may follow (blank lines, an end-of-file character): a record
// there is data the file was meant to hold, as when two HEX files were joined end to end, and
// loading without it would program less than the file says. The line is the record's own.
void rejectRecordsAfterTheEnd(std::FILE* file, ImageLoad& load) {
    const long endLine = load.line;
    long lineNumber = endLine + 1;
    bool textSeen = false;  // on this line, white space aside
    for (int c = std::getc(file); c != EOF; c = std::getc(file)) {
        if (c == '\n') {
            ++lineNumber;
            textSeen = false;
        } else if (!textSeen && std::isspace(c) == 0) {
            textSeen = true;
            if (c == ':') {
                load.problem = ImageProblem::badRecord;
                load.line = lineNumber;
                load.record = {RecordFault::recordAfterEnd, endLine};
                return;
            }
        }
    }
    load.line = 0;
}

void readHexRecords(std::FILE* file, long long baseAddress, SectorImage& image, ImageLoad& load) {
    HexLine line;
    HexRecord record;
    HexPlacement placement{0, false, baseAddress};
    for (;;) {
        const LineOutcome read = readLine(file, line);
        if (read == LineOutcome::endOfFile) {
            load.problem =
                std::ferror(file) != 0 ? ImageProblem::cannotRead : ImageProblem::noEndRecord;
            load.systemError = std::ferror(file) != 0 ? std::strerror(errno) : "";
            load.line = 0;
            return;
        }
        ++load.line;
        RecordDetail problem = read == LineOutcome::tooLong
                                   ? RecordDetail{RecordFault::lineTooLong, lineBufferSize - 1}
                                   : parseRecord(line, record);
        const bool more = !problem.bad() && applyRecord(record, placement, image, load, problem);
        if (problem.bad()) {
            load.problem = ImageProblem::badRecord;
            load.record = problem;
            return;
        }
        if (!more) {
            rejectRecordsAfterTheEnd(file, load);
            return;
        }
    }
}

void readRawBytes(std::FILE* file, SectorImage& image, ImageLoad& load) {
    const std::size_t n = std::fread(image.bytes.data(), 1, image.bytes.size(), file);
    load.pastSector = n == image.bytes.size() && std::getc(file) != EOF;
    if (std::ferror(file) != 0) {
        load.problem = ImageProblem::cannotRead;
        load.systemError = std::strerror(errno);
        return;
    }
    load.rawSize = static_cast<long>(n);
    std::fill_n(image.defined.begin(), n, true);
}

// The format `requested` means for `file`: raw binary, Intel HEX or none.
ImageFormat formatOf(std::FILE* file, const std::string& fileName, ImageFormat requested) {
    if (requested == ImageFormat::intelHex || requested == ImageFormat::rawBinary) {
        return requested;
    }
    const std::string extension = fileExtension(fileName);
    if (extension == ".bin") {
        return ImageFormat::rawBinary;
    }
    // .ihx is what SDCC and several other compilers call their Intel HEX.
    const bool hexName = extension == ".hex" || extension == ".ihx";
    if (hexName || requested == ImageFormat::byExtension) {
        return hexName ? ImageFormat::intelHex : ImageFormat::none;
    }
    const int first = std::getc(file);
    if (first != EOF) {
        std::ungetc(first, file);
    }
    return first == ':' ? ImageFormat::intelHex : ImageFormat::none;
}

// True when `path` names a folder, a device or a pipe: why it was not opened as a file.
bool isSomethingElseThanAFile(const std::string& path) {
    std::error_code statusError;
    const auto status = std::filesystem::status(path, statusError);
    return !statusError && std::filesystem::exists(status) &&
           !std::filesystem::is_regular_file(status);
}

}  // namespace

int SectorImage::loadedLength() const {
    int length = static_cast<int>(bytes.size());
    while (length > 0 && bytes[static_cast<std::size_t>(length) - 1] == 0xFF) {
        --length;
    }
    return length;
}

int SectorImage::definedEnd() const {
    int end = static_cast<int>(defined.size());
    while (end > 0 && !defined[static_cast<std::size_t>(end) - 1]) {
        --end;
    }
    return end;
}

long SectorImage::definedCount() const {
    return static_cast<long>(std::count(defined.begin(), defined.end(), true));
}

ImageLoad readImage(std::FILE* file, const std::string& fileName, ImageFormat format,
                    int sectorSize, long long baseAddress, SectorImage& image) {
    const auto size = static_cast<std::size_t>(std::max(sectorSize, 0));
    image.bytes.assign(size, 0xFF);
    image.defined.assign(size, false);
    ImageLoad load;
    load.file = fileName;
    load.format = formatOf(file, fileName, format);
    if (load.format == ImageFormat::rawBinary) {
        readRawBytes(file, image, load);
    } else if (load.format == ImageFormat::intelHex) {
        readHexRecords(file, baseAddress, image, load);
    } else if (format == ImageFormat::byContent) {
        load.problem = ImageProblem::unknownFormat;
    }
    return load;
}

ImageLoad loadImage(const std::string& fileName, ImageFormat format, int sectorSize,
                    long long baseAddress, SectorImage& image) {
    const FileHandle file = openRegularFileForReading(fileName);
    if (!file) {
        ImageLoad load;
        load.file = fileName;
        load.problem = ImageProblem::cannotOpen;
        load.systemError = std::strerror(errno);
        load.notRegularFile = isSomethingElseThanAFile(fileName);
        return load;
    }
    return readImage(file.get(), fileName, format, sectorSize, baseAddress, image);
}

}  // namespace loadstar
