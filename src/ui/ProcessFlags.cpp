#include "ui/ProcessFlags.h"

namespace loadstar {

ProcessFlags& processFlags() {
    static ProcessFlags flags;
    return flags;
}

}  // namespace loadstar
