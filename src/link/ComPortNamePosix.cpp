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
    ComPortChoice choice;
    choice.systemLink = systemLink;
    for (const std::string& perUserFolder : perUserFolders) {
        const std::string perUserLink = perUserFolder + "/COM1";
        choice.looked.push_back(perUserLink);
        if (!exists(perUserLink)) {
            continue;
        }
        if (!isPrivateFolder(perUserFolder)) {
            choice.ignored.push_back({perUserLink, true});
        } else if (!isLiveLink(perUserLink)) {
            choice.ignored.push_back({perUserLink, false});
        } else {
            choice.device = perUserLink;
            choice.why = ComPortChoice::Why::perUserLink;
            choice.folder = perUserFolder;
            return choice;
        }
    }
    if (exists(systemLink)) {
        choice.device = systemLink;
        choice.why = ComPortChoice::Why::systemLink;
        return choice;
    }
    choice.device = fallback;
    choice.why = ComPortChoice::Why::noneExists;
    return choice;
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

std::string resolveComPort() {
    return chooseComPort().device;
}

}  // namespace loadstar
