#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "UserInterface.h"

namespace loadstar {

// What the loader says of a file that holds nothing but erased (0xFF) bytes.
inline constexpr char noDataText[] = "File contains no data";

// How Intel HEX record addresses are read, and what the file's were.
struct HexAddressing {
    int baseAddress = 0;                     // subtracted from every record address
    std::optional<int> lowestRecordAddress;  // filled in: the lowest data record's address
};

// Loads the image file that Program or Verify was given into `buffer`, the caller's sector
// buffer, whose offset 0 is the first byte of the sector. The format follows the file name's
// extension (fileExtension): ".bin" is raw binary, ".hex" Intel HEX; any other name loads nothing.
//
// - Raw binary: byte i of the file goes to offset i, at most sectorSize bytes; loadedLength is the
//   number of bytes read and the buffer past it is left as it was. A longer file loads its first
//   sectorSize bytes and shows a warning (caption "Warning") that the rest is ignored.
// - Intel HEX: offsets 0..sectorSize-1 are first set to 0xFF. Record addresses are offsets within
//   the sector, and a record's bytes follow its address without any 16-bit wrap; only data (00)
//   and end (01) records mean anything, every other type is skipped unseen. Bytes at or past the
//   sector's end are dropped with one warning (caption "Warning") and the records behind them
//   still load, so every byte lands at its own offset or nowhere. A line longer than 998
//   characters (its line end included), or one with anything but a line end behind a data
//   record's checksum, is a syntax error. loadedLength is one past the last offset whose byte is
//   not 0xFF.
//
// Every problem is shown to the user here, exactly one message each: "Error opening file !" or
// "Invalid syntax in hex file" (caption "Data load error") with result 0, a warning with result 1,
// or "File contains no data" through showError when nothing but 0xFF was loaded and there was no
// warning (result 1, loadedLength 0). Result 1: the file was read and loadedLength says how many
// bytes from offset 0 are meaningful. After result 0 the buffer and loadedLength hold nothing a
// caller should use. Offsets at or past buffer.size() are never touched, whatever sectorSize
// says. The file is closed before this returns.
//
// `addressing`, when given, subtracts a base address from every Intel HEX record address (for
// images linked at board addresses; data below the base lie outside the sector and get a warning
// like data past it) and reports the lowest data record's address as the file gives it. Without
// it, record addresses are offsets within the sector, as the window reads them.
int loadImageFile(const std::string& fileName, std::span<std::uint8_t> buffer, int sectorSize,
                  int& loadedLength, UserInterface& ui, HexAddressing* addressing = nullptr);

}  // namespace loadstar
