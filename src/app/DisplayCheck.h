#pragma once

#include <functional>
#include <string>

namespace loadstar {

using EnvironmentLookup = std::function<const char*(const char* name)>;

// True when the window can be shown: DISPLAY or WAYLAND_DISPLAY names a display, or
// QT_QPA_PLATFORM chooses a platform explicitly (offscreen, vnc, ...).
bool windowsCanBeShown(const EnvironmentLookup& lookup);

// What the program prints on stderr when there is no display, with how to run it under a
// virtual X server. Ends with a line feed.
std::string noDisplayMessage(const std::string& programName);

// The exit code after that message.
inline constexpr int noDisplayExitCode = 2;

}  // namespace loadstar
