#include "SerialLink.h"

#include <gtest/gtest.h>

#include "ScriptedPort.h"

namespace loadstar {
namespace {

using testing::ScriptedPort;

TEST(SerialLink, OpensOnceClosesAndOpensAgain) {
    std::vector<std::string> errors;
    SerialLink link([&](const std::string& text) { errors.push_back(text); },
                    [] { return std::make_unique<ScriptedPort>(); });
    link.setDevicePath("/dev/scripted");
    EXPECT_EQ(link.isPortOpen(), 0);
    EXPECT_EQ(link.openPort(), 1);
    EXPECT_EQ(link.isPortOpen(), 1);
    EXPECT_EQ(static_cast<ScriptedPort*>(link.port())->openedDevice, "/dev/scripted");
    const SerialPort* first = link.port();
    EXPECT_EQ(link.openPort(), -1) << "open already: nothing is done";
    EXPECT_EQ(link.port(), first);
    EXPECT_EQ(link.closePort(), 1);
    EXPECT_EQ(link.isPortOpen(), 0);
    EXPECT_FALSE(link.port()->isOpen());
    std::uint8_t reply[100];
    int length = -1;
    EXPECT_EQ(link.exchangePacket("BRD", reply, 100, &length, 10), 0);
    EXPECT_EQ(length, 0);
    EXPECT_TRUE(static_cast<ScriptedPort*>(link.port())->frames.empty()) << "old port untouched";
    EXPECT_EQ(link.openPort(), 1);
    EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace loadstar
