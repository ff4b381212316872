#include "AtomicFile.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "FileSizeLimit.h"
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

TEST(AtomicFileTest, CreatesANewFileAndLeavesNothingElseBehind) {
    testing::TempDir folder;
    ASSERT_TRUE(writeWhole(folder.file("new.hex"), "content\n"));
    EXPECT_EQ(folder.read("new.hex"), "content\n");
    EXPECT_EQ(folder.fileCount(), 1);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(permissionsOf(folder.file("new.hex")), 0666u & ~mask);
}

TEST(AtomicFileTest, ReplacesAnExistingFileKeepingItsPermissions) {
    testing::TempDir folder;
    const std::string target = folder.write("old.bin", "old content that is longer");
    ::chmod(target.c_str(), 0640);
    ASSERT_TRUE(writeWhole(target, "new"));
    EXPECT_EQ(folder.read("old.bin"), "new");
    EXPECT_EQ(permissionsOf(target), 0640u);
    EXPECT_EQ(folder.fileCount(), 1);
}

TEST(AtomicFileTest, AnAbandonedFileLeavesTheTargetAsItWas) {
    testing::TempDir folder;
    const std::string target = folder.write("keep.txt", "old");
    {
        AtomicFile file(target);
        ASSERT_TRUE(file.create());
        ASSERT_TRUE(file.write("half of the new"));
        EXPECT_NE(file.writingPath(), target);
        EXPECT_EQ(folder.fileCount(), 2);
    }
    EXPECT_EQ(folder.read("keep.txt"), "old");
    EXPECT_EQ(folder.fileCount(), 1);
}

TEST(AtomicFileTest, AFailedWriteKeepsTheOldFileAndRemovesTheTemporaryOne) {
    testing::TempDir folder;
    const std::string target = folder.write("full.hex", "old");
    {
        AtomicFile file(target);
        ASSERT_TRUE(file.create());
        testing::FileSizeLimit limit(1024);
        EXPECT_FALSE(file.write(std::string(4096, 'x')));
    }
    EXPECT_EQ(folder.read("full.hex"), "old");
    EXPECT_EQ(folder.fileCount(), 1);
}

TEST(AtomicFileTest, ASymbolicLinkStaysAndTheFileItNamesIsReplaced) {
    testing::TempDir folder;
    folder.write("real.hex", "old");
    fs::create_symlink("real.hex", folder.file("link.hex"));
    ASSERT_TRUE(writeWhole(folder.file("link.hex"), "new"));
    EXPECT_TRUE(fs::is_symlink(folder.file("link.hex")));
    EXPECT_EQ(folder.read("real.hex"), "new");
    EXPECT_EQ(folder.fileCount(), 2);
}

TEST(AtomicFileTest, RefusesWhatCannotBeCreated) {
    testing::TempDir folder;
    fs::create_directory(folder.file("folder.hex"));
    for (const std::string& target : {folder.file("missing/sector.hex"), folder.file("folder.hex"),
                                      folder.file("new/"), std::string()}) {
        AtomicFile file(target);
        EXPECT_FALSE(file.create()) << target;
        EXPECT_FALSE(file.write("x"));
        EXPECT_FALSE(file.commit());
    }
    EXPECT_EQ(folder.fileCount(), 1);
}

TEST(AtomicFileTest, DevicesAreWrittenInPlace) {
    EXPECT_TRUE(writeWhole("/dev/null", "discarded"));
    AtomicFile full("/dev/full");
    ASSERT_TRUE(full.create());
    EXPECT_EQ(full.writingPath(), "/dev/full");
    EXPECT_FALSE(full.write("no room"));
}

}  // namespace
}  // namespace loadstar
