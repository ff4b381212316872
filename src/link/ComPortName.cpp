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

ComPortChoice chooseComPort(const std::string& perUserFolder, const std::string& systemLink,
                            const std::string& fallback) {
    const std::string perUserLink = perUserFolder + "/COM1";
    const bool perUserExists = exists(perUserLink);
    if (perUserExists && isPrivateFolder(perUserFolder)) {
        return {perUserLink, "the link in your own device folder " + perUserFolder +
                                 " (kel-emulator publishes itself there)"};
    }
    const std::string ignored = perUserExists ? "; " + perUserLink +
                                                    " is ignored, since its folder is not "
                                                    "private to you"
                                              : "";
    if (exists(systemLink)) {
        return {systemLink, "the link " + systemLink +
                                " exists (made by a udev rule or an administrator)" + ignored};
    }
    return {fallback, "neither " + perUserLink + " nor " + systemLink + " exists" + ignored};
}

ComPortChoice chooseComPort() {
    return chooseComPort(perUserDeviceFolder(), "/dev/COM1", "/dev/ttyS0");
}

std::string resolveComPort(const std::string& perUserFolder, const std::string& systemLink,
                           const std::string& fallback) {
    return chooseComPort(perUserFolder, systemLink, fallback).device;
}

std::string resolveComPort() {
    return chooseComPort().device;
}

}  // namespace loadstar
