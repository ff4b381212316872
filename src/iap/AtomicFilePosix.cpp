#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "iap/AtomicFile.h"
#include "iap/AtomicFileTrust.h"
#include "link/UniqueDescriptor.h"

namespace loadstar {

namespace {

constexpr int temporaryNameAttempts = 100;

int closeDescriptor(int descriptor) {
    // POSIX leaves the descriptor's state unspecified after EINTR; Linux has closed it already,
    // so it is not closed a second time.
    const int result = ::close(descriptor);
    return result == 0 || errno == EINTR ? 0 : -1;
}

int openAtRetrying(int folder, const char* name, int flags, mode_t mode = 0) {
    int descriptor = -1;
    do {
        descriptor = ::openat(folder, name, flags, mode);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

// Why the existing entry `info` named `name` in `folder` may not be replaced, or none: only a
// regular file this user may open for writing is. It is opened without truncating, without
// blocking and without following a link, and must still be the file that was looked at.
FileFault whyNotReplaceable(int folder, const std::string& name, const struct stat& info) {
    // A device, a pipe or a folder cannot be replaced by a complete file, and writing one in
    // place could hang on a pipe or reach a device: refused without being opened for writing.
    if (!S_ISREG(info.st_mode)) {
        return {.kind = FileFaultKind::notRegularFile};
    }
    const UniqueDescriptor writable(
        openAtRetrying(folder, name.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!writable.valid()) {
        return {.kind = FileFaultKind::system, .error = errno};
    }
    struct stat opened {};
    if (::fstat(writable.get(), &opened) != 0 || opened.st_dev != info.st_dev ||
        opened.st_ino != info.st_ino) {
        return {.kind = FileFaultKind::changedWhileLooked};
    }
    return {};
}

// `path` split at its last slash: its folder ("." or "/" when it names no other) and its name.
std::pair<std::string, std::string> folderAndName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

// Follows the opened link `link` (`info`) in the folder `folderInfo` at `folderPath`: `path`, the
// link's name, becomes the name it leads to. Why it may not be followed, or none.
FileFault followLink(int link, const struct stat& info, const struct stat& folderInfo,
                     const std::string& folderPath, int& links, std::string& path) {
    if (FileFault fault = untrustedLinkFault(info, path, folderInfo, folderPath); !fault.ok()) {
        return fault;
    }
    if (++links > linkLimit) {
        return {.kind = FileFaultKind::tooManyLinks, .error = ELOOP};
    }
    std::string target;
    if (!readOpenedLink(link, target)) {
        return {.kind = FileFaultKind::linkError, .error = errno, .path = path};
    }
    path = target.front() == '/' ? target : joinedPath(folderPath, target);
    return {};
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

AtomicFile::AtomicFile(std::string targetPath) : targetPath_(std::move(targetPath)) {}

// Walks from the name given to the file that will be replaced: the folder is opened name by name
// and looked at, the file's name in it opened without following a link; a link that may be
// followed leads on to its target, a missing name ends the walk with a new file there. Ends with
// folder_ and targetName_ set, and the target's mode.
bool AtomicFile::create() {
    if (targetPath_.empty() || targetPath_.back() == '/') {
        return fail(EISDIR);  // names no file
    }
    std::string path = targetPath_;
    int links = 0;
    for (;;) {
        const auto [folderPath, name] = folderAndName(path);
        if (name.empty() || name == "." || name == "..") {
            return fail(EISDIR);  // a link to a folder's name
        }
        FileFault refusal;
        UniqueDescriptor folder(openFolderByName(folderPath, links, refusal));
        struct stat folderInfo {};
        if (!folder.valid()) {
            return fail(std::move(refusal));
        }
        if (::fstat(folder.get(), &folderInfo) != 0) {
            return fail({.kind = FileFaultKind::folderError, .error = errno, .folder = folderPath});
        }
        if (FileFault untrusted = untrustedFolderFault(folderInfo, folderPath); !untrusted.ok()) {
            untrusted.refusingToSave = true;
            return fail(std::move(untrusted));
        }
        const UniqueDescriptor entry(
            openAtRetrying(folder.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat info {};
        if ((!entry.valid() && errno != ENOENT) ||
            (entry.valid() && ::fstat(entry.get(), &info) != 0)) {
            return fail({.kind = FileFaultKind::system, .error = errno, .path = shownName(path)});
        }
        if (entry.valid() && S_ISLNK(info.st_mode)) {
            if (FileFault refused =
                    followLink(entry.get(), info, folderInfo, folderPath, links, path);
                !refused.ok()) {
                return fail(std::move(refused));
            }
            continue;
        }
        if (entry.valid()) {
            if (FileFault refused = whyNotReplaceable(folder.get(), name, info); !refused.ok()) {
                refused.path = shownName(path);
                return fail(std::move(refused));
            }
        }
        targetMode_ = entry.valid() ? info.st_mode & 07777 : 0666 & ~currentUmask();
        folder_ = folder.release();
        targetName_ = name;
        return createTemporary(folderPath);
    }
}

std::string AtomicFile::shownName(const std::string& path) const {
    return path == targetPath_ ? std::string() : path;
}

// The temporary file: made new (O_EXCL, never through a link) and private until it is complete.
bool AtomicFile::createTemporary(const std::string& folderPath) {
    for (int attempt = 0; attempt < temporaryNameAttempts; ++attempt) {
        const std::string candidate = temporaryFileName(targetName_, ::getpid(), attempt);
        descriptor_ = openAtRetrying(folder_, candidate.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor_ >= 0) {
            writingName_ = candidate;
            writingPath_ = joinedPath(folderPath, candidate);
            return true;
        }
        if (errno == EACCES || errno == EPERM) {
            return fail(
                {.kind = FileFaultKind::refusedByFolder, .error = errno, .folder = folderPath});
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
    // The target's mode, given only now that the content is complete; the umask does not narrow
    // an existing file's bits.
    int error = ::fchmod(descriptor_, static_cast<mode_t>(targetMode_)) != 0 ? errno : 0;
    int synced = 0;
    do {
        synced = ::fsync(descriptor_);
    } while (synced != 0 && errno == EINTR);
    if (synced != 0 && error == 0) {
        error = errno;
    }
    if (closeDescriptor(descriptor_) != 0 && error == 0) {
        error = errno;
    }
    descriptor_ = -1;
    if (error == 0 &&
        ::renameat(folder_, writingName_.c_str(), folder_, targetName_.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        abandon();
        return fail(error);
    }
    closeDescriptor(folder_);
    folder_ = -1;
    committed_ = true;
    return true;
}

void AtomicFile::abandon() {
    if (descriptor_ >= 0) {
        closeDescriptor(descriptor_);
        descriptor_ = -1;
    }
    if (!writingName_.empty() && folder_ >= 0) {
        ::unlinkat(folder_, writingName_.c_str(), 0);
    }
    writingName_.clear();
    writingPath_.clear();
    if (folder_ >= 0) {
        closeDescriptor(folder_);
        folder_ = -1;
    }
}

}  // namespace loadstar
