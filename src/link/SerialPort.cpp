#include "link/SerialPort.h"

namespace loadstar {

int serialOpen(SerialPort& port, const char* deviceName, int inQueueSize, int outQueueSize,
               int baud) {
    return port.open(deviceName, inQueueSize, outQueueSize, baud) ? 1 : 0;
}

int serialClose(SerialPort& port) {
    return port.close() ? 1 : 0;
}

int serialRead(SerialPort& port, std::uint8_t* buffer, int maxBytes) {
    if (maxBytes <= 0) {
        return 0;
    }
    return port.read(buffer, maxBytes);
}

int serialWrite(SerialPort& port, const std::uint8_t* buffer, int count) {
    if (count <= 0) {
        return 0;
    }
    return port.write(buffer, count);
}

}  // namespace loadstar
