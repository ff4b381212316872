#pragma once

#include <string>

#include "emulator/FlashMemory.h"

namespace loadstar::emulator {

// The board's flash kept in a file between runs: a raw image of main sectors 0..7 (32 KB each)
// followed by boot sectors 0..3 (8 KB each), 294912 bytes in all.
struct FlashFileResult {
    bool ok = false;
    std::string message;  // what went wrong, naming the file; empty on success
};

// Loads `path` into `flash`. A missing file means an erased board (flash left as it is, ok). A
// file of another size, one that cannot be read, a pipe or a device, and a place where the file
// could not be saved later (see AtomicFile: a folder or a link that another user could have
// planted) are refused, and `flash` is left unchanged. Never waits.
[[nodiscard]] FlashFileResult loadFlashFile(const std::string& path, FlashMemory& flash);

// Saves `flash` to `path` with AtomicFile: written to a new private temporary file in the same
// folder, flushed to disk, given the old file's mode and renamed over `path`, so a crash leaves
// either the old or the new contents.
[[nodiscard]] FlashFileResult saveFlashFile(const std::string& path, const FlashMemory& flash);

}  // namespace loadstar::emulator
