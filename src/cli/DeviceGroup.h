#pragma once

#include <sys/types.h>

#include <optional>
#include <span>
#include <string>

namespace loadstar::cli {

// Whether joining the group that owns a device would let the user open it: the group may read
// and write it and the user is not in the group. Else joining cannot help (the user is in it
// already, or the group has no such rights) and no one should be told to.
bool joiningGroupWouldHelp(mode_t deviceMode, gid_t deviceGroup, std::span<const gid_t> userGroups);

// The name of the group to join for `devicePath` (links followed), when joiningGroupWouldHelp
// says so for the calling user; nothing otherwise or when the device cannot be looked at.
std::optional<std::string> groupToJoinFor(const std::string& devicePath);

}  // namespace loadstar::cli
