#pragma once

#include <cstdio>

namespace loadstar::cli {

// True when `stream` goes to a terminal that redraws a line in place ("\r", "\x1b[K"). On Windows
// that is a console, whose escape sequences this turns on; a pipe, a file or NUL is none.
[[nodiscard]] bool isTerminal(std::FILE* stream);

}  // namespace loadstar::cli
