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

// Whether this user may open the existing regular file `path` for writing. Opened without
// truncating and without blocking, so the file is not changed and a name that has turned into a
// pipe meanwhile cannot hang.
bool mayWrite(const std::string& path) {
    const int descriptor = openRetrying(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC, 0);
    if (descriptor < 0) {
        return false;
    }
    closeDescriptor(descriptor);
    return true;
}

}  // namespace

AtomicFile::AtomicFile(std::string targetPath) : targetPath_(resolvedTarget(targetPath)) {}

bool AtomicFile::create() {
    if (targetPath_.empty() || targetPath_.back() == '/') {
        return fail(EISDIR);  // names no file
    }
    struct stat info {};
    const bool exists = ::stat(targetPath_.c_str(), &info) == 0;
    // A device, a pipe or a folder cannot be replaced by a complete file, and writing one in
    // place could hang on a pipe or reach a device: refused, like a file this user may not write
    // (which renaming over it would replace all the same).
    if (exists && !S_ISREG(info.st_mode)) {
        return fail("not a regular file");
    }
    if (exists && !mayWrite(targetPath_)) {
        return fail(errno);
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
        const ssize_t n = ::write(descriptor_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
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
    int synced = 0;
    do {
        synced = ::fsync(descriptor_);
    } while (synced != 0 && errno == EINTR);
    int error = synced != 0 ? errno : 0;
    if (closeDescriptor(descriptor_) != 0 && error == 0) {
        error = errno;
    }
    descriptor_ = -1;
    if (error == 0 && ::rename(writingPath_.c_str(), targetPath_.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        abandon();
        return fail(error);
    }
    committed_ = true;
    return true;
}

void AtomicFile::abandon() {
    if (descriptor_ >= 0) {
        closeDescriptor(descriptor_);
        descriptor_ = -1;
    }
    if (!writingPath_.empty()) {
        ::unlink(writingPath_.c_str());
        writingPath_.clear();
    }
}

}  // namespace loadstar
