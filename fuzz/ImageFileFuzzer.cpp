// The image loader on any file. Whatever the file holds:
// - every byte the loader keeps is 0xFF or the byte that a data record gives for that offset,
//   the offset counted from the record's address without a 16-bit wrap; a raw file's bytes stand
//   at their own offsets;
// - the loaded length never exceeds the sector (nor the buffer), and nothing past it is touched;
// - a failure shows exactly one message, a success at most one: a warning, or "no data" when
//   nothing was loaded;
// - a file of well-formed records loads exactly: each offset holds the last byte a data record
//   before the end record gave it, or 0xFF, and the warning comes exactly when a record reached
//   past the sector (that Upload's files are such files, and load back, is the command-line
//   tool's backup and restore test's business).
// With a base address, record addresses less the base are the offsets, and data below offset 0
// get their own warning. The first input byte chooses the file's kind, the sector size, the
// buffer size and whether Intel HEX is read with the base 0x8000; well-formed records, checksums
// included, are what the records kind makes of the input.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "HexTextReference.h"
#include "ImageFile.h"
#include "RecordingUserInterface.h"

using namespace loadstar;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t fullBuffer = 100000;
constexpr std::size_t smallBuffer = 0x1000;
constexpr int sectorSizes[8] = {0x2000, 0x8000, 0x10, 0x100, 0, 0xFFFF, 0x10000, 0x12000};
const std::string outsideWarning =
    "Warning: hex file address lies outside the selected sector.\n"
    "Data outside the sector will be ignored.";
const std::string hexWarning =
    "Warning: hex file address exceeds selected sector size.\n"
    "Data past the last sector address will be ignored.";
const std::string binaryWarning =
    "Warning: binary file size exceeds selected sector size.\n"
    "Data past the last sector address will be ignored.";

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

// Every (offset, byte) that any data record line of `text` names, found leniently: a line (cut at
// LF) that begins with ":", a hex header of type 00, and then as many two-digit bytes as are there.
// The offsets are the addresses less `base`.
std::vector<std::pair<int, std::uint8_t>> recordBytes(const std::string& text, int base) {
    std::vector<std::pair<int, std::uint8_t>> found;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const int count = hexField(line, 1, 2);
        const int address = hexField(line, 3, 4);
        if (line.empty() || line[0] != ':' || count < 0 || address < 0 ||
            hexField(line, 7, 2) != 0) {
            continue;
        }
        for (int i = 0; i < count && hexField(line, 9 + 2 * i, 2) >= 0; ++i) {
            found.emplace_back(address - base + i,
                               static_cast<std::uint8_t>(hexField(line, 9 + 2 * i, 2)));
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// A buffer of exactly `size` bytes, all 0xA5. Kept from one input to the next: a fresh 100000
// bytes each time would cost more than the load.
std::span<std::uint8_t> freshBuffer(std::size_t size) {
    static Bytes full(fullBuffer);
    static Bytes small(smallBuffer);
    Bytes& buffer = size == fullBuffer ? full : small;
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0xA5});
    return buffer;
}

struct Load {
    int result = -9;
    int loadedLength = -9;
    std::span<std::uint8_t> buffer;
    testing::RecordingUserInterface ui;
    std::optional<int> lowestRecordAddress;
};

// Loads as the window does with base 0, as the command-line tool's --base does otherwise.
void load(Load& loaded, const std::string& path, int sectorSize, std::size_t bufferSize,
          int base = 0) {
    loaded.buffer = freshBuffer(bufferSize);
    HexAddressing addressing{base, std::nullopt};
    loaded.result = loadImageFile(path, loaded.buffer, sectorSize, loaded.loadedLength, loaded.ui,
                                  base != 0 ? &addressing : nullptr);
    loaded.lowestRecordAddress = addressing.lowestRecordAddress;
}

// What holds for every load: one message per failure, at most one per success, a length within
// the sector and the buffer. Returns the warning shown, or an empty text.
std::string checkOutcome(const Load& loaded, int limit) {
    const auto& messages = loaded.ui.messages;
    if (loaded.result == 0) {
        FUZZ_CHECK(messages.size() == 1 && messages[0].caption == "Data load error");
        return {};
    }
    FUZZ_CHECK(loaded.result == 1 && messages.size() <= 1);
    FUZZ_CHECK(loaded.loadedLength >= 0 && loaded.loadedLength <= limit);
    if (messages.empty()) {
        FUZZ_CHECK(loaded.loadedLength > 0);
        return {};
    }
    if (messages[0].caption == "Warning") {
        return messages[0].text;
    }
    FUZZ_CHECK(messages[0].text == "File contains no data" && loaded.loadedLength == 0);
    return {};
}

void checkHex(const std::string& content, int sectorSize, std::size_t bufferSize, int base) {
    Load loaded;
    load(loaded, writeFile("image.hex", content), sectorSize, bufferSize, base);
    const int limit = std::clamp(sectorSize, 0, static_cast<int>(bufferSize));
    const std::string warning = checkOutcome(loaded, limit);
    const auto records = recordBytes(content, base);
    for (std::size_t i = static_cast<std::size_t>(limit); i < bufferSize; ++i) {
        FUZZ_CHECK(loaded.buffer[i] == 0xA5);
    }
    if (loaded.result == 0) {
        return;
    }
    for (int offset = 0; offset < limit; ++offset) {
        const std::uint8_t byte = loaded.buffer[static_cast<std::size_t>(offset)];
        FUZZ_CHECK(byte == 0xFF ||
                   std::binary_search(records.begin(), records.end(), std::pair(offset, byte)));
        FUZZ_CHECK(offset < loaded.loadedLength || byte == 0xFF);
        FUZZ_CHECK(offset != loaded.loadedLength - 1 || byte != 0xFF);
    }
    if (warning == hexWarning) {
        FUZZ_CHECK(!records.empty() && records.back().first >= sectorSize);
    } else if (!warning.empty()) {
        FUZZ_CHECK(warning == outsideWarning && base != 0);
        FUZZ_CHECK(!records.empty() && records.front().first < 0);
    }
}

