#pragma once

#include <string>

#include "cli/CliCommands.h"

namespace loadstar::cli {

// blank-check, program FILE, verify FILE and upload [FILE]: the window's sector file commands on
// the sector that --flash and --sector select. Each ends with one result line (CommandResult.h).
// Exit status: 0 done (blank, programmed, verified, saved), 1 not blank or a mismatch, 2 failure,
// 130 when Ctrl-C stopped the pass before its next block (nothing is saved then).
void addSectorCommands(CLI::App& app, const CliOptions& options, CommandList& commands);

// flash FILE, backup DIR and restore DIR (FlashCommands.cpp).
void addFlashCommands(CLI::App& app, const CliOptions& options, CommandList& commands);

// --base ADDRESS for a command that loads an image file.
void addBaseOption(CLI::App& command, std::string& base);

// --read-twice for a command that saves what it reads (upload, backup).
void addReadTwiceFlag(CLI::App& command, bool& readTwice);

}  // namespace loadstar::cli
