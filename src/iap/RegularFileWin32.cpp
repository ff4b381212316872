// Windows: the file's kind is asked of the standard library before it is opened; only a
// regular file is read.
#include <filesystem>
#include <system_error>

#include "iap/RegularFile.h"

namespace loadstar {

FileHandle openRegularFileForReading(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::path(path), error)) {
        return nullptr;
    }
    return FileHandle(std::fopen(path.c_str(), "rb"));
}

}  // namespace loadstar
