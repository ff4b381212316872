#include "link/ComPortName.h"

namespace loadstar {

std::string resolveComPort() {
    return "COM1";
}

std::string comPortDescription() {
    return "Serial port: COM1 to COM256 or \\\\.\\COMn (default: COM1; see the ports command)";
}

ComPortChoice chooseComPort() {
    return {"COM1", "the board's port, as Windows numbers its serial ports"};
}

}  // namespace loadstar
