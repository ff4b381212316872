#include "ControlChannel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "SetupError.h"

namespace loadstar::emulator {

namespace {

// A line longer than this is no control command; it is dropped rather than held without bound.
constexpr std::size_t longestLine = 4096;

std::string systemReason() {
    return std::strerror(errno);
}

}  // namespace

ControlChannel::ControlChannel(std::string path) : path_(std::move(path)) {
    if (::mkfifo(path_.c_str(), 0600) == 0) {
        created_ = true;
    } else if (errno != EEXIST) {
        throw SetupError("cannot create the control pipe " + path_ + ": " + systemReason());
    }
    struct stat status {};
    if (::lstat(path_.c_str(), &status) != 0 || !S_ISFIFO(status.st_mode)) {
        throw SetupError(path_ + " exists and is not a named pipe");
    }
    reader_ = UniqueFd(::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!reader_.valid()) {
        throw SetupError("cannot open the control pipe " + path_ + ": " + systemReason());
    }
    keepOpenWriter_ = UniqueFd(::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!keepOpenWriter_.valid()) {
        throw SetupError("cannot open the control pipe " + path_ + ": " + systemReason());
    }
}

ControlChannel::~ControlChannel() {
    if (created_) {
        ::unlink(path_.c_str());
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
