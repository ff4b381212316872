#include "SerialLink.h"

#include <gtest/gtest.h>

#include "ScriptedPort.h"

namespace loadstar {
namespace {

using testing::ScriptedPort;

class SerialLinkTest : public ::testing::Test {
  protected:
    SerialLinkTest()
        : link([this](const std::string& text) { errors.push_back(text); },
               [this] {
                   auto port = std::make_unique<ScriptedPort>();
                   port->refuseOpen = refuse;
                   ++portsMade;
                   return port;
               }) {
        link.setDevicePath("/dev/scripted");
    }

    std::vector<std::string> errors;
    bool refuse = false;
    int portsMade = 0;
    SerialLink link;
};

TEST_F(SerialLinkTest, OpenCloseCycle) {
    EXPECT_EQ(link.isPortOpen(), 0);
    EXPECT_EQ(link.openPort(), 1);
    EXPECT_EQ(link.isPortOpen(), 1);
    EXPECT_EQ(link.portName(), "COM1");
    EXPECT_EQ(link.baudRate(), 19200);
    EXPECT_EQ(static_cast<ScriptedPort*>(link.port())->openedDevice, "/dev/scripted");
    EXPECT_EQ(link.openPort(), -1) << "open already: nothing is done";
    EXPECT_EQ(portsMade, 1);
    EXPECT_EQ(link.closePort(), 1);
    EXPECT_EQ(link.isPortOpen(), 0);
    EXPECT_FALSE(link.port()->isOpen());
    EXPECT_EQ(link.closePort(), 1) << "closing a closed port does nothing";
    EXPECT_EQ(link.openPort(), 1) << "opens again after a close";
    EXPECT_TRUE(errors.empty());
}

TEST_F(SerialLinkTest, RefusedOpenShowsTheCantOpenMessageWithTheReason) {
    refuse = true;
    EXPECT_EQ(link.openPort(), 0);
    EXPECT_EQ(link.isPortOpen(), 0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Can't open COM1, port does not exist or is already allocated.");
    EXPECT_EQ(link.lastOpenFailure(), "Device or resource busy");
}

TEST_F(SerialLinkTest, ExchangeAfterCloseFailsWithoutTouchingTheOldPort) {
    ASSERT_EQ(link.openPort(), 1);
    link.closePort();
    std::uint8_t reply[100];
    int length = -1;
    EXPECT_EQ(link.exchangePacket("BRD", reply, 100, &length, 10), 0);
    EXPECT_EQ(length, 0);
    EXPECT_TRUE(static_cast<ScriptedPort*>(link.port())->frames.empty());
}

}  // namespace
}  // namespace loadstar
