#include "link/ComPortName.h"

namespace loadstar {

std::string resolveComPort() {
    return "COM1";
}

ComPortChoice chooseComPort() {
    ComPortChoice choice;
    choice.device = "COM1";
    choice.why = ComPortChoice::Why::windowsNumbering;
    return choice;
}

}  // namespace loadstar
