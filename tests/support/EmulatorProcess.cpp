#include "EmulatorProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace loadstar::testing {

namespace {

using Clock = std::chrono::steady_clock;

std::string makeTemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kel-emulator-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return pattern;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

int statusOf(int waitStatus) {
    if (WIFEXITED(waitStatus)) {
        return WEXITSTATUS(waitStatus);
    }
    if (WIFSIGNALED(waitStatus)) {
        return 128 + WTERMSIG(waitStatus);
    }
    return -1;
}

// Waits for `pid` up to `timeout`; kills it after that. Returns the exit status (-1 if killed).
int awaitEnd(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int waitStatus = 0;
        const pid_t done = ::waitpid(pid, &waitStatus, WNOHANG);
        if (done == pid) {
            return statusOf(waitStatus);
        }
        if (done < 0 && errno != EINTR) {
            return -1;
        }
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &waitStatus, 0) < 0 && errno == EINTR) {
            }
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Starts the emulator with stdin from /dev/null, stdout on `outputFd` and stderr into a file.
// Every other descriptor of the test is close-on-exec.
pid_t spawnEmulator(const std::vector<std::string>& args, int outputFd,
                    const std::string& errorPath) {
    std::vector<std::string> argvText{EmulatorProcess::programPath()};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argvText) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = -1;
    const int result = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

}  // namespace

std::string EmulatorProcess::programPath() {
    return KEL_EMULATOR_PATH;
}

EmulatorProcess::EmulatorProcess(std::vector<std::string> extraArgs)
    : workFolder_(makeTemporaryFolder()) {
    if (workFolder_.empty()) {
        startupError_ = std::string("cannot make a temporary folder: ") + std::strerror(errno);
        return;
    }
    controlPath_ = workFolder_ + "/control";
    errorPath_ = workFolder_ + "/stderr.txt";
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
    pid_ = spawnEmulator(args, pipeFds[1], errorPath_);
    ::close(pipeFds[1]);
    outputFd_ = pipeFds[0];
    if (pid_ < 0) {
        startupError_ = "cannot start " + programPath();
        return;
    }
    readDevicePath(std::chrono::seconds(10));
}

void EmulatorProcess::readDevicePath(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::string line;
    while (Clock::now() < deadline) {
        pollfd waiting{outputFd_, POLLIN, 0};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (::poll(&waiting, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char c = 0;
        const ssize_t got = ::read(outputFd_, &c, 1);
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
    if (outputFd_ >= 0) {
        ::close(outputFd_);
    }
    if (!workFolder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(workFolder_, ignored);
    }
}

void EmulatorProcess::control(const std::string& line) {
    const int fd = ::open(controlPath_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
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
    ::close(fd);
}

int EmulatorProcess::stop(int signal, std::chrono::milliseconds timeout) {
    if (pid_ < 0 || ended_) {
        return exitStatus_;
    }
    ::kill(pid_, signal);
    exitStatus_ = awaitEnd(pid_, timeout);
    ended_ = true;
    return exitStatus_;
}

std::string EmulatorProcess::errorText() const {
    return readFile(errorPath_);
}

ProgramRun runEmulatorToEnd(const std::vector<std::string>& args,
                            std::chrono::milliseconds timeout) {
    ProgramRun run;
    const std::string folder = makeTemporaryFolder();
    if (folder.empty()) {
        run.errors = "cannot make a temporary folder";
        return run;
    }
    const std::string outputPath = folder + "/stdout.txt";
    const std::string errorPath = folder + "/stderr.txt";
    const int outputFd = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t pid = outputFd < 0 ? -1 : spawnEmulator(args, outputFd, errorPath);
    if (outputFd >= 0) {
        ::close(outputFd);
    }
    if (pid >= 0) {
        run.exitStatus = awaitEnd(pid, timeout);
    }
    run.output = readFile(outputPath);
    run.errors = readFile(errorPath);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return run;
}

}  // namespace loadstar::testing
