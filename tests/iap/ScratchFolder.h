#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace loadstar::testing {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes. Files are written and read in binary, byte for byte.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "loadstar-sector-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        root_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    [[nodiscard]] std::string path(const std::string& name) const {
        return (root_ / name).string();
    }
    [[nodiscard]] const std::filesystem::path& root() const { return root_; }

    std::string write(const std::string& name, const std::string& content) const {
        const std::string file = path(name);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out) {
            throw std::runtime_error("cannot write " + file);
        }
        return file;
    }
    [[nodiscard]] std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    [[nodiscard]] int fileCount() const {
        return static_cast<int>(std::distance(std::filesystem::directory_iterator(root_),
                                              std::filesystem::directory_iterator()));
    }

  private:
    std::filesystem::path root_;
};

}  // namespace loadstar::testing
