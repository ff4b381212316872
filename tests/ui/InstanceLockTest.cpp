// The instance lock between processes: a second copy learns that one runs, the lock dies with
// its process however it ends, children do not inherit it, and an unsafe folder is not used.

#include "InstanceLock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace loadstar {
namespace {

namespace fs = std::filesystem;

// A process that takes the lock, reports through a pipe whether another copy ran, and holds the
// lock until it is ended by a signal.
class LockHolder {
  public:
    LockHolder(const std::string& name, const std::string& folder) {
        int report[2];
        if (::pipe(report) != 0) {
            std::abort();
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(report[0]);
            const InstanceLock lock(name, folder);
            const char answer = lock.anotherInstanceRuns() ? 'y' : 'n';
            (void)!::write(report[1], &answer, 1);
            ::close(report[1]);
            while (true) {
                ::pause();
            }
        }
        ::close(report[1]);
        char answer = 0;
        const bool reported = ::read(report[0], &answer, 1) == 1;
        ::close(report[0]);
        if (!reported) {
            std::abort();
        }
        sawAnother_ = answer == 'y';
    }
    ~LockHolder() { end(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    [[nodiscard]] bool sawAnother() const { return sawAnother_; }
    // Ends the process the ordinary way (SIGTERM).
    void end() { stop(SIGTERM); }
    // Ends it without any chance to clean up.
    void kill() { stop(SIGKILL); }

  private:
    void stop(int signal) {
        if (pid_ > 0) {
            ::kill(pid_, signal);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

    pid_t pid_ = -1;
    bool sawAnother_ = false;
};

class InstanceLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::array<char, 64> pattern{};
        std::snprintf(pattern.data(), pattern.size(), "/tmp/instance-lock-XXXXXX");
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        base = pattern.data();
        folder = base + "/devices";
        // A name of its own, so that the socket fallback never meets a real running copy.
        name = "LockTest" + std::to_string(::getpid());
    }
    void TearDown() override { fs::remove_all(base); }

    std::string base;
    std::string folder;
    std::string name;
};

TEST_F(InstanceLockTest, FirstCopyRunsAloneAndCreatesAPrivateFolder) {
    const InstanceLock lock(name, folder);
    EXPECT_FALSE(lock.anotherInstanceRuns());
    EXPECT_TRUE(lock.notice().empty()) << lock.notice();
    EXPECT_EQ(lock.lockFile(), folder + "/" + name + ".lock");
    struct stat status {};
    ASSERT_EQ(::stat(folder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST_F(InstanceLockTest, SecondProcessLearnsThatOneRuns) {
    LockHolder first(name, folder);
    EXPECT_FALSE(first.sawAnother());
    LockHolder second(name, folder);
    EXPECT_TRUE(second.sawAnother());
    // Every running copy holds it: with the first gone, a third still finds the second.
    first.end();
    LockHolder third(name, folder);
    EXPECT_TRUE(third.sawAnother());
    second.end();
    third.end();
    LockHolder fourth(name, folder);
    EXPECT_FALSE(fourth.sawAnother());
}

TEST_F(InstanceLockTest, LockDiesWithAKilledProcess) {
    LockHolder holder(name, folder);
    holder.kill();
    const InstanceLock lock(name, folder);
    EXPECT_FALSE(lock.anotherInstanceRuns());
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
        ASSERT_GT(child, 0);
        ::close(started[1]);
        char ignored = 0;
        ASSERT_EQ(::read(started[0], &ignored, 1), 0);
        ::close(started[0]);
    }
    // The holder let go; the program it started, still running, must not hold it.
    LockHolder next(name, folder);
    EXPECT_FALSE(next.sawAnother());
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
}

TEST_F(InstanceLockTest, FolderOthersMayWriteIsNotUsedButCopiesStillMeet) {
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    LockHolder first(name, folder);
    EXPECT_FALSE(first.sawAnother());
    const InstanceLock second(name, folder);
    EXPECT_TRUE(second.anotherInstanceRuns());
    EXPECT_NE(second.notice().find("not private"), std::string::npos) << second.notice();
    EXPECT_TRUE(second.lockFile().empty());
    EXPECT_FALSE(fs::exists(folder + "/" + name + ".lock"));
    first.end();
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
