#include "link/SerialLink.h"

#include <gtest/gtest.h>

#include "support/ScriptedPort.h"

namespace loadstar {
namespace {

using testing::ScriptedPort;

TEST(SerialLink, OpensOnceClosesAndOpensAgain) {
    SerialLink link(nullptr, [] { return std::make_unique<ScriptedPort>(); });
    link.setDevicePath("/dev/scripted");
    EXPECT_EQ(link.openPort(), 1);
    EXPECT_EQ(static_cast<ScriptedPort*>(link.port())->openedDevice, "/dev/scripted");
    SerialPort* const first = link.port();
    EXPECT_EQ(link.openPort(), -1) << "open already: nothing is done";
    EXPECT_EQ(link.port(), first);
    EXPECT_EQ(link.closePort(), 1);
    EXPECT_EQ(link.isPortOpen(), 0);
    EXPECT_FALSE(first->isOpen());
    EXPECT_EQ(link.openPort(), 1);
    EXPECT_EQ(link.isPortOpen(), 1);
}

}  // namespace
}  // namespace loadstar
