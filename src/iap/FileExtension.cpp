#include "iap/FileExtension.h"

#include <algorithm>

namespace loadstar {

std::string fileExtension(const std::string& fileName) {
    const auto dot = fileName.rfind('.');
    if (dot == std::string::npos) {
        return {};
    }
    std::string extension = fileName.substr(dot);
    if (extension.find_first_of("/\\:") != std::string::npos) {
        return {};
    }
    // ASCII only: the program's locale must not change which files load.
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return extension;
}

}  // namespace loadstar
