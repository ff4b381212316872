#pragma once

#include "CliCommands.h"

namespace loadstar::cli {

// blank-check, program FILE, verify FILE and upload [FILE]: the window's sector file commands on
// the sector that --flash and --sector select. Exit status: 0 done (blank, programmed, verified,
// saved), 1 not blank or a mismatch (the message names the first address), 2 failure, 130 when
// Ctrl-C stopped the pass before its next block (nothing is saved then).
void addSectorCommands(CLI::App& app, const CliOptions& options, CommandList& commands);

}  // namespace loadstar::cli
