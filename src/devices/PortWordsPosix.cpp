#include <cstring>

#include "devices/PortWords.h"

namespace loadstar {

std::string systemErrorText(int error) {
    return std::strerror(error);
}

std::string inUseByAnotherProgramText() {
    return "the device is in use by another program";
}

}  // namespace loadstar
