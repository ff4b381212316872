#include "link/ComPortName.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace loadstar {

namespace {

bool exists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

}  // namespace

std::string perUserDeviceFolder() {
    return perUserDeviceFolders().front();
}

std::vector<std::string> perUserDeviceFolders() {
    std::vector<std::string> folders;
    // The session's runtime folder, which only the user can have made, when it is there and
    // private (a variable left from another session or pointing elsewhere is passed over).
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && isPrivateFolder(runtime)) {
        folders.push_back(std::string(runtime) + "/loadstar");
    }
    folders.push_back("/tmp/loadstar-" + std::to_string(::getuid()));
    return folders;
}

bool isPrivateFolder(const std::string& folder) {
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0) {
        return false;
    }
    return S_ISDIR(status.st_mode) && status.st_uid == ::getuid() &&
           (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool isLiveLink(const std::string& link) {
    const std::string lockPath = link + ".lock";
    const int lock = ::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (lock < 0) {
        return errno == ENOENT;  // no lock file: not an emulator's link
    }
    const bool held = ::flock(lock, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(lock);  // also gives back the lock taken just now
    return held;
}

ComPortChoice chooseComPort(const std::vector<std::string>& perUserFolders,
                            const std::string& systemLink, const std::string& fallback) {
    std::string ignored;
    std::vector<std::string> looked;
    for (const std::string& perUserFolder : perUserFolders) {
        const std::string perUserLink = perUserFolder + "/COM1";
        looked.push_back(perUserLink);
        if (!exists(perUserLink)) {
            continue;
        }
        if (!isPrivateFolder(perUserFolder)) {
            ignored += "; " + perUserLink + " is ignored, since its folder is not private to you";
        } else if (!isLiveLink(perUserLink)) {
            ignored += "; " + perUserLink + " is ignored, since the emulator that made it is gone";
        } else {
            return {perUserLink, "the link in your own device folder " + perUserFolder +
                                     " (kel-emulator publishes itself there)" + ignored};
        }
    }
    if (exists(systemLink)) {
        return {systemLink, "the link " + systemLink +
                                " exists (made by a udev rule or an administrator)" + ignored};
    }
    if (!ignored.empty()) {
        return {fallback, systemLink + " does not exist" + ignored};
    }
    if (looked.size() == 1) {
        return {fallback, "neither " + looked.front() + " nor " + systemLink + " exists"};
    }
    std::string listed;
    for (const std::string& link : looked) {
        listed += link + ", ";
    }
    return {fallback,
            "none of " + listed.substr(0, listed.size() - 2) + " and " + systemLink + " exists"};
}

ComPortChoice chooseComPort(const std::string& perUserFolder, const std::string& systemLink,
                            const std::string& fallback) {
    return chooseComPort(std::vector<std::string>{perUserFolder}, systemLink, fallback);
}

ComPortChoice chooseComPort() {
    return chooseComPort(perUserDeviceFolders(), "/dev/COM1", "/dev/ttyS0");
}

std::string resolveComPort(const std::string& perUserFolder, const std::string& systemLink,
                           const std::string& fallback) {
    return chooseComPort(perUserFolder, systemLink, fallback).device;
}

std::string comPortDescription() {
    return "Serial device (default: COM1, i.e. $XDG_RUNTIME_DIR/loadstar/COM1, "
           "/tmp/loadstar-<uid>/COM1, /dev/COM1 or /dev/ttyS0, the first that exists; see the "
           "ports command)";
}

std::string resolveComPort() {
    return chooseComPort().device;
}

}  // namespace loadstar
