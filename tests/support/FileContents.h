#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace loadstar::testing {

// Everything the file at `path` holds, byte for byte; empty when it is missing or unreadable.
inline std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace loadstar::testing
