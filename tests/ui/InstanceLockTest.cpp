// The instance lock between processes: a second copy learns that one runs, the lock dies with
// its process however it ends, children do not inherit it, and an unsafe folder is not used.

#include "InstanceLock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

namespace loadstar {
namespace {

namespace fs = std::filesystem;

// A process that takes the lock, tells through a pipe whether another copy ran, and holds the
// lock until it is ended by a signal: SIGTERM the ordinary way, SIGKILL without any clean-up.
class LockHolder {
  public:
    LockHolder(const std::string& name, const std::string& folder) {
        int report[2];
        if (::pipe(report) != 0 || (pid_ = ::fork()) < 0) {
            std::abort();
        }
        if (pid_ == 0) {
            const InstanceLock lock(name, folder);
            const char answer = lock.anotherInstanceRuns() ? 'y' : 'n';
            (void)!::write(report[1], &answer, 1);
            for (;;) {
                ::pause();
            }
        }
        ::close(report[1]);
        char answer = 0;
        sawAnother = ::read(report[0], &answer, 1) == 1 && answer == 'y';
        ::close(report[0]);
    }
    ~LockHolder() { end(SIGTERM); }
    void end(int signal) {
        if (pid_ > 0) {
            ::kill(pid_, signal);
            ::waitpid(std::exchange(pid_, -1), nullptr, 0);
        }
    }

    bool sawAnother = false;

  private:
    pid_t pid_ = -1;
};

class InstanceLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/instance-lock-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        base = pattern;
        folder = base + "/devices";
    }
    void TearDown() override { fs::remove_all(base); }

    std::string base;
    std::string folder;
    // A name of its own, so that the socket fallback never meets a real running copy.
    std::string name = "LockTest" + std::to_string(::getpid());
};

TEST_F(InstanceLockTest, EveryRunningCopyHoldsItUntilItsProcessEnds) {
    {
        const InstanceLock lock(name, folder);
        EXPECT_FALSE(lock.anotherInstanceRuns());
        EXPECT_TRUE(lock.notice().empty()) << lock.notice();
        struct stat status {};
        ASSERT_EQ(::stat(folder.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0700u);
    }
    LockHolder first(name, folder);
    EXPECT_FALSE(first.sawAnother);
    LockHolder second(name, folder);
    EXPECT_TRUE(second.sawAnother);
    // With the first gone, a third still finds the second.
    first.end(SIGTERM);
    LockHolder third(name, folder);
    EXPECT_TRUE(third.sawAnother);
    second.end(SIGKILL);
    third.end(SIGKILL);
    LockHolder fourth(name, folder);
    EXPECT_FALSE(fourth.sawAnother);
}

TEST_F(InstanceLockTest, ProgramsStartedByTheHolderDoNotKeepIt) {
    pid_t child = -1;
    {
        const InstanceLock lock(name, folder);
        // Closed on exec: its end of file tells that the child runs the new program.
        int started[2];
        ASSERT_EQ(::pipe2(started, O_CLOEXEC), 0);
        child = ::fork();
        if (child == 0) {
            ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(started[1]);
        char ignored = 0;
        ASSERT_EQ(::read(started[0], &ignored, 1), 0);
        ::close(started[0]);
    }
    // The holder let go; the program it started, still running, must not hold it.
    LockHolder next(name, folder);
    EXPECT_FALSE(next.sawAnother);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

TEST_F(InstanceLockTest, FolderOthersMayWriteIsNotUsedButCopiesStillMeet) {
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    LockHolder first(name, folder);
    const InstanceLock second(name, folder);
    EXPECT_TRUE(second.anotherInstanceRuns());
    EXPECT_NE(second.notice().find("not private"), std::string::npos) << second.notice();
    EXPECT_FALSE(fs::exists(folder + "/" + name + ".lock"));
}

TEST_F(InstanceLockTest, LinkInPlaceOfTheFolderIsNotFollowed) {
    const std::string elsewhere = base + "/elsewhere";
    ASSERT_EQ(::mkdir(elsewhere.c_str(), 0700), 0);
    fs::create_directory_symlink(elsewhere, folder);
    const InstanceLock lock(name, folder);
    EXPECT_FALSE(lock.anotherInstanceRuns());
    EXPECT_FALSE(lock.notice().empty());
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

}  // namespace
}  // namespace loadstar
