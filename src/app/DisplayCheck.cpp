#include "app/DisplayCheck.h"

namespace loadstar {

namespace {

bool isSet(const EnvironmentLookup& lookup, const char* name) {
    const char* value = lookup(name);
    return value != nullptr && value[0] != '\0';
}

}  // namespace

bool windowsCanBeShown(const EnvironmentLookup& lookup) {
    return isSet(lookup, "DISPLAY") || isSet(lookup, "WAYLAND_DISPLAY") ||
           isSet(lookup, "QT_QPA_PLATFORM");
}

std::string noDisplayMessage(const std::string& programName) {
    return programName +
           ": there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY "
           "is set).\n"
           "Run it on a desktop, or under a virtual X server:\n"
           "    xvfb-run -a " +
           programName +
           "\n"
           "(xvfb-run comes with the Debian package xvfb.) For scripts without a window, use "
           "loadstar-cli.\n";
}

}  // namespace loadstar
