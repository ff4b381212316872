#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "UserInterface.h"

namespace loadstar {

// Loads the image file that Program or Verify was given into `buffer`, the caller's sector
// buffer, whose offset 0 is the first byte of the sector. The format follows the file name's
// extension (fileExtension): ".bin" is raw binary, ".hex" Intel HEX; any other name loads nothing.
//
// - Raw binary: byte i of the file goes to offset i, at most sectorSize bytes; loadedLength is the
//   number of bytes read and the buffer past it is left as it was.
// - Intel HEX: offsets 0..sectorSize-1 are first set to 0xFF. Record addresses are offsets within
//   the sector (16 bits, wrapping from 0xFFFF to 0); only data (00) and end (01) records mean
//   anything, every other type is skipped unseen. A record that reaches past the sector shows a
//   warning and ends the load there, keeping what lies inside. loadedLength is one past the last
//   offset whose byte is not 0xFF.
//
// Every problem is shown to the user here: "Error opening file !" or "Invalid syntax in hex file"
// (caption "Data load error") with result 0, and "File contains no data" through showError when
// nothing but 0xFF was loaded (result 1, loadedLength 0). Result 1: the file was read and
// loadedLength says how many bytes from offset 0 are meaningful. After result 0 the buffer and
// loadedLength hold nothing a caller should use. Offsets at or past buffer.size() are never
// touched, whatever sectorSize says. The file is closed before this returns.
int loadImageFile(const std::string& fileName, std::span<std::uint8_t> buffer, int sectorSize,
                  int& loadedLength, UserInterface& ui);

}  // namespace loadstar
