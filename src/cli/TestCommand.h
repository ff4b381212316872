#pragma once

#include "cli/CliCommands.h"

namespace loadstar::cli {

// test [--cycles N | --duration SECONDS] [--log FILE]: the window's random read test. The log's
// lines (header, one line per cycle, the five-line summary) go to stdout as they come, and to
// FILE with CR LF (replaced only once the run has ended); on a terminal, stderr shows the running
// statistics. The run ends after N cycles, after the cycle in which SECONDS have passed, or after
// the cycle in which Ctrl-C came. The first run after the program starts draws the same cycles as
// the window's first run.
// Exit status: 0 every cycle succeeded, 1 a select or read failed, 2 failure (no board, bad
// option, log file not written), 130 ended by Ctrl-C (the summary is still written).
void addTestCommand(CLI::App& app, const CliOptions& options, CommandList& commands);

}  // namespace loadstar::cli
