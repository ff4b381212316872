#pragma once

#include <sys/types.h>

#include <span>

namespace loadstar {

// Whether joining the group that owns a device would let the user open it: the group may read
// and write it and the user is not in the group. Else joining cannot help (the user is in it
// already, or the group has no such rights) and no one should be told to.
bool joiningGroupWouldHelp(mode_t deviceMode, gid_t deviceGroup, std::span<const gid_t> userGroups);

}  // namespace loadstar
