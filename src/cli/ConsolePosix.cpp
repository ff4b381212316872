#include <unistd.h>

#include "cli/Console.h"

namespace loadstar::cli {

bool isTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) != 0;
}

}  // namespace loadstar::cli
