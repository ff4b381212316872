#include <unistd.h>

#include "Console.h"

namespace loadstar::cli {

bool isTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) != 0;
}

}  // namespace loadstar::cli
