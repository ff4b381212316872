#include "devices/SerialDeviceList.h"

namespace loadstar {

SerialDeviceListing listSerialDevices() {
    return {};
}

}  // namespace loadstar
