// The image loader on any file, against a plain reference reading of Intel HEX. Whatever the
// file holds:
// - the loader accepts it exactly when the reference does: every record, whatever its type, has
//   its checksum, only types 00-05 occur, address records hold two bytes, nothing but a line end
//   follows a checksum (the end record aside), no line holds more than 998 characters with its
//   line end, and an end record comes, after which no line holds a record;
// - an accepted file gives exactly the reference's bytes and defined offsets: each byte at its
//   full address (linear extensions add without a 16-bit wrap, segment extensions wrap within
//   their 64 KB) less the base, a byte that two records give different values refused, bytes
//   outside the sector left out and reported as such;
// - the window's loader (no base, by extension) fails at the file exactly for a bad file, says
//   that bytes were left out exactly when some lay past the sector, fails as "no data" exactly
//   when nothing but 0xFF was loaded, and keeps its length within the sector;
// - read by content, a file is Intel HEX exactly when it starts with ":";
// - a raw file's bytes stand at their own offsets, each one defined, up to the sector's size.
// The first input byte chooses the file's kind, the sector size, (a bit no longer used), whether
// Intel HEX is read with the base 0x8000, and whether the core loader reads it by content; the
// records kind turns the rest into well-formed records of every type, address extensions among
// them.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "HexTextReference.h"
#include "iap/ImageFile.h"
#include "iap/SectorOperations.h"
#include "words/ImageLoadWords.h"

using namespace loadstar;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int sectorSizes[8] = {0x2000, 0x8000, 0x10, 0x100, 0, 0xFFFF, 0x10000, 0x12000};

enum class Kind { hex, binary, records };

// A folder of this process for the one file each input is written to.
const std::string& workFolder() {
    // Never destroyed, so that it outlives the removal at exit.
    static const std::string* folder = [] {
        auto* name = new std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        *name += "/loadstar-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(name->data()) != nullptr);
        std::atexit([] { std::filesystem::remove_all(*folder); });
        return name;
    }();
    return *folder;
}

std::string writeFile(const std::string& name, const std::string& content) {
    const std::string path = workFolder() + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(content.data(), 1, content.size(), file) == content.size());
    std::fclose(file);
    return path;
}

