#include "devices/OpenFailure.h"

#include "devices/DeviceGroup.h"

namespace loadstar {

std::string openFailureMessage(const std::string& name, const std::string& path,
                               const std::string& reason, bool refusedForPermission) {
    std::string text =
        "Can't open " + name +
        (reason.empty() ? ", port does not exist or is already allocated." : ": " + reason + ".");
    if (refusedForPermission) {
        if (const auto group = groupToJoinFor(path)) {
            text += "\nYour user is not in the group " + *group + ", which may use " + path +
                    ": add it (sudo usermod -aG " + *group + " $USER), then log out and in again.";
        }
    }
    return text;
}

}  // namespace loadstar
