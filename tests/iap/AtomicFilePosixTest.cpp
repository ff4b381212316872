#include "AtomicFile.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"

namespace loadstar {
namespace {

namespace fs = std::filesystem;

bool writeWhole(const std::string& path, const std::string& content) {
    AtomicFile file(path);
    return file.create() && file.write(content) && file.commit();
}

unsigned permissionsOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

TEST(AtomicFilePosix, KeepsPermissionsAndLinks) {
    testing::TempDir folder;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ASSERT_TRUE(writeWhole(folder.file("new.hex"), "content\n"));
    EXPECT_EQ(permissionsOf(folder.file("new.hex")), 0666u & ~mask);
    const std::string target = folder.write("old.bin", "old content");
    ::chmod(target.c_str(), 0640);
    ASSERT_TRUE(writeWhole(target, "new"));
    EXPECT_EQ(permissionsOf(target), 0640u);
    fs::create_symlink("old.bin", folder.file("link.bin"));
    ASSERT_TRUE(writeWhole(folder.file("link.bin"), "through the link"));
    EXPECT_TRUE(fs::is_symlink(folder.file("link.bin")));
    EXPECT_EQ(folder.read("old.bin"), "through the link");
}

// Whether create() succeeds for `path` as a user without special rights: the test's own user,
// or "nobody" when the tests run as root (whom no permission bit stops).
bool createsAsOrdinaryUser(const std::string& path) {
    if (::geteuid() != 0) {
        return AtomicFile(path).create();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(2);
        }
        const bool created = AtomicFile(path).create();  // the temporary file is removed again
        ::_exit(created ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2) << "could not become nobody";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(AtomicFilePosix, RefusesWhatItCannotCreateOrReplace) {
    testing::TempDir folder;
    fs::create_directory(folder.file("folder.hex"));
    ASSERT_EQ(::mkfifo(folder.file("pipe.hex").c_str(), 0666), 0);
    fs::create_symlink("/dev/full", folder.file("full.hex"));  // a device is never written
    for (const std::string& target : {folder.file("missing/sector.hex"), folder.file("folder.hex"),
                                      folder.file("new/"), std::string(), std::string("/dev/null"),
                                      folder.file("pipe.hex"), folder.file("full.hex")}) {
        AtomicFile file(target);
        EXPECT_FALSE(file.create()) << target;
        EXPECT_FALSE(file.write("x"));
        EXPECT_FALSE(file.commit());
    }
    EXPECT_EQ(folder.fileCount(), 3);

    // A file its user may not write stays, even in a folder where a new file could be made.
    ::chmod(folder.path().c_str(), 0777);
    ::chmod(folder.write("readonly.hex", "kept").c_str(), 0444);
    ::chmod(folder.write("writable.hex", "replaced").c_str(), 0666);
    EXPECT_FALSE(createsAsOrdinaryUser(folder.file("readonly.hex")));
    EXPECT_TRUE(createsAsOrdinaryUser(folder.file("writable.hex")));
    EXPECT_EQ(folder.read("readonly.hex"), "kept");
}

}  // namespace
}  // namespace loadstar
