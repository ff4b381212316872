#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <utility>

#include "iap/AtomicFileTrust.h"
#include "link/UniqueDescriptor.h"

namespace loadstar {

namespace {

bool everyoneMayWrite(const struct stat& folder) {
    return (folder.st_mode & S_IWOTH) != 0;
}

int openPathRetrying(int folder, const char* name, int flags) {
    int descriptor = -1;
    do {
        descriptor = ::openat(folder, name, flags | O_PATH | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

// The names of `path` between its slashes, in order.
std::deque<std::string> namesOf(const std::string& path) {
    std::deque<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start) {
            names.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return names;
}

}  // namespace

FileFault untrustedFolderFault(const struct stat& folder, const std::string& path) {
    const uid_t user = ::geteuid();
    if (folder.st_uid != user && folder.st_uid != 0 && (folder.st_mode & S_IWUSR) != 0) {
        return {.kind = FileFaultKind::folderOfAnotherUser, .folder = path, .owner = folder.st_uid};
    }
    if (everyoneMayWrite(folder) && (folder.st_mode & S_ISVTX) == 0) {
        return {.kind = FileFaultKind::folderWritableByAll, .folder = path};
    }
    return {};
}

FileFault untrustedLinkFault(const struct stat& link, const std::string& path,
                             const struct stat& folder, const std::string& folderPath) {
    if (everyoneMayWrite(folder) && (folder.st_mode & S_ISVTX) != 0) {
        return {.kind = FileFaultKind::linkInSharedFolder, .path = path, .folder = folderPath};
    }
    if (link.st_uid != ::geteuid() && link.st_uid != folder.st_uid) {
        return {.kind = FileFaultKind::linkOfAnotherUser, .path = path, .owner = link.st_uid};
    }
    return {};
}

namespace {

FileFault folderFault(int error, const std::string& folder) {
    return {.kind = FileFaultKind::folderError, .error = error, .folder = folder};
}

}  // namespace

std::string joinedPath(const std::string& folder, const std::string& name) {
    if (folder == ".") {
        return name;
    }
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool readOpenedLink(int link, std::string& target) {
    char text[PATH_MAX];
    const ssize_t length = ::readlinkat(link, "", text, sizeof text);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof text) {
        return false;
    }
    target.assign(text, static_cast<std::size_t>(length));
    return true;
}

int openFolderByName(const std::string& path, int& links, FileFault& fault) {
    std::deque<std::string> names = namesOf(path);
    std::string shown = path.empty() || path[0] != '/' ? "." : "/";
    UniqueDescriptor folder(openPathRetrying(AT_FDCWD, shown.c_str(), O_DIRECTORY));
    while (folder.valid() && !names.empty()) {
        const std::string name = names.front();
        names.pop_front();
        const std::string entryShown = joinedPath(shown, name);
        UniqueDescriptor entry(openPathRetrying(folder.get(), name.c_str(), O_NOFOLLOW));
        struct stat info {};
        struct stat folderInfo {};
        if (!entry.valid() || ::fstat(entry.get(), &info) != 0 ||
            ::fstat(folder.get(), &folderInfo) != 0) {
            fault = folderFault(errno, entryShown);
            return -1;
        }
        if (S_ISLNK(info.st_mode)) {
            fault = untrustedLinkFault(info, entryShown, folderInfo, shown);
            std::string target;
            if (fault.ok() && ++links > linkLimit) {
                fault = {.kind = FileFaultKind::tooManyLinks, .error = ELOOP, .folder = entryShown};
            } else if (fault.ok() && !readOpenedLink(entry.get(), target)) {
                fault = {.kind = FileFaultKind::linkError, .error = errno, .path = entryShown};
            }
            if (!fault.ok()) {
                return -1;
            }
            const std::deque<std::string> targetNames = namesOf(target);
            names.insert(names.begin(), targetNames.begin(), targetNames.end());
            if (target.front() == '/') {
                shown = "/";
                folder.reset(openPathRetrying(AT_FDCWD, "/", O_DIRECTORY));
            }
            continue;
        }
        if (!S_ISDIR(info.st_mode)) {
            fault = folderFault(ENOTDIR, entryShown);
            return -1;
        }
        folder.reset(entry.release());
        shown = entryShown;
    }
    if (!folder.valid()) {
        fault = folderFault(errno, shown);
    }
    return folder.release();
}

int openTrustedFolder(const std::string& path, FileFault& fault) {
    int links = 0;
    UniqueDescriptor folder(openFolderByName(path, links, fault));
    struct stat info {};
    if (folder.valid() && ::fstat(folder.get(), &info) != 0) {
        fault = folderFault(errno, path);
        return -1;
    }
    if (folder.valid()) {
        fault = untrustedFolderFault(info, path);
    }
    return fault.ok() ? folder.release() : -1;
}

}  // namespace loadstar
