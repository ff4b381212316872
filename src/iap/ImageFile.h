#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace loadstar {

// Image files for Program and Verify: Intel HEX and raw binary, read into one sector.
//
// Principles of operation. The loader reads a file into a SectorImage and returns an ImageLoad
// that says what it found: nothing wrong, or what is wrong and where (file, line, reason), and
// what it had to leave out. It never shows or prints anything; the window renders the outcome into
// its boxes, the command-line tool into its own messages.
//
// Intel HEX: record types 00 (data), 01 (end), 02 (extended segment address), 03 (start segment
// address), 04 (extended linear address) and 05 (start linear address). Every record's checksum
// is tested, whatever its type; 03 and 05 are skipped after the test, and any other type is a
// bad record. A data byte's full address is the record's address plus its index, plus the last
// linear extension (no 16-bit wrap), or within the 64 KB segment of the last segment extension
// (16-bit wrap, as the format has it). The full address less the base address is the byte's
// offset in the sector. Bytes whose offset lies outside 0..sectorSize-1 are left out (pastSector,
// beforeSector) and the records behind them still load. An extension of 0 changes nothing, so
// files that use no extension load as files from objcopy and srec_cat always did. A line holds at
// most 998 characters, its line end included; a longer one is a bad record, never cut in two.
// The file must end with an end record; what follows it is not read.
//
// Raw binary: byte i of the file is the byte at offset i, at most sectorSize bytes.

// What a file is read as.
enum class ImageFormat {
    byExtension,  // ".bin" raw, ".hex" or ".ihx" Intel HEX, any other name: nothing (the window's)
    byContent,    // as byExtension, else Intel HEX when the file starts with ":"
    intelHex,
    rawBinary,
    none,  // what a byExtension load of another name was read as: nothing
};

// What is wrong with a file, if anything.
enum class ImageProblem {
    none,
    cannotOpen,     // systemError, or notRegularFile
    cannotRead,     // systemError
    badRecord,      // line and record: what is wrong with the record on that line
    noEndRecord,    // the file ends without an end record
    unknownFormat,  // byContent: neither named .bin nor Intel HEX by its content
};

// What is wrong with a bad record, and the values that say so; the front ends word it.
enum class RecordFault : std::uint8_t {
    none,
    noColon,              // the line does not start with ":"
    noHeader,             // count, address and type are not all hex digits
    cutShort,             // number: the data bytes its count promises (and a checksum)
    badDataByte,          // number: which data byte is not two hex digits, from 1
    badChecksumDigits,    // the checksum is not two hex digits
    checksumMismatch,     // found: the checksum written; expected: what the record sums to
    textAfterChecksum,    // more than a line end follows the checksum
    lineTooLong,          // number: the most characters a line may hold, its line end included
    unknownType,          // number: the record type, not 00-05
    addressRecordLength,  // number: the data bytes of an address record that needs 2
    conflictingByte,      // number: the byte's full address; found: the new value; expected:
                          // the value an earlier record gave it
    recordAfterEnd,       // number: the line of the end record it follows
};

struct RecordDetail {
    RecordFault fault = RecordFault::none;
    long long number = 0;
    int found = 0;
    int expected = 0;

    [[nodiscard]] bool bad() const { return fault != RecordFault::none; }
};

// How a load ended: the typed outcome that both front ends render.
struct ImageLoad {
    ImageProblem problem = ImageProblem::none;
    std::string file;         // the name the caller gave
    long line = 0;            // the line of a bad record, counted from 1; 0 when not about a line
    RecordDetail record;      // what is wrong with that record
    std::string systemError;  // cannotOpen, cannotRead: the system's error text
    bool notRegularFile = false;             // cannotOpen: a folder, a device or a pipe, not a file
    ImageFormat format = ImageFormat::none;  // what the file was read as
    long rawSize = 0;           // raw binary: the bytes read, at most the sector's size
    bool pastSector = false;    // bytes at or past the sector's end were left out
    bool beforeSector = false;  // bytes below the base address were left out
    // The lowest and highest full address of a data byte in an Intel HEX file, before the base
    // address is subtracted; nothing when no data record holds a byte.
    std::optional<long long> lowestAddress;
    std::optional<long long> highestAddress;

    [[nodiscard]] bool ok() const { return problem == ImageProblem::none; }
};

// One sector's worth of an image: a byte for every offset, and which of them the file defines.
// Offsets the file does not define hold 0xFF.
struct SectorImage {
    std::vector<std::uint8_t> bytes;
    std::vector<bool> defined;

    // One past the last offset whose byte is not 0xFF (what Program writes); 0 when none is.
    [[nodiscard]] int loadedLength() const;
    // One past the last offset the file defines; 0 when it defines none.
    [[nodiscard]] int definedEnd() const;
    // How many offsets the file defines, 0xFF bytes included.
    [[nodiscard]] long definedCount() const;
};

// Reads `file` (named `fileName` in the outcome) into `image`, which is made sectorSize bytes
// long, with `baseAddress` subtracted from Intel HEX addresses. `image` holds nothing a caller
// should use unless the outcome is ok().
ImageLoad readImage(std::FILE* file, const std::string& fileName, ImageFormat format,
                    int sectorSize, long long baseAddress, SectorImage& image);

// The same for the regular file at `fileName`; anything else (a pipe, a device, a folder) is
// refused without being read.
ImageLoad loadImage(const std::string& fileName, ImageFormat format, int sectorSize,
                    long long baseAddress, SectorImage& image);

}  // namespace loadstar
