#include "ComPortName.h"

#include <sys/stat.h>
#include <unistd.h>

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

std::string resolveComPort(const std::string& perUserFolder, const std::string& systemLink,
                           const std::string& fallback) {
    const std::string perUserLink = perUserFolder + "/COM1";
    if (isPrivateFolder(perUserFolder) && exists(perUserLink)) {
        return perUserLink;
    }
    if (exists(systemLink)) {
        return systemLink;
    }
    return fallback;
}

std::string comPortDescription() {
    return "Serial device (default: COM1, i.e. /tmp/loadstar-<uid>/COM1, /dev/COM1 or /dev/ttyS0, "
           "the first that exists)";
}

std::string resolveComPort() {
    return resolveComPort(perUserDeviceFolder(), "/dev/COM1", "/dev/ttyS0");
}

}  // namespace loadstar
