#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace loadstar {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for reading in binary mode when it names a regular file (a symbolic link is
// followed). Never waits: a pipe, a device, a socket or a folder is refused without being read,
// so that no file name can hang the program on a FIFO without a writer or wake a device.
// Null when the file is refused or cannot be opened.
FileHandle openRegularFileForReading(const std::string& path);

}  // namespace loadstar
