#pragma once

namespace loadstar::cli {

// A reader that stops early (`loadstar-cli upload - | head -c 100`) must not end the tool without
// its result line and with the status of a signal: from this call on, a write to a pipe nobody
// reads fails (EPIPE) like any other write, and the command reports it and exits 2.
void failWritesToBrokenPipes();

}  // namespace loadstar::cli
