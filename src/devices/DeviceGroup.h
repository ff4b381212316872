#pragma once

#include <optional>
#include <string>

namespace loadstar {

// The name of the group to join for `devicePath` (links followed), when joiningGroupWouldHelp
// (GroupMembership.h) says so for the calling user; nothing otherwise or when the device cannot be
// looked at. Nothing on Windows, where no group grants a COM port.
std::optional<std::string> groupToJoinFor(const std::string& devicePath);

}  // namespace loadstar
