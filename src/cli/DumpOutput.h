#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "cli/TerminalUserInterface.h"
#include "iap/DumpWriters.h"

namespace loadstar::cli {

// The name of a file to write that stands for stdout.
inline constexpr char standardOutputName[] = "-";

// "hex", "bin" or "txt" (what --format takes) as a dump format; nothing for any other name.
std::optional<DumpFormat> dumpFormatNamed(const std::string& name);
// ".hex", ".bin" or ".txt"; empty for DumpFormat::none.
std::string dumpFormatExtension(DumpFormat format);
// "Intel HEX", "raw binary", "text dump".
std::string dumpFormatDescription(DumpFormat format);

// Empty when `folder` exists, is a folder and takes new files (only making one there tells, for
// permissions, a read-only file system and the superuser alike; it is removed again); else what is
// wrong, naming the folder. Checked before the board is read, so a dump that could not be saved
// costs no time on the line.
std::string folderProblem(const std::string& folder);
// The same for the folder that would hold the file `path` (the current one for a bare name), and
// for `path` itself when it exists but is no regular file (a folder, a pipe, a device).
std::string targetFolderProblem(const std::string& path);

// Writes `sector` in `format` to `path`, or to stdout for "-". A file is replaced only once it
// is complete, so a failure leaves an existing one as it was. False after a message that names
// the path and the system's reason.
bool writeDump(const std::string& path, DumpFormat format, std::span<const std::uint8_t> sector,
               TerminalUserInterface& ui);

}  // namespace loadstar::cli
