#include "cli/BrokenPipe.h"

namespace loadstar::cli {

// Windows sends no signal: a write to a pipe nobody reads fails already.
void failWritesToBrokenPipes() {}

}  // namespace loadstar::cli
