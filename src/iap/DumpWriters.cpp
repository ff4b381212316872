#include "iap/DumpWriters.h"

#include <algorithm>

#include "iap/AtomicFile.h"
#include "iap/FileExtension.h"

namespace loadstar {

namespace {

constexpr int bytesPerLine = 16;
constexpr char upperDigits[] = "0123456789ABCDEF";
constexpr char lowerDigits[] = "0123456789abcdef";

void appendHex(std::string& text, unsigned value, int digits, const char* alphabet) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
        text.push_back(alphabet[(value >> shift) & 0xF]);
    }
}

char dumpCharacter(std::uint8_t byte) {
    if (byte == 0xFF) {
        return ' ';
    }
    if (byte >= 0x20 && byte <= 0x7E) {
        return static_cast<char>(byte);
    }
    return '.';
}

}  // namespace

DumpFormat dumpFormatForFileName(const std::string& fileName) {
    const std::string extension = fileExtension(fileName);
    if (extension == ".bin") {
        return DumpFormat::rawBinary;
    }
    if (extension == ".txt") {
        return DumpFormat::textDump;
    }
    if (extension == ".hex") {
        return DumpFormat::intelHex;
    }
    return DumpFormat::none;
}

std::string rawBinaryDump(std::span<const std::uint8_t> sector) {
    return std::string(sector.begin(), sector.end());
}

std::string textMemoryDump(std::span<const std::uint8_t> sector) {
    std::string text = "\n Memory dump saved by Loadstar\n\n";
    const std::size_t lines = sector.size() / bytesPerLine;
    text.reserve(text.size() + lines * 73);
    for (std::size_t line = 0; line < lines; ++line) {
        const auto bytes = sector.subspan(line * bytesPerLine, bytesPerLine);
        text.push_back(' ');
        appendHex(text, static_cast<unsigned>(line * bytesPerLine), 4, upperDigits);
        text += ": ";
        for (const std::uint8_t byte : bytes) {
            appendHex(text, byte, 2, upperDigits);
            text.push_back(' ');
        }
        text.push_back(' ');
        for (const std::uint8_t byte : bytes) {
            text.push_back(dumpCharacter(byte));
        }
        text.push_back('\n');
    }
    return text;
}

std::string intelHexDump(std::span<const std::uint8_t> sector) {
    std::string text;
    text.reserve((sector.size() / bytesPerLine + 1) * 44);
    for (std::size_t offset = 0; offset < sector.size(); offset += bytesPerLine) {
        const auto bytes =
            sector.subspan(offset, std::min<std::size_t>(bytesPerLine, sector.size() - offset));
        unsigned sum = static_cast<unsigned>(bytes.size() + (offset >> 8) + (offset & 0xFF));
        text.push_back(':');
        appendHex(text, static_cast<unsigned>(bytes.size()), 2, upperDigits);
        appendHex(text, static_cast<unsigned>(offset), 4, upperDigits);
        text += "00";
        for (const std::uint8_t byte : bytes) {
            appendHex(text, byte, 2, lowerDigits);
            sum += byte;
        }
        appendHex(text, (0x100 - (sum & 0xFF)) & 0xFF, 2, lowerDigits);
        text.push_back('\n');
    }
    text += ":00000001FF\n";
    return text;
}

std::string formatDump(DumpFormat format, std::span<const std::uint8_t> sector) {
    switch (format) {
        case DumpFormat::rawBinary:
            return rawBinaryDump(sector);
        case DumpFormat::textDump:
            return textMemoryDump(sector);
        case DumpFormat::intelHex:
            return intelHexDump(sector);
        case DumpFormat::none:
            break;
    }
    return {};
}

Outcome saveDumpFile(const std::string& path, DumpFormat format,
                     std::span<const std::uint8_t> sector) {
    Outcome outcome;
    const auto fail = [&](Fault fault, FileFault refused) {
        outcome.step = Step::saveFile;
        outcome.failure = {Command::none, fault};
        outcome.file.file = path;
        outcome.saveFault = std::move(refused);
        return outcome;
    };
    if (format == DumpFormat::none) {
        return fail(Fault::unknownFormat, {});
    }
    AtomicFile file(path);
    if (!file.create()) {
        return fail(Fault::cannotCreate, file.fault());
    }
    if (!file.write(formatDump(format, sector)) || !file.commit()) {
        return fail(Fault::cannotWrite, file.fault());
    }
    outcome.bytes = static_cast<long>(sector.size());
    return outcome;
}

}  // namespace loadstar
