#pragma once

#include <string>

namespace loadstar {

// The words that differ between the platforms when a port cannot be opened.

// The system's own text for an error code of a port fault (PortFault::error): strerror's for an
// errno value, the system message for a GetLastError code, without the line break and full stop
// Windows ends it with.
std::string systemErrorText(int error);

// Another program holds the device: "the device ..." where it is a device file, "the port ..."
// where it is a COM port.
std::string inUseByAnotherProgramText();

}  // namespace loadstar
