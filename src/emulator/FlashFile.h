#pragma once

#include <string>

#include "FlashMemory.h"

namespace loadstar::emulator {

// The board's flash kept in a file between runs: a raw image of main sectors 0..7 (32 KB each)
// followed by boot sectors 0..3 (8 KB each), 294912 bytes in all.
struct FlashFileResult {
    bool ok = false;
    std::string message;  // what went wrong, naming the file; empty on success
};

// Loads `path` into `flash`. A missing file means an erased board (flash left as it is, ok). A
// file of another size, or one that cannot be read, is refused and `flash` is left unchanged.
[[nodiscard]] FlashFileResult loadFlashFile(const std::string& path, FlashMemory& flash);

// Saves `flash` to `path` atomically: written to a temporary file in the same folder, flushed to
// disk, then renamed over `path`, so a crash leaves either the old or the new contents.
[[nodiscard]] FlashFileResult saveFlashFile(const std::string& path, const FlashMemory& flash);

}  // namespace loadstar::emulator
