#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace loadstar::testing {

// The lines of `text` without their "\n" (a "\r" before it stays); no empty last line for a
// text that ends in "\n".
inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace loadstar::testing
