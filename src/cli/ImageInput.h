#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>

#include "iap/ImageFile.h"
#include "iap/SectorGeometry.h"

namespace loadstar::cli {

// The board address at which images linked for the board start: the window through which every
// sector is seen.
inline constexpr int boardWindowStart = 0x8000;

// The name of an image file that stands for standard input.
inline constexpr char standardInputName[] = "-";

// The image file that program, verify and flash are given.
struct ImageSource {
    std::string file;  // "-": standard input
    std::string
        format;        // "hex" or "bin" forces one; empty: raw for .bin, else Intel HEX by content
    std::string base;  // a board address in hex subtracted from Intel HEX addresses; empty: 0
};

// FILE, --format hex|bin and --base ADDRESS for a command that loads an image file.
void addImageOptions(CLI::App& command, ImageSource& source);

// "8000", "0x8000": a board address of one to four hexadecimal digits; nothing for anything else.
std::optional<int> parseBaseAddress(const std::string& text);

// What a failed load says on stderr, naming the file and, for a bad record, its line:
// "image.hex:101: checksum 3A, but the record's bytes give 3B".
std::string imageProblemText(const ImageLoad& load);

// Loads the image for the sector of `geometry` before anything is sent to the board. What is
// wrong is said on stderr and nothing is returned: a bad file, and data outside the sector (with
// a hint that names --base and the sector's board address when the data reach 8000 or above and
// no base was given). An image that defines no byte at all is refused; one that defines only
// erased (0xFF) bytes is data.
std::optional<SectorImage> loadSectorImage(const ImageSource& source,
                                           const SectorGeometry& geometry);

// Loads one sector file of a restore: refused, with a message naming the file, unless a .bin is
// exactly the sector's size, or a .hex puts every byte inside the sector and defines at least one.
// A .hex whose addresses are the sector's board addresses (C000-DFFF for boot sector 2, 8000-FFFF
// for a main sector) is read at them; a backup's files hold offsets from the sector's start.
std::optional<SectorImage> loadRestoreImage(const std::string& path,
                                            const SectorGeometry& geometry);

}  // namespace loadstar::cli
