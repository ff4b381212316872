#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "AtomicFile.h"

namespace loadstar {

namespace {

constexpr int temporaryNameAttempts = 100;
constexpr int binaryWrite = _O_WRONLY | _O_BINARY | _O_NOINHERIT;

// A target that is a device ("NUL", "CON", a pipe) rather than a file on a disk; it is written in
// place. Opened for no access at all, only to ask what it is.
bool isDevice(const std::string& path) {
    const HANDLE handle =
        ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD type = ::GetFileType(handle);
    ::CloseHandle(handle);
    return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}

}  // namespace

AtomicFile::AtomicFile(std::string targetPath) : targetPath_(std::move(targetPath)) {}

AtomicFile::~AtomicFile() {
    if (!committed_) {
        abandon();
    }
}

bool AtomicFile::create() {
    if (targetPath_.empty() || targetPath_.back() == '/' || targetPath_.back() == '\\') {
        return false;  // names no file
    }
    if (isDevice(targetPath_)) {
        descriptor_ = ::_open(targetPath_.c_str(), binaryWrite);
        inPlace_ = descriptor_ >= 0;
        writingPath_ = inPlace_ ? targetPath_ : std::string();
        return inPlace_;
    }
    const std::filesystem::path target(targetPath_);
    // A name beside the target: ".<name>.tmp-<pid>-<n>".
    std::string stem(1, '.');
    stem += target.filename().string();
    stem += ".tmp-";
    stem += std::to_string(::_getpid());
    for (int attempt = 0; attempt < temporaryNameAttempts; ++attempt) {
        const std::string candidate =
            (target.parent_path() / (stem + "-" + std::to_string(attempt))).string();
        descriptor_ =
            ::_open(candidate.c_str(), binaryWrite | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE);
        if (descriptor_ >= 0) {
            writingPath_ = candidate;
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

bool AtomicFile::write(std::string_view bytes) {
    if (descriptor_ < 0) {
        return false;
    }
    while (!bytes.empty()) {
        const auto chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
        const int n = ::_write(descriptor_, bytes.data(), chunk);
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool AtomicFile::commit() {
    if (descriptor_ < 0) {
        return false;
    }
    if (inPlace_) {
        const int result = ::_close(descriptor_);
        descriptor_ = -1;
        committed_ = true;
        return result == 0;
    }
    const int synced = ::_commit(descriptor_);  // FlushFileBuffers
    const int closed = ::_close(descriptor_);
    descriptor_ = -1;
    if (synced != 0 || closed != 0 ||
        ::MoveFileExA(writingPath_.c_str(), targetPath_.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        abandon();
        return false;
    }
    committed_ = true;
    return true;
}

void AtomicFile::abandon() {
    if (descriptor_ >= 0) {
        ::_close(descriptor_);
        descriptor_ = -1;
    }
    if (!inPlace_ && !writingPath_.empty()) {
        ::_unlink(writingPath_.c_str());
        writingPath_.clear();
    }
}

}  // namespace loadstar
