#include <csignal>

#include "cli/BrokenPipe.h"

namespace loadstar::cli {

void failWritesToBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace loadstar::cli
