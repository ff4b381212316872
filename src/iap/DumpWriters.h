#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "iap/Outcome.h"

namespace loadstar {

// The three forms in which Upload saves a sector. Offsets written into the text dump and the
// Intel HEX file are offsets within the sector (0000 is its first byte), not board addresses.
// Every line ends in a single LF.
enum class DumpFormat { none, rawBinary, textDump, intelHex };

// ".bin", ".txt" or ".hex" by the file name's lower-cased extension (fileExtension); any other
// name is DumpFormat::none, which Upload refuses before it creates or empties anything.
DumpFormat dumpFormatForFileName(const std::string& fileName);

// Exactly the sector's bytes.
std::string rawBinaryDump(std::span<const std::uint8_t> sector);

// "\n Memory dump saved by Loadstar\n\n", then one 73-byte line per 16 bytes: a space, the offset
// in four upper-case hex digits, ": ", each byte as two upper-case digits and a space, one more
// space, and a column with one character per byte (0xFF as a space, 0x20..0x7E as itself, any
// other byte as "."). Only whole lines are written.
std::string textMemoryDump(std::span<const std::uint8_t> sector);

// One data record per 16 bytes, erased ones included (":10", the offset, "00", the data bytes and
// the checksum in lower-case digits), then the end record ":00000001FF". A shorter remainder, if
// any, gets a shorter last record.
std::string intelHexDump(std::span<const std::uint8_t> sector);

// The file content for `format`; empty for DumpFormat::none.
std::string formatDump(DumpFormat format, std::span<const std::uint8_t> sector);

// Saves `sector` in `format` as `path`. The bytes go to a temporary file that replaces the target
// only once complete, so a disk that fills up or fails loses no old file and is reported rather
// than passing for a saved sector. A failure is Step::saveFile with Fault::cannotCreate or
// Fault::cannotWrite, the path in `file.file` and what refused in `saveFault`;
// DumpFormat::none is Fault::unknownFormat and creates nothing.
Outcome saveDumpFile(const std::string& path, DumpFormat format,
                     std::span<const std::uint8_t> sector);

}  // namespace loadstar
