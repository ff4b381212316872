#include "emulator/ControlChannel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "emulator/SetupError.h"
#include "iap/AtomicFileTrust.h"
#include "words/FileFaultWords.h"

namespace loadstar::emulator {

namespace {

// A line longer than this is no control command; it is dropped rather than held without bound.
constexpr std::size_t longestLine = 4096;

std::string systemReason() {
    return std::strerror(errno);
}

}  // namespace

ControlChannel::ControlChannel(std::string path) : path_(std::move(path)) {
    const std::filesystem::path named(path_);
    const std::string folderPath =
        named.has_parent_path() ? named.parent_path().string() : std::string(".");
    name_ = named.filename().string();
    // Opened name by name: no link that another user could have planted leads elsewhere.
    FileFault refusal;
    folder_ = UniqueDescriptor(openTrustedFolder(folderPath, refusal));
    if (!folder_.valid()) {
        throw SetupError("refusing the control pipe " + path_ + ": " + fileFaultWords(refusal));
    }
    if (::mkfifoat(folder_.get(), name_.c_str(), 0600) == 0) {
        created_ = true;
    } else if (errno != EEXIST) {
        throw SetupError("cannot create the control pipe " + path_ + ": " + systemReason());
    }
    reader_ = openPipeEnd(O_RDONLY);
    struct stat status {};
    if (::fstat(reader_.get(), &status) != 0 || !S_ISFIFO(status.st_mode)) {
        throw SetupError(path_ + " exists and is not a named pipe");
    }
    // Whoever may write to the pipe steers the board: only this user.
    if (status.st_uid != ::geteuid()) {
        throw SetupError("refusing the control pipe " + path_ +
                         ": it belongs to another user (uid " + std::to_string(status.st_uid) +
                         "); give a name that does not exist, and kel-emulator makes the pipe");
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        throw SetupError("refusing the control pipe " + path_ +
                         ": other users may write to it (chmod 600 it, or give a name that does "
                         "not exist, and kel-emulator makes the pipe)");
    }
    keepOpenWriter_ = openPipeEnd(O_WRONLY);
    struct stat writerStatus {};
    if (::fstat(keepOpenWriter_.get(), &writerStatus) != 0 ||
        writerStatus.st_ino != status.st_ino || writerStatus.st_dev != status.st_dev) {
        throw SetupError("the control pipe " + path_ + " changed while it was being opened");
    }
}

// Never through a link, never waiting.
UniqueDescriptor ControlChannel::openPipeEnd(int direction) const {
    UniqueDescriptor end(
        ::openat(folder_.get(), name_.c_str(), direction | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!end.valid()) {
        if (errno == ELOOP) {
            throw SetupError("refusing the control pipe " + path_ + ": it is a symbolic link");
        }
        throw SetupError("cannot open the control pipe " + path_ + ": " + systemReason());
    }
    return end;
}

ControlChannel::~ControlChannel() {
    if (created_) {
        ::unlinkat(folder_.get(), name_.c_str(), 0);
    }
}

std::vector<std::string> ControlChannel::takeLines() {
    std::vector<std::string> lines;
    char buffer[512];
    for (;;) {
        const ssize_t got = ::read(reader_.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] == '\n') {
                lines.push_back(std::move(partialLine_));
                partialLine_.clear();
            } else if (partialLine_.size() < longestLine) {
                partialLine_ += buffer[i];
            }
        }
    }
    return lines;
}

}  // namespace loadstar::emulator
