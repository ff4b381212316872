#pragma once

#include <string>

namespace loadstar::testing {

// The log line of one random read cycle, for std::regex and QRegularExpression alike:
// "SelectFlash(0,5) OK, ReadFlash(0,5,0xa3f0,57) OK.t=96". Groups: 1 flash (0 main, 1 boot),
// 2 sector, 3 the selection's outcome, 4 the address in four hex digits, 5 the block size,
// 6 the read's outcome.
inline constexpr const char* cycleLinePattern =
    R"(^SelectFlash\(([01]),(\d)\) (OK|failed), ReadFlash\(\1,\2,0x([0-9a-f]{4}),(\d+)\) )"
    R"((OK|failed)\.t=\d+$)";

// True for the line of a cycle, well formed or not; false for the header, the summary and the
// notices around the cycles.
inline bool isCycleLine(const std::string& line) {
    return line.rfind("SelectFlash(", 0) == 0;
}

}  // namespace loadstar::testing
