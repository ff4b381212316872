#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace loadstar {

namespace {

constexpr int temporaryNameAttempts = 100;

int closeDescriptor(int descriptor) {
    // POSIX leaves the descriptor's state unspecified after EINTR; Linux has closed it already,
    // so it is not closed a second time.
    const int result = ::close(descriptor);
    return result == 0 || errno == EINTR ? 0 : -1;
}

// The path that will be replaced: a symbolic link's target when it can be resolved.
std::string resolvedTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return path;
}

int openRetrying(const char* path, int flags, mode_t mode) {
    int descriptor = -1;
    do {
        descriptor = ::open(path, flags, mode);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

}  // namespace

AtomicFile::AtomicFile(std::string targetPath) : targetPath_(resolvedTarget(targetPath)) {}

AtomicFile::~AtomicFile() {
    if (!committed_) {
        abandon();
    }
}

bool AtomicFile::create() {
    if (targetPath_.empty() || targetPath_.back() == '/') {
        return false;  // names no file
    }
    struct stat info {};
    const bool exists = ::stat(targetPath_.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        // Not opened for reading, so a pipe without a reader is refused instead of blocking.
        descriptor_ = openRetrying(targetPath_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC, 0);
        if (descriptor_ < 0) {
            return false;
        }
        const int flags = ::fcntl(descriptor_, F_GETFL);
        ::fcntl(descriptor_, F_SETFL, flags & ~O_NONBLOCK);
        inPlace_ = true;
        writingPath_ = targetPath_;
        return true;
    }
    const std::filesystem::path target(targetPath_);
    const std::filesystem::path folder = target.parent_path();
    // A hidden name beside the target: ".<name>.tmp-<pid>-<n>".
    std::string stem(1, '.');
    stem += target.filename().string();
    stem += ".tmp-";
    stem += std::to_string(::getpid());
    const mode_t mode = exists ? (info.st_mode & 07777) : 0666;
    for (int attempt = 0; attempt < temporaryNameAttempts; ++attempt) {
        const std::string candidate = (folder / (stem + "-" + std::to_string(attempt))).string();
        descriptor_ =
            openRetrying(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (descriptor_ >= 0) {
            writingPath_ = candidate;
            if (exists) {
                ::fchmod(descriptor_, mode);  // the umask must not narrow an existing file's bits
            }
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
        const ssize_t n = ::write(descriptor_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
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
        const int result = closeDescriptor(descriptor_);
        descriptor_ = -1;
        committed_ = true;
        return result == 0;
    }
    int synced = 0;
    do {
        synced = ::fsync(descriptor_);
    } while (synced != 0 && errno == EINTR);
    const int closed = closeDescriptor(descriptor_);
    descriptor_ = -1;
    if (synced != 0 || closed != 0 || ::rename(writingPath_.c_str(), targetPath_.c_str()) != 0) {
        abandon();
        return false;
    }
    committed_ = true;
    return true;
}

void AtomicFile::abandon() {
    if (descriptor_ >= 0) {
        closeDescriptor(descriptor_);
        descriptor_ = -1;
    }
    if (!inPlace_ && !writingPath_.empty()) {
        ::unlink(writingPath_.c_str());
        writingPath_.clear();
    }
}

}  // namespace loadstar
