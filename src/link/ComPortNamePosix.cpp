#include "ComPortName.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace loadstar {

namespace {

bool exists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

}  // namespace

std::string perUserDeviceFolder() {
    return "/tmp/loadstar-" + std::to_string(::getuid());
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

ComPortChoice chooseComPort(const std::string& perUserFolder, const std::string& systemLink,
                            const std::string& fallback) {
    const std::string perUserLink = perUserFolder + "/COM1";
    std::string ignored;
    if (exists(perUserLink)) {
        if (!isPrivateFolder(perUserFolder)) {
            ignored = "; " + perUserLink + " is ignored, since its folder is not private to you";
        } else if (!isLiveLink(perUserLink)) {
            ignored = "; " + perUserLink + " is ignored, since the emulator that made it is gone";
        } else {
            return {perUserLink, "the link in your own device folder " + perUserFolder +
                                     " (kel-emulator publishes itself there)"};
        }
    }
    if (exists(systemLink)) {
        return {systemLink, "the link " + systemLink +
                                " exists (made by a udev rule or an administrator)" + ignored};
    }
    if (!ignored.empty()) {
        return {fallback, systemLink + " does not exist" + ignored};
    }
    return {fallback, "neither " + perUserLink + " nor " + systemLink + " exists"};
}

ComPortChoice chooseComPort() {
    return chooseComPort(perUserDeviceFolder(), "/dev/COM1", "/dev/ttyS0");
}

std::string resolveComPort(const std::string& perUserFolder, const std::string& systemLink,
                           const std::string& fallback) {
    return chooseComPort(perUserFolder, systemLink, fallback).device;
}

std::string comPortDescription() {
    return "Serial device (default: COM1, i.e. /tmp/loadstar-<uid>/COM1, /dev/COM1 or /dev/ttyS0, "
           "the first that exists; see the ports command)";
}

std::string resolveComPort() {
    return chooseComPort().device;
}

}  // namespace loadstar
