#include "TempDir.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "FileContents.h"

namespace loadstar::testing {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "loadstar-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // A test may have taken the owner's rights away to see a refusal.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& contents) const {
    const std::string path = file(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}

std::string TempDir::read(const std::string& name) const {
    return contentsOf(file(name));
}

int TempDir::fileCount() const {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(path_),
                                          std::filesystem::directory_iterator()));
}

}  // namespace loadstar::testing
