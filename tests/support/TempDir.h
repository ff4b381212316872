#pragma once

#include <filesystem>
#include <string>

namespace loadstar::testing {

// A fresh folder under the system's temporary folder, removed with everything in it at the end
// (whatever permissions the test gave it). Files are written and read in binary, byte for byte.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    // The path of `name` in the folder; the file need not exist.
    [[nodiscard]] std::string file(const std::string& name) const {
        return (path_ / name).string();
    }
    // Creates or replaces `name` with `contents` and returns its path; throws when it cannot.
    std::string write(const std::string& name, const std::string& contents) const;
    // What `name` holds; empty when it cannot be read.
    [[nodiscard]] std::string read(const std::string& name) const;
    // Entries directly in the folder, files and folders alike.
    [[nodiscard]] int fileCount() const;

  private:
    std::filesystem::path path_;
};

}  // namespace loadstar::testing
