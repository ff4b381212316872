#include "devices/DeviceGroup.h"
#include "devices/GroupMembership.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace loadstar {

bool joiningGroupWouldHelp(mode_t deviceMode, gid_t deviceGroup,
                           std::span<const gid_t> userGroups) {
    const bool groupMayUseIt = (deviceMode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    return groupMayUseIt &&
           std::find(userGroups.begin(), userGroups.end(), deviceGroup) == userGroups.end();
}

std::optional<std::string> groupToJoinFor(const std::string& devicePath) {
    struct stat device {};
    if (::stat(devicePath.c_str(), &device) != 0) {
        return std::nullopt;
    }
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    if (count < 0 || ::getgroups(count, groups.data()) < 0) {
        return std::nullopt;
    }
    groups.push_back(::getegid());
    if (!joiningGroupWouldHelp(device.st_mode, device.st_gid, groups)) {
        return std::nullopt;
    }
    const group* entry = ::getgrgid(device.st_gid);
    return entry != nullptr ? std::string(entry->gr_name) : std::to_string(device.st_gid);
}

}  // namespace loadstar
