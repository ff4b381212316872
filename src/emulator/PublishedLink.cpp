#include "emulator/PublishedLink.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "emulator/SetupError.h"
#include "link/ComPortName.h"

namespace loadstar::emulator {

namespace {

std::string systemReason() {
    return std::strerror(errno);
}

std::string folderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

void ensurePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        throw SetupError("cannot create the device folder " + folder + ": " + systemReason());
    }
    if (loadstar::isPrivateFolder(folder)) {
        return;
    }
    struct stat status {};
    if (::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
        status.st_uid != ::getuid()) {
        // Made first by someone else: nothing this user can do to it makes it safe.
        throw SetupError("refusing to publish the board in " + folder +
                         ": the folder belongs to another user (uid " +
                         std::to_string(status.st_uid) +
                         "), who could swap the link; publish it elsewhere with --link, or ask an "
                         "administrator to remove the folder");
    }
    throw SetupError("refusing to publish the board in " + folder +
                     ": the folder must be a directory of your own that no one else may "
                     "write to (chmod 700 " +
                     folder + ", or remove it and run again)");
}

// Only a symbolic link may be replaced: anything else under the name is not ours to remove.
void ensureReplaceable(const std::string& linkPath) {
    struct stat status {};
    if (::lstat(linkPath.c_str(), &status) != 0) {
        if (errno == ENOENT) {
            return;
        }
        throw SetupError("cannot examine " + linkPath + ": " + systemReason());
    }
    if (!S_ISLNK(status.st_mode)) {
        throw SetupError(linkPath + " exists and is not a link; refusing to replace it");
    }
}

std::string linkTarget(const std::string& linkPath) {
    char target[4096];
    const ssize_t length = ::readlink(linkPath.c_str(), target, sizeof target - 1);
    return length < 0 ? std::string() : std::string(target, static_cast<std::size_t>(length));
}

// Held for the life of the emulator; the system releases it however the emulator ends.
UniqueDescriptor lockBeside(const std::string& linkPath) {
    const std::string lockPath = linkPath + ".lock";
    UniqueDescriptor lock(
        ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!lock.valid()) {
        throw SetupError("cannot create the lock " + lockPath + ": " + systemReason());
    }
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            throw SetupError("another kel-emulator publishes " + linkPath +
                             "; stop it first, or publish this one elsewhere with --link");
        }
        throw SetupError("cannot lock " + lockPath + ": " + systemReason());
    }
    return lock;
}

}  // namespace

PublishedLink::PublishedLink(std::string linkPath, std::string target)
    : linkPath_(std::move(linkPath)), target_(std::move(target)) {
    ensurePrivateFolder(folderOf(linkPath_));
    ensureReplaceable(linkPath_);
    lock_ = lockBeside(linkPath_);  // before the link appears, so a live link is always locked
    // Made under a temporary name and renamed over the old link, so the name never dangles.
    const std::string temporary = linkPath_ + ".new-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target_.c_str(), temporary.c_str()) != 0) {
        throw SetupError("cannot create the link " + linkPath_ + ": " + systemReason());
    }
    if (::rename(temporary.c_str(), linkPath_.c_str()) != 0) {
        const std::string reason = systemReason();
        ::unlink(temporary.c_str());
        throw SetupError("cannot create the link " + linkPath_ + ": " + reason);
    }
}

PublishedLink::~PublishedLink() {
    if (linkTarget(linkPath_) == target_) {
        ::unlink(linkPath_.c_str());
    }
    ::unlink((linkPath_ + ".lock").c_str());  // still held here: no one else has it meanwhile
}

}  // namespace loadstar::emulator
