#include "ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>

extern char** environ;

namespace loadstar::testing {

namespace {

// Lets `target` (1 or 2) of the child write where `output` says.
void redirect(posix_spawn_file_actions_t& actions, int target, const ChildOutput& output) {
    if (const auto* path = std::get_if<std::string>(&output)) {
        posix_spawn_file_actions_addopen(&actions, target, path->c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    } else {
        posix_spawn_file_actions_adddup2(&actions, std::get<int>(output), target);
    }
}

// The null-terminated array of C strings execve takes; valid while `texts` lives unchanged.
std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const ChildOutput& output, const ChildOutput& errors,
                           const ChildEnvironment& environment) {
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<std::string> entries = environment.value_or(std::vector<std::string>{});
    const auto argv = pointersTo(words);
    const auto envp = pointersTo(entries);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    redirect(actions, STDOUT_FILENO, output);
    redirect(actions, STDERR_FILENO, errors);
    if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(),
                      environment ? envp.data() : environ) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    kill();
}

void ChildProcess::signal(int number) const {
    if (running()) {
        ::kill(pid_, number);
    }
}

int ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        int waitStatus = 0;
        const pid_t done = ::waitpid(pid_, &waitStatus, WNOHANG);
        if (done == pid_) {
            reaped_ = true;
            endedBySignal_ = WIFSIGNALED(waitStatus);
            if (WIFEXITED(waitStatus)) {
                exitStatus_ = WEXITSTATUS(waitStatus);
            } else if (endedBySignal_) {
                exitStatus_ = 128 + WTERMSIG(waitStatus);
            }
        } else if (done < 0 && errno != EINTR) {
            reaped_ = true;  // not our child any more: nothing left to wait for
        } else if (std::chrono::steady_clock::now() >= deadline) {
            break;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return exitStatus_;
}

void ChildProcess::kill() {
    if (!running()) {
        return;
    }
    ::kill(pid_, SIGKILL);
    int waitStatus = 0;
    while (::waitpid(pid_, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
}

}  // namespace loadstar::testing
