#include "EmulatorProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "FileContents.h"

namespace loadstar::testing {

using Clock = std::chrono::steady_clock;

std::string EmulatorProcess::programPath() {
    return KEL_EMULATOR_PATH;
}

EmulatorProcess::EmulatorProcess(std::vector<std::string> extraArgs)
    : controlPath_(folder_.file("control")), errorPath_(folder_.file("stderr.txt")) {
    extraArgs.push_back("--control");
    extraArgs.push_back(controlPath_);
    start(extraArgs);
}

void EmulatorProcess::start(const std::vector<std::string>& args) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        startupError_ = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    output_.reset(pipeFds[0]);
    {
        // Closed here once the child has its copy, so the read end sees the end of its output.
        const Descriptor writeEnd(pipeFds[1]);
        child_.emplace(programPath(), args, writeEnd.get(), errorPath_);
    }
    if (!child_->started()) {
        startupError_ = "cannot start " + programPath();
        return;
    }
    readDevicePath(std::chrono::seconds(10));
}

void EmulatorProcess::readDevicePath(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::string line;
    while (Clock::now() < deadline) {
        pollfd waiting{output_.get(), POLLIN, 0};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (::poll(&waiting, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char c = 0;
        const ssize_t got = ::read(output_.get(), &c, 1);
        if (got <= 0) {
            break;  // the program ended before it printed a whole line
        }
        if (c == '\n') {
            devicePath_ = line;
            return;
        }
        line += c;
    }
    startupError_ = "kel-emulator printed no device path (stdout: \"" + line + "\", stderr: \"" +
                    errorText() + "\")";
}

EmulatorProcess::~EmulatorProcess() {
    (void)stop();
}

void EmulatorProcess::control(const std::string& line) {
    const int fd = ::open(controlPath_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    const Descriptor controlPipe(fd);
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            break;
        }
        done += static_cast<std::size_t>(put);
    }
}

int EmulatorProcess::stop(int signal, std::chrono::milliseconds timeout) {
    if (!child_) {
        return -1;
    }
    if (child_->running()) {
        child_->signal(signal);
        if (child_->waitForExit(timeout) < 0) {
            child_->kill();
        }
    }
    return child_->waitForExit(std::chrono::milliseconds::zero());
}

std::string EmulatorProcess::errorText() const {
    return contentsOf(errorPath_);
}

ProgramResult runEmulatorToEnd(const std::vector<std::string>& args,
                               std::chrono::milliseconds timeout) {
    return runProgram(EmulatorProcess::programPath(), args, timeout);
}

}  // namespace loadstar::testing
