// The instance lock: a second copy learns that one runs, the lock dies with its process however
// it ends, programs it starts do not inherit it, and an unsafe folder is not used.

#include "app/InstanceLock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "support/TempDir.h"

namespace loadstar {
namespace {

namespace fs = std::filesystem;

class InstanceLockTest : public ::testing::Test {
  protected:
    // Whether a copy starting now learns that another one runs.
    [[nodiscard]] bool anotherRuns() const {
        return InstanceLock(name, folder).anotherInstanceRuns();
    }

    testing::TempDir base;
    std::string folder = base.file("devices");
    // A name of its own, so that the socket fallback never meets a real running copy.
    std::string name = "LockTest" + std::to_string(::getpid());
};

TEST_F(InstanceLockTest, EveryRunningCopyHoldsItUntilItsProcessEnds) {
    auto first = std::make_unique<InstanceLock>(name, folder);
    EXPECT_FALSE(first->anotherInstanceRuns());
    EXPECT_TRUE(first->notice().empty()) << first->notice();
    struct stat status {};
    ASSERT_EQ(::stat(folder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    // Programs it starts do not inherit it: its descriptor closes on exec.
    int descriptors = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        if (fs::read_symlink(entry.path(), ignored) == first->lockFile()) {
            ++descriptors;
            EXPECT_NE(::fcntl(std::stoi(entry.path().filename()), F_GETFD) & FD_CLOEXEC, 0);
        }
    }
    EXPECT_EQ(descriptors, 1);
    auto second = std::make_unique<InstanceLock>(name, folder);
    EXPECT_TRUE(second->anotherInstanceRuns());
    first.reset();
    EXPECT_TRUE(anotherRuns()) << "with the first gone, the second still holds it";
    second.reset();
    EXPECT_FALSE(anotherRuns());

    // A copy in another process, killed without any clean-up.
    const pid_t holder = ::fork();
    if (holder == 0) {
        const InstanceLock lock(name, folder);
        ::raise(SIGSTOP);
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(holder, nullptr, WUNTRACED), holder);  // stopped, holding the lock
    EXPECT_TRUE(anotherRuns());
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_FALSE(anotherRuns());
}

// A folder others may write, or a link in place of the folder: no file is made there, and the
// copies still meet.
TEST_F(InstanceLockTest, UnsafeFolderIsNotUsedButCopiesStillMeet) {
    const std::string elsewhere = base.file("elsewhere");
    ASSERT_EQ(::mkdir(elsewhere.c_str(), 0700), 0);
    for (const bool link : {false, true}) {
        fs::remove_all(folder);
        if (link) {
            fs::create_directory_symlink(elsewhere, folder);
        } else {
            ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
            ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
        }
        const InstanceLock first(name, folder);
        EXPECT_FALSE(first.anotherInstanceRuns());
        EXPECT_NE(first.notice().find("not private"), std::string::npos) << first.notice();
        EXPECT_TRUE(anotherRuns());
        EXPECT_TRUE(fs::is_empty(link ? elsewhere : folder));
    }
}

// Any local user may bind the socket name: one held by another user's process, listening or not,
// is no running copy of this user's, and the question is not asked.
TEST_F(InstanceLockTest, ASocketNameHeldByAnotherUserIsNoRunningCopy) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "not root, so no process of another user can be started";
    }
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);  // not private: the socket name is used
    const std::string taken = "loadstar-" + std::to_string(::getuid()) + "-" + name;
    for (const bool listening : {true, false}) {
        const pid_t squatter = ::fork();
        if (squatter == 0) {
            const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path + 1, taken.data(), taken.size());
            const auto length =
                static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + taken.size());
            if (::setgid(65534) != 0 || ::setuid(65534) != 0 ||
                ::bind(socket, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
                (listening && ::listen(socket, 1) != 0)) {
                ::_exit(1);
            }
            ::raise(SIGSTOP);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(squatter, &status, WUNTRACED), squatter);
        ASSERT_TRUE(WIFSTOPPED(status)) << "the other user's process could not take the name";
        const InstanceLock lock(name, folder);
        EXPECT_FALSE(lock.anotherInstanceRuns()) << listening;
        EXPECT_NE(lock.notice().find("another user"), std::string::npos) << lock.notice();
        ::kill(squatter, SIGKILL);
        ::waitpid(squatter, nullptr, 0);
    }
}

}  // namespace
}  // namespace loadstar
