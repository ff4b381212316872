#include "AtomicFile.h"

#include <sys/stat.h>

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

TEST(AtomicFile, ReplacesOnlyWithACompleteFileKeepingPermissionsAndLinks) {
    testing::TempDir folder;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ASSERT_TRUE(writeWhole(folder.file("new.hex"), "content\n"));
    EXPECT_EQ(permissionsOf(folder.file("new.hex")), 0666u & ~mask);

    const std::string target = folder.write("old.bin", "old content that is longer");
    ::chmod(target.c_str(), 0640);
    {
        AtomicFile abandoned(target);
        ASSERT_TRUE(abandoned.create());
        ASSERT_TRUE(abandoned.write("half of the new"));
        EXPECT_NE(abandoned.writingPath(), target);
    }
    EXPECT_EQ(folder.read("old.bin"), "old content that is longer");
    ASSERT_TRUE(writeWhole(target, "new"));
    EXPECT_EQ(folder.read("old.bin"), "new");
    EXPECT_EQ(permissionsOf(target), 0640u);

    fs::create_symlink("old.bin", folder.file("link.bin"));
    ASSERT_TRUE(writeWhole(folder.file("link.bin"), "through the link"));
    EXPECT_TRUE(fs::is_symlink(folder.file("link.bin")));
    EXPECT_EQ(folder.read("old.bin"), "through the link");
    EXPECT_EQ(folder.fileCount(), 3) << "no temporary file left behind";
}

TEST(AtomicFile, RefusesWhatCannotBeCreatedAndWritesDevicesInPlace) {
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
    EXPECT_TRUE(writeWhole("/dev/null", "discarded"));
}

}  // namespace
}  // namespace loadstar
