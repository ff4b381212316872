#include "AtomicFile.h"

namespace loadstar {

namespace {

// The longest file name (one path component) Linux's and Windows' file systems take.
constexpr std::size_t longestFileName = 255;

}  // namespace

std::string temporaryFileName(const std::string& targetName, long pid, int attempt) {
    const std::string suffix = ".tmp-" + std::to_string(pid) + "-" + std::to_string(attempt);
    const std::size_t room = longestFileName - 1 - suffix.size();
    return "." + targetName.substr(0, room) + suffix;
}

}  // namespace loadstar
