// When the command-line tool tells a user to join the device's group: only where that lets them in.

#include "devices/GroupMembership.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

namespace loadstar::cli {
namespace {

TEST(DeviceGroup, JoiningHelpsOnlyAGroupThatMayUseTheDeviceAndTheUserIsNotIn) {
    const std::vector<gid_t> userGroups = {1000, 24};
    const struct {
        mode_t mode;
        gid_t group;
        bool helps;
    } cases[] = {
        {S_IFCHR | 0660, 20, true},   // dialout, the user not in it
        {S_IFCHR | 0660, 24, false},  // the user is in it already
        {S_IFCHR | 0600, 20, false},  // the group may not use it
        {S_IFCHR | 0640, 20, false},  // read only: no use for a serial line
    };
    for (const auto& c : cases) {
        EXPECT_EQ(joiningGroupWouldHelp(c.mode, c.group, userGroups), c.helps)
            << std::oct << c.mode << " group " << std::dec << c.group;
    }
}

}  // namespace
}  // namespace loadstar::cli
