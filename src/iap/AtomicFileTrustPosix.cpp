#include "AtomicFileTrust.h"

#include <unistd.h>

namespace loadstar {

namespace {

bool everyoneMayWrite(const struct stat& folder) {
    return (folder.st_mode & S_IWOTH) != 0;
}

}  // namespace

std::string untrustedFolderReason(const struct stat& folder, const std::string& path) {
    const uid_t user = ::geteuid();
    if (folder.st_uid != user && folder.st_uid != 0 && (folder.st_mode & S_IWUSR) != 0) {
        return "the folder " + path + " belongs to another user (uid " +
               std::to_string(folder.st_uid) + "), who could swap what is in it";
    }
    if (everyoneMayWrite(folder) && (folder.st_mode & S_ISVTX) == 0) {
        return "every user may write to the folder " + path +
               " (it has no sticky bit), and could swap what is in it";
    }
    return {};
}

std::string untrustedLinkReason(const struct stat& link, const std::string& path,
                                const struct stat& folder, const std::string& folderPath) {
    if (everyoneMayWrite(folder) && (folder.st_mode & S_ISVTX) != 0) {
        return "refusing to follow the link " + path + ": it lies in the shared folder " +
               folderPath + ", where any user may plant links (give the file's own name)";
    }
    if (link.st_uid != ::geteuid() && link.st_uid != folder.st_uid) {
        return "refusing to follow the link " + path + ": it belongs to another user (uid " +
               std::to_string(link.st_uid) + ")";
    }
    return {};
}

}  // namespace loadstar
