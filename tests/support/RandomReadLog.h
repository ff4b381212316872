#pragma once

#include <string>

namespace loadstar::testing {

// True for the line of a random read cycle ("SelectFlash(0,5) OK, ReadFlash(...) OK.t=96"), well
// formed or not; false for the header, the summary and the notices around the cycles.
inline bool isCycleLine(const std::string& line) {
    return line.rfind("SelectFlash(", 0) == 0;
}

}  // namespace loadstar::testing
