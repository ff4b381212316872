#include "link/ObservedSerialPort.h"

namespace loadstar {

int ObservedSerialPort::read(std::uint8_t* buffer, int maxBytes) {
    const int got = port_->read(buffer, maxBytes);
    if (got > 0 && read_) {
        read_({buffer, static_cast<std::size_t>(got)});
    }
    return got;
}

int ObservedSerialPort::write(const std::uint8_t* buffer, int count) {
    if (count > 0 && written_) {
        written_({buffer, static_cast<std::size_t>(count)});
    }
    return port_->write(buffer, count);
}

}  // namespace loadstar