// Intel HEX made from `content` read as records (address high and low, count, kind, then the data
// bytes), with what loading it must give.
struct Records {
    std::string text;
    Bytes expected;  // offsets 0..limit-1
    bool pastSector = false;
    bool beforeSector = false;
    std::optional<int> lowestAddress;  // of the data records that hold bytes
};

Records renderRecords(const std::string& content, int sectorSize, int limit, int base) {
    Records records;
    records.expected.assign(static_cast<std::size_t>(limit), 0xFF);
    bool ended = false;
    std::size_t at = 0;
    const auto next = [&] { return static_cast<std::uint8_t>(content[at++]); };
    while (at + 4 <= content.size()) {
        const int high = next();
        const int address = high * 256 + next();
        const int wanted = next();
        const std::uint8_t kind = next();
        const int count = std::min(wanted, static_cast<int>(content.size() - at));
        // Mostly data; now and then an address extension, or an end with more records behind it.
        const int type = kind < 0xE0 ? 0x00 : kind < 0xF8 ? 0x04 : 0x01;
        const bool loads = type == 0x00 && !ended;
        if (loads && count > 0) {
            records.lowestAddress = std::min(address, records.lowestAddress.value_or(address));
        }
        char field[16];
        std::snprintf(field, sizeof field, ":%02X%04X%02X", count, address, type);
        unsigned sum = static_cast<unsigned>(count + (address >> 8) + (address & 0xFF) + type);
        std::string line = field;
        for (int i = 0; i < count; ++i) {
            const std::uint8_t byte = next();
            std::snprintf(field, sizeof field, (kind & 1) != 0 ? "%02x" : "%02X", byte);
            line += field;
            sum += byte;
            const int offset = address - base + i;
            if (loads && offset >= 0 && offset < limit) {
                records.expected[static_cast<std::size_t>(offset)] = byte;
            }
            records.pastSector |= loads && offset >= sectorSize;
            records.beforeSector |= loads && offset < 0;
        }
        std::snprintf(field, sizeof field, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
        records.text += line + field + ((kind & 2) != 0 ? "\r\n" : "\n");
        ended |= type == 0x01;
    }
    records.text += ":00000001FF\n";
    return records;
}

void checkRecords(const std::string& content, int sectorSize, std::size_t bufferSize, int base) {
    const int limit = std::clamp(sectorSize, 0, static_cast<int>(bufferSize));
    const Records records = renderRecords(content, sectorSize, limit, base);
    Load loaded;
    load(loaded, writeFile("IMAGE.HEX", records.text), sectorSize, bufferSize, base);
    const std::string warning = checkOutcome(loaded, limit);
    FUZZ_CHECK(loaded.result == 1);
    FUZZ_CHECK(std::equal(records.expected.begin(), records.expected.end(), loaded.buffer.begin()));
    FUZZ_CHECK(warning == (records.beforeSector ? outsideWarning
                           : records.pastSector ? hexWarning
                                                : ""));
    FUZZ_CHECK(base == 0 || loaded.lowestRecordAddress == records.lowestAddress);
}

void checkBinary(const std::string& content, int sectorSize, std::size_t bufferSize) {
    Load loaded;
    load(loaded, writeFile("image.bin", content), sectorSize, bufferSize);
    const int limit = std::clamp(sectorSize, 0, static_cast<int>(bufferSize));
    const std::string warning = checkOutcome(loaded, limit);
    FUZZ_CHECK(loaded.result == 1);
    const auto length = std::min(content.size(), static_cast<std::size_t>(limit));
    FUZZ_CHECK(loaded.loadedLength == static_cast<int>(length));
    FUZZ_CHECK(std::memcmp(content.data(), loaded.buffer.data(), length) == 0);
    FUZZ_CHECK(std::all_of(loaded.buffer.begin() + static_cast<long>(length), loaded.buffer.end(),
                           [](std::uint8_t byte) { return byte == 0xA5; }));
    const bool tooLong =
        content.size() > static_cast<std::size_t>(std::max(sectorSize, 0)) && limit >= sectorSize;
    FUZZ_CHECK(warning == (tooLong ? binaryWarning : ""));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const auto kind = static_cast<Kind>(std::min(data[0] & 3, 2));
    const int sectorSize = sectorSizes[(data[0] >> 2) & 7];
    const std::size_t bufferSize = (data[0] & 0x20) != 0 ? smallBuffer : fullBuffer;
    const int base = (data[0] & 0x80) != 0 ? 0x8000 : 0;
    const std::string content(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (kind) {
        case Kind::hex:
            checkHex(content, sectorSize, bufferSize, base);
            break;
        case Kind::records:
            checkRecords(content, sectorSize, bufferSize, base);
            break;
        case Kind::binary:
            checkBinary(content, sectorSize, bufferSize);
            break;
    }
    return 0;
}
