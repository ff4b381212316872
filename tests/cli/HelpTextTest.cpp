// The help's wrapping at 80 columns, and the note about the sole USB adapter that the tool and the
// window share.

#include <gtest/gtest.h>

#include "cli/HelpText.h"
#include "devices/SerialDeviceList.h"

namespace loadstar::cli {
namespace {

TEST(HelpText, LongLinesBreakAtBlanksUnderTheirDescription) {
    const std::string option = "  --trace" + std::string(17, ' ');  // the description at column 26
    const struct {
        std::string text;
        std::string wrapped;
    } cases[] = {
        {"short line\n", "short line\n"},
        {option + "Show every frame sent and every reply received, in hex with a millisecond",
         option + "Show every frame sent and every reply received, in hex\n" +
             std::string(26, ' ') + "with a millisecond"},
        {"A description that runs on past the eightieth column of the terminal, as it did once.\n",
         "A description that runs on past the eightieth column of the terminal, as it "
         "did\nonce.\n"},
        {"  " + std::string(90, 'x') + " tail\n", "  " + std::string(90, 'x') + "\n  tail\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wrapHelpText(c.text, helpWidth, WrappingFormatter::descriptionColumn), c.wrapped);
    }
}

TEST(SerialDevices, OneUnassignedAdapterIsNamed) {
    const SerialDevice uart{"/dev/ttyS0", "", "", "ttyS0"};
    const SerialDevice ftdi{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI-port0", "0403:6001", ""};
    const SerialDevice acm{"/dev/ttyACM0", "", "2341:0043", ""};
    const struct {
        std::string comPort;
        std::vector<SerialDevice> devices;
        bool noted;
    } cases[] = {
        {"/dev/ttyS0", {uart, ftdi}, true},
        {"/dev/ttyS0", {uart, ftdi, acm}, false},  // two adapters: which one?
        {"/dev/ttyS0", {uart}, false},             // no adapter
        {"/dev/COM1", {uart, ftdi}, false},        // COM1 is assigned
    };
    for (const auto& c : cases) {
        const auto note = soleAdapterNote(c.comPort, c.devices);
        ASSERT_EQ(note.has_value(), c.noted) << c.comPort << " " << c.devices.size();
        if (note) {
            EXPECT_NE(note->find("/dev/serial/by-id/usb-FTDI-port0 (/dev/ttyUSB0)"),
                      std::string::npos);
        }
    }
}

}  // namespace
}  // namespace loadstar::cli
