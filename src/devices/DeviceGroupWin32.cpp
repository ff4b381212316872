#include "devices/DeviceGroup.h"

namespace loadstar {

std::optional<std::string> groupToJoinFor(const std::string& /*devicePath*/) {
    return std::nullopt;
}

}  // namespace loadstar
