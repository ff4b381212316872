#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace loadstar::testing {

// Everything the file at `path` holds, byte for byte; empty when it is missing or unreadable.
inline std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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

// A fresh folder under the system's temporary folder, removed with everything in it at the end
// (whatever permissions the test gave it). Files are written and read byte for byte.
class TempDir {
  public:
    TempDir() {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const auto name = std::filesystem::temp_directory_path() /
                              ("loadstar-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(name)) {  // false when it exists already
                std::filesystem::permissions(name, std::filesystem::perms::owner_all);
                path_ = name;
            }
        }
        if (path_.empty()) {
            throw std::runtime_error("cannot make a temporary folder");
        }
    }
    ~TempDir() {
        std::error_code ignored;  // a test may have taken the owner's rights away
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    // The path of `name` in the folder; the file need not exist.
    [[nodiscard]] std::string file(const std::string& name) const {
        return (path_ / name).string();
    }
    // Creates or replaces `name` with `contents` and returns its path; throws when it cannot.
    std::string write(const std::string& name, const std::string& contents) const {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        if (!(out << contents)) {
            throw std::runtime_error("cannot write " + file(name));
        }
        return file(name);
    }
    // What `name` holds; empty when it cannot be read.
    [[nodiscard]] std::string read(const std::string& name) const { return contentsOf(file(name)); }
    // Entries directly in the folder, files and folders alike.
    [[nodiscard]] int fileCount() const {
        const std::filesystem::directory_iterator entries(path_);
        return static_cast<int>(std::distance(begin(entries), end(entries)));
    }

  private:
    std::filesystem::path path_;
};

}  // namespace loadstar::testing
