// Why a serial device could not be opened, in the words the window and the tool both show.

#include "devices/OpenFailure.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace loadstar::cli {
namespace {

TEST(OpenFailure, EachPortFaultHasItsReasonAndOnlyARefusedPermissionAsksForAGroup) {
    using enum PortFaultKind;
    const struct {
        PortFault fault;
        std::string reason;
        bool permission;
    } cases[] = {
        {{}, "", false},
        {{systemError, ENOENT}, "No such file or directory", false},
        {{systemError, EACCES}, "Permission denied", true},
        {{systemError, EPERM}, "Operation not permitted", true},
        {{systemError, EBUSY}, "Device or resource busy", false},
        {{openAlready}, "the port is open already", false},
        {{notSerialDevice, ENOTTY, 0, "/tmp/x/image.hex"},
         "/tmp/x/image.hex is not a serial device",
         false},
        {{inUseByAnotherProgram, EWOULDBLOCK}, "the device is in use by another program", false},
        {{unsupportedSpeed, 0, 12345}, "unsupported line speed 12345", false},
        {{settingsRefused, EPERM},
         "the line settings were refused: Operation not permitted",
         false},
        {{settingsUnreadable, EIO}, "the line settings cannot be read: Input/output error", false},
        {{settingsNotReadBack, EIO},
         "the line settings cannot be read back: Input/output error",
         false},
        {{settingsNotKept, 0, 19200},
         "the device did not keep the line settings (19200 8N1, no flow control)",
         false},
        {{timeoutsRefused, EINVAL}, "the time-outs were refused: Invalid argument", false},
        {{timeoutsNotKept}, "the device did not keep the time-outs", false},
        {{notComPortName}, "not a COM port name (COM1 to COM256)", false},
        {{portDoesNotExist, ENOENT}, "the port does not exist", false},
        {{lockRefused, EACCES}, "the port cannot be locked: Permission denied", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(portFaultReason(c.fault), c.reason);
        EXPECT_EQ(isPermissionFault(c.fault), c.permission) << c.reason;
    }
    EXPECT_EQ(openFailureMessage("/dev/ttyUSB9", "/dev/ttyUSB9", {systemError, ENOENT}),
              "Can't open /dev/ttyUSB9: No such file or directory.");
    EXPECT_EQ(openFailureMessage("COM1 (/dev/ttyS0)", "/dev/ttyS0", {}),
              "Can't open COM1 (/dev/ttyS0), port does not exist or is already allocated.");
}

}  // namespace
}  // namespace loadstar::cli
