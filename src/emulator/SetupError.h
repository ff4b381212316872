#pragma once

#include <stdexcept>

namespace loadstar::emulator {

// The emulator cannot start or finish as asked (no pseudo-terminal, a folder that is not private,
// a flash file that cannot be used). The program prints the message and exits with status 1.
class SetupError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace loadstar::emulator
