#include "iap/AtomicFile.h"

namespace loadstar {

namespace {

// The longest file name (one path component) Linux's and Windows' file systems take.
constexpr std::size_t longestFileName = 255;

}  // namespace

std::string temporaryFileName(const std::string& targetName, long pid, int attempt) {
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "." + std::string&&.
    std::string name = ".";
    const std::string suffix = ".tmp-" + std::to_string(pid) + "-" + std::to_string(attempt);
    name.append(targetName, 0, longestFileName - 1 - suffix.size());
    name.append(suffix);
    return name;
}

}  // namespace loadstar
