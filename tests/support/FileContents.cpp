#include "FileContents.h"

#include <fstream>
#include <iterator>

namespace loadstar::testing {

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace loadstar::testing
