#pragma once

#include <string>

#include "link/PortFault.h"

namespace loadstar {

// Why a port could not be opened, in words: "the device is in use by another program", the
// system's own text for a system error ("No such file or directory"), and so on. Empty for a
// fault of kind none.
std::string portFaultReason(const PortFault& fault);

// The message for a serial device that could not be opened, for the window's error box and the
// command-line tool alike: "Can't open NAME: REASON." with the fault's reason, or the classic
// "Can't open NAME, port does not exist or is already allocated." when there is none.
// `name` is what the user knows the device by ("COM1 (/dev/ttyS0)", "/dev/ttyUSB0"), `path` the
// device opened. When the open was refused for lack of permission and joining the device's group
// would let the user in, a second line says which group and how to join it.
std::string openFailureMessage(const std::string& name, const std::string& path,
                               const PortFault& fault);

}  // namespace loadstar
