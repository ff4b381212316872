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
#include <cstring>
#include <filesystem>

#include "iap/AtomicFile.h"

namespace loadstar {

namespace {

constexpr int temporaryNameAttempts = 100;
constexpr int binaryWrite = _O_WRONLY | _O_BINARY | _O_NOINHERIT;

enum class TargetKind { missing, regularFile, other };

// What the target is, asked of the opened name without reading or writing it: a device ("NUL",
// "CON", "COM1"), a pipe or a folder is no regular file.
TargetKind kindOf(const std::string& path) {
    const HANDLE handle =
        ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return TargetKind::missing;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool regular = ::GetFileType(handle) == FILE_TYPE_DISK &&
                         ::GetFileInformationByHandle(handle, &information) != 0 &&
                         (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    ::CloseHandle(handle);
    return regular ? TargetKind::regularFile : TargetKind::other;
}

// The system's text for a Windows error code, without its line break.
std::string systemMessage(DWORD error) {
    char text[256] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                         0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' ')) {
        message.pop_back();
    }
    return message.empty() ? "system error " + std::to_string(error) : message;
}

}  // namespace

AtomicFile::AtomicFile(std::string targetPath) : targetPath_(std::move(targetPath)) {}

bool AtomicFile::create() {
    if (targetPath_.empty() || targetPath_.back() == '/' || targetPath_.back() == '\\') {
        return fail(EISDIR);  // names no file
    }
    const TargetKind kind = kindOf(targetPath_);
    if (kind == TargetKind::other) {
        return fail({.kind = FileFaultKind::notRegularFile});
    }
    if (kind == TargetKind::regularFile) {
        // Whether this user may write it, asked without truncating it.
        const int probe = ::_open(targetPath_.c_str(), binaryWrite);
        if (probe < 0) {
            return fail(errno);
        }
        ::_close(probe);
    }
    const std::filesystem::path target(targetPath_);
    for (int attempt = 0; attempt < temporaryNameAttempts; ++attempt) {
        const std::string candidate =
            (target.parent_path() /
             temporaryFileName(target.filename().string(), ::_getpid(), attempt))
                .string();
        descriptor_ =
            ::_open(candidate.c_str(), binaryWrite | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE);
        if (descriptor_ >= 0) {
            writingPath_ = candidate;
            return true;
        }
        if (errno == EACCES) {  // the folder refuses a new file: named, as the target is not
            const std::string folder = target.parent_path().string();
            return fail({.kind = FileFaultKind::refusedByFolder,
                         .error = EACCES,
                         .folder = folder.empty() ? std::string(".") : folder});
        }
        if (errno != EEXIST) {
            return fail(errno);
        }
    }
    return fail(EEXIST);
}

bool AtomicFile::write(std::string_view bytes) {
    if (descriptor_ < 0) {
        return fail(EBADF);
    }
    while (!bytes.empty()) {
        const auto chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
        const int n = ::_write(descriptor_, bytes.data(), chunk);
        if (n <= 0) {
            return fail(n < 0 ? errno : ENOSPC);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool AtomicFile::commit() {
    if (descriptor_ < 0) {
        return fail(EBADF);
    }
    int error = ::_commit(descriptor_) != 0 ? errno : 0;  // FlushFileBuffers
    if (::_close(descriptor_) != 0 && error == 0) {
        error = errno;
    }
    descriptor_ = -1;
    if (error != 0) {
        abandon();
        return fail(error);
    }
    if (::MoveFileExA(writingPath_.c_str(), targetPath_.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        std::string reason = systemMessage(::GetLastError());
        abandon();
        return fail({.kind = FileFaultKind::systemText, .text = std::move(reason)});
    }
    committed_ = true;
    return true;
}

void AtomicFile::abandon() {
    if (descriptor_ >= 0) {
        ::_close(descriptor_);
        descriptor_ = -1;
    }
    if (!writingPath_.empty()) {
        ::_unlink(writingPath_.c_str());
        writingPath_.clear();
    }
}

}  // namespace loadstar
