#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SectorGeometry.h"
#include "UserInterface.h"

namespace loadstar::cli {

// The board address at which images linked for the board start: the window through which every
// sector is seen.
inline constexpr int boardWindowStart = 0x8000;

// "8000", "0x8000": a board address of one to four hexadecimal digits; nothing for anything else.
std::optional<int> parseBaseAddress(const std::string& text);

// Loads the image file for the sector of `geometry` with `baseAddress` subtracted from its Intel
// HEX record addresses (a base is refused for other files), before anything is sent to the
// board. The loaded bytes (empty when the file holds nothing but erased bytes), or nothing when
// the file cannot be used (the message has been shown). When the file's data records all lie at
// 8000 or above and no base was given, a hint after the loader's warning names --base with the
// sector's board address (8000 for every main sector). With `emptyIsData`, an image of nothing
// but erased bytes is loaded without the loader's "File contains no data" (restore erases such
// a sector); otherwise it is refused.
std::optional<std::vector<std::uint8_t>> loadSectorImage(const std::string& fileName,
                                                         const SectorGeometry& geometry,
                                                         int baseAddress, UserInterface& ui,
                                                         bool emptyIsData = false);

}  // namespace loadstar::cli