// The value of `digits` hex digits of `line` from `at`, -1 when they are not all there.
int hexField(const std::string& line, std::size_t at, std::size_t digits) {
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        const int digit = i < line.size() ? fuzz::referenceDigit(line[i]) : -1;
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

// What the reference makes of a text: whether it is good Intel HEX, and the sector it gives.
struct Reference {
    bool good = false;
    Bytes bytes;
    std::vector<bool> defined;
    bool pastSector = false;
    bool beforeSector = false;
};

// Reads one record line (its line end included); false when it is not a good record.
bool referenceRecord(const std::string& line, long long& extension, bool& segmented, long long base,
                     Reference& reference, bool& ended) {
    const std::string body = line.substr(0, line.find_first_of("\r\n"));
    const int count = hexField(body, 1, 2);
    const int address = hexField(body, 3, 4);
    const int type = hexField(body, 7, 2);
    if (line.size() > 998 || body.empty() || body[0] != ':' || count < 0 || address < 0 ||
        type < 0 || type > 5) {
        return false;
    }
    int sum = count + address / 256 + address % 256 + type;
    Bytes data;
    for (int i = 0; i <= count; ++i) {  // the data, then the checksum
        const int value = hexField(body, 9 + 2 * static_cast<std::size_t>(i), 2);
        if (value < 0) {
            return false;
        }
        data.push_back(static_cast<std::uint8_t>(value));
        sum += value;
    }
    const std::size_t tail = 9 + 2 * static_cast<std::size_t>(count) + 2;
    if (sum % 256 != 0 ||
        (type != 1 && line.find_first_not_of("\r\n", tail) != std::string::npos)) {
        return false;
    }
    ended = type == 1;
    if (type == 2 || type == 4) {
        if (count != 2) {
            return false;
        }
        segmented = type == 2;
        extension = static_cast<long long>(data[0] * 256 + data[1]) << (segmented ? 4 : 16);
    }
    for (int i = 0; type == 0 && i < count; ++i) {
        const long long full =
            extension + (segmented ? (address + i) % 0x10000 : static_cast<long long>(address) + i);
        const long long offset = full - base;
        if (offset < 0 || offset >= static_cast<long long>(reference.bytes.size())) {
            (offset < 0 ? reference.beforeSector : reference.pastSector) = true;
            continue;
        }
        const auto at = static_cast<std::size_t>(offset);
        if (reference.defined[at] && reference.bytes[at] != data[static_cast<std::size_t>(i)]) {
            return false;  // two records give one byte different values
        }
        reference.bytes[at] = data[static_cast<std::size_t>(i)];
        reference.defined[at] = true;
    }
    return true;
}

Reference referenceHex(const std::string& text, int sectorSize, long long base) {
    Reference reference;
    reference.bytes.assign(static_cast<std::size_t>(std::max(sectorSize, 0)), 0xFF);
    reference.defined.assign(reference.bytes.size(), false);
    long long extension = 0;
    bool segmented = false;
    bool ended = false;
    std::size_t start = 0;
    while (start < text.size() && !ended) {
        const std::size_t end = std::min(text.find('\n', start), text.size() - 1);
        if (!referenceRecord(text.substr(start, end + 1 - start), extension, segmented, base,
                             reference, ended)) {
            return reference;
        }
        start = end + 1;
    }
    // After the end record: text may follow, a record (a line whose first character that is not
    // white space is ":") may not.
    while (ended && start < text.size()) {
        const std::size_t lineEnd = std::min(text.find('\n', start), text.size());
        const std::size_t first = text.find_first_not_of(" \t\r\v\f", start);
        if (first < lineEnd && text[first] == ':') {
            return reference;
        }
        start = lineEnd + 1;
    }
    reference.good = ended;
    return reference;
}

struct WindowLoad {
    Outcome outcome;
    Bytes bytes;
};

WindowLoad loadAsWindow(const std::string& path, int sectorSize) {
    WindowLoad loaded;
    loaded.bytes.assign(3, 0xA5);  // never kept after a failure
    loaded.outcome = loadWindowImage(path, sectorSize, false, loaded.bytes);
    return loaded;
}

// What holds for every window load: a failure at the file with its problem and no bytes, or
// bytes within the sector, none of them meaningless. True when the file was used.
bool checkWindowOutcome(const WindowLoad& loaded, int sectorSize) {
    const Outcome& outcome = loaded.outcome;
    if (outcome.failed()) {
        FUZZ_CHECK(outcome.step == Step::loadFile && loaded.bytes.empty());
        FUZZ_CHECK(outcome.failure.fault ==
                   (outcome.file.ok() ? Fault::noData : Fault::fileProblem));
        return outcome.file.ok();
    }
    FUZZ_CHECK(!loaded.bytes.empty());
    FUZZ_CHECK(loaded.bytes.size() <= static_cast<std::size_t>(std::max(sectorSize, 0)));
    return true;
}

// The window on `text` named .hex: accepted as the reference says, with its bytes.
void checkWindowHex(const std::string& path, const std::string& text, int sectorSize) {
    const int limit = std::max(sectorSize, 0);
    const Reference reference = referenceHex(text, sectorSize, 0);
    const WindowLoad loaded = loadAsWindow(path, sectorSize);
    const bool used = checkWindowOutcome(loaded, sectorSize);
    FUZZ_CHECK(used == reference.good);
    if (!used) {
        FUZZ_CHECK(loaded.outcome.file.problem == ImageProblem::badRecord ||
                   loaded.outcome.file.problem == ImageProblem::noEndRecord);
        return;
    }
    int length = limit;
    while (length > 0 && reference.bytes[static_cast<std::size_t>(length) - 1] == 0xFF) {
        --length;
    }
    FUZZ_CHECK(loaded.bytes.size() == static_cast<std::size_t>(length));
    FUZZ_CHECK(std::equal(loaded.bytes.begin(), loaded.bytes.end(), reference.bytes.begin()));
    FUZZ_CHECK(loaded.outcome.file.pastSector == reference.pastSector);
}

// The core loader on `text`: as the reference says, with its bytes and defined offsets.
void checkCoreHex(const std::string& path, const std::string& text, int sectorSize, long long base,
                  bool byContent) {
    const Reference reference = referenceHex(text, sectorSize, base);
    SectorImage image;
    const ImageLoad load = loadImage(
        path, byContent ? ImageFormat::byContent : ImageFormat::intelHex, sectorSize, base, image);
    if (byContent && (text.empty() || text[0] != ':')) {
        FUZZ_CHECK(load.problem == ImageProblem::unknownFormat);
        return;
    }
    FUZZ_CHECK(load.format == ImageFormat::intelHex);
    FUZZ_CHECK(load.ok() == reference.good);
    FUZZ_CHECK(load.ok() || !imageLoadReason(load).empty());
    FUZZ_CHECK(load.problem != ImageProblem::badRecord || load.line > 0);
    if (!load.ok()) {
        return;
    }
    FUZZ_CHECK(image.bytes == reference.bytes && image.defined == reference.defined);
    FUZZ_CHECK(load.pastSector == reference.pastSector);
    FUZZ_CHECK(load.beforeSector == reference.beforeSector);
    const long defined = image.definedCount();
    FUZZ_CHECK(defined == static_cast<long>(std::count(reference.defined.begin(),
                                                       reference.defined.end(), true)));
    FUZZ_CHECK(image.definedEnd() >= image.loadedLength());
    FUZZ_CHECK((defined == 0) == (image.definedEnd() == 0));
    FUZZ_CHECK(defined == 0 || image.defined[static_cast<std::size_t>(image.definedEnd()) - 1]);
}

// Intel HEX made from `content` read as records (address high and low, count, kind, then the data
// bytes): mostly data, now and then an address extension of either kind, a start address, or an
// end with more records behind it.
std::string renderRecords(const std::string& content) {
    std::string text;
    std::size_t at = 0;
    const auto next = [&] { return static_cast<std::uint8_t>(content[at++]); };
    while (at + 4 <= content.size()) {
        const int high = next();
        const int address = high * 256 + next();
        const int wanted = next();
        const std::uint8_t kind = next();
        const int type = kind < 0xD0   ? 0x00
                         : kind < 0xE0 ? 0x04
                         : kind < 0xE8 ? 0x02
                         : kind < 0xF0 ? 0x03 + 2 * (kind & 1)
                         : kind < 0xF8 ? 0x04
                                       : 0x01;
        const int count =
            type == 2 || type == 4 ? 2 : std::min(wanted, static_cast<int>(content.size() - at));
        char field[16];
        std::snprintf(field, sizeof field, ":%02X%04X%02X", count, address, type);
        unsigned sum = static_cast<unsigned>(count + (address >> 8) + (address & 0xFF) + type);
        std::string line = field;
        for (int i = 0; i < count; ++i) {
            // An extension's value comes small, so that its data still land in some sector.
            const auto byte =
                static_cast<std::uint8_t>(type == 2 || type == 4 ? (i == 0 ? 0 : wanted & 3)
                                          : at < content.size()  ? next()
                                                                 : 0);
            std::snprintf(field, sizeof field, (kind & 1) != 0 ? "%02x" : "%02X", byte);
            line += field;
            sum += byte;
        }
        std::snprintf(field, sizeof field, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
        text += line + field + ((kind & 2) != 0 ? "\r\n" : "\n");
    }
    return text + ":00000001FF\n";
}

void checkBinary(const std::string& content, int sectorSize) {
    const std::string path = writeFile("image.bin", content);
    const WindowLoad loaded = loadAsWindow(path, sectorSize);
    FUZZ_CHECK(checkWindowOutcome(loaded, sectorSize));
    const auto length = std::min(content.size(), static_cast<std::size_t>(std::max(sectorSize, 0)));
    // A raw file's length counts, its trailing 0xFF included.
    FUZZ_CHECK(loaded.bytes.size() == length);
    FUZZ_CHECK(loaded.outcome.failed() == (length == 0));
    FUZZ_CHECK(std::memcmp(content.data(), loaded.bytes.data(), length) == 0);
    FUZZ_CHECK(loaded.outcome.file.pastSector == (content.size() > length));

    SectorImage image;
    const ImageLoad load = loadImage(path, ImageFormat::byContent, sectorSize, 0, image);
    const auto inSector =
        std::min(content.size(), static_cast<std::size_t>(std::max(sectorSize, 0)));
    FUZZ_CHECK(load.ok() && load.format == ImageFormat::rawBinary);
    FUZZ_CHECK(load.rawSize == static_cast<long>(inSector));
    FUZZ_CHECK(load.pastSector == (content.size() > inSector));
    FUZZ_CHECK(image.definedCount() == static_cast<long>(inSector));
    FUZZ_CHECK(image.definedEnd() == static_cast<int>(inSector));
    FUZZ_CHECK(std::equal(
        image.bytes.begin(), image.bytes.begin() + static_cast<long>(inSector), content.begin(),
        [](std::uint8_t byte, char given) { return byte == static_cast<std::uint8_t>(given); }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const auto kind = static_cast<Kind>(std::min(data[0] & 3, 2));
    const int sectorSize = sectorSizes[(data[0] >> 2) & 7];
    const bool byContent = (data[0] & 0x40) != 0;
    const long long base = (data[0] & 0x80) != 0 ? 0x8000 : 0;
    const std::string content(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (kind == Kind::binary) {
        checkBinary(content, sectorSize);
        return 0;
    }
    const std::string text = kind == Kind::records ? renderRecords(content) : content;
    checkWindowHex(writeFile("IMAGE.HEX", text), text, sectorSize);
    checkCoreHex(writeFile("image", text), text, sectorSize, base, byContent);
    return 0;
}
