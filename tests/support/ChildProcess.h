#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

extern char** environ;

namespace loadstar::testing {

// Where a child's stdout or stderr goes: a file path (created or truncated) or a descriptor of the
// test (the child gets a copy; the test still owns its own).
using ChildOutput = std::variant<std::string, int>;
// "NAME=value" entries replacing the test's environment; without them the child inherits it.
using ChildEnvironment = std::optional<std::vector<std::string>>;

// A program started with `args` and no shell in between, stdin from /dev/null. The test's own
// descriptors stay out of it as long as it opens them close-on-exec. A child still running when
// the object goes is killed and reaped, so no test leaves one behind.
class ChildProcess {
  public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const ChildOutput& output, const ChildOutput& errors,
                 const ChildEnvironment& environment = std::nullopt) {
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
    ~ChildProcess() { kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False when the program could not be started.
    [[nodiscard]] bool started() const { return pid_ > 0; }
    [[nodiscard]] bool running() const { return started() && !reaped_; }
    void signal(int number) const {
        if (running()) {
            ::kill(pid_, number);
        }
    }
    // Stops it for at least `pause` and lets it go on. It is seen stopped before the pause counts
    // (a SIGCONT sent before a loaded machine let the stop take effect would cancel it).
    void holdFor(std::chrono::milliseconds pause) const {
        if (!running()) {
            return;
        }
        ::kill(pid_, SIGSTOP);
        int status = 0;
        while (::waitpid(pid_, &status, WUNTRACED) < 0 && errno == EINTR) {
        }
        std::this_thread::sleep_for(pause);
        ::kill(pid_, SIGCONT);
        while (::waitpid(pid_, &status, WCONTINUED) < 0 && errno == EINTR) {
        }
    }
    // Waits up to `timeout` for the end. The exit code, 128 + the signal that ended it, or -1
    // while it still runs or when it never started.
    int waitForExit(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (running()) {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                reaped_ = true;
                endedBySignal_ = WIFSIGNALED(status);
                exitStatus_ = endedBySignal_ ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
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
    // True when it ended by a signal rather than an exit (130 may be either).
    [[nodiscard]] bool endedBySignal() const { return endedBySignal_; }
    // Ends it with SIGKILL and reaps it.
    void kill() {
        signal(SIGKILL);
        waitForExit(std::chrono::seconds(10));
    }

  private:
    static void redirect(posix_spawn_file_actions_t& actions, int target,
                         const ChildOutput& output) {
        if (const auto* path = std::get_if<std::string>(&output)) {
            posix_spawn_file_actions_addopen(&actions, target, path->c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0600);
        } else {
            posix_spawn_file_actions_adddup2(&actions, std::get<int>(output), target);
        }
    }
    // The null-terminated array execve takes; valid while `texts` lives unchanged.
    static std::vector<char*> pointersTo(std::vector<std::string>& texts) {
        std::vector<char*> pointers;
        for (auto& text : texts) {
            pointers.push_back(text.data());
        }
        pointers.push_back(nullptr);
        return pointers;
    }

    pid_t pid_ = -1;
    bool reaped_ = false;
    int exitStatus_ = -1;
    bool endedBySignal_ = false;
};

}  // namespace loadstar::testing
