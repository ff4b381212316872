#include <gtest/gtest.h>

#include <filesystem>

#include "AtomicFile.h"
#include "TempDir.h"

namespace loadstar {
namespace {

bool writeWhole(const std::string& path, const std::string& content) {
    AtomicFile file(path);
    return file.create() && file.write(content) && file.commit();
}

// Bytes that text mode would change: a line feed, a carriage return and Ctrl-Z.
const std::string binaryContent = "new\nbytes\r\n\x1a end";

TEST(AtomicFileWin32, ReplacesTheTargetWholeInBinaryAndLeavesNothingBeside) {
    testing::TempDir folder;
    const std::string target = folder.write("upload.bin", "old content");
    {
        AtomicFile file(target);
        ASSERT_TRUE(file.create());
        ASSERT_TRUE(file.write(binaryContent));
        EXPECT_NE(file.writingPath(), target);
        EXPECT_EQ(folder.read("upload.bin"), "old content") << "untouched until commit";
        ASSERT_TRUE(file.commit());
    }
    EXPECT_EQ(folder.read("upload.bin"), binaryContent);
    ASSERT_TRUE(writeWhole(folder.file("new.hex"), binaryContent)) << "a new file, with \\ in it";
    EXPECT_EQ(folder.read("new.hex"), binaryContent);
    EXPECT_EQ(folder.fileCount(), 2);
}

TEST(AtomicFileWin32, AbandonedOrRefusedSavesLeaveTheTargetAsItWas) {
    testing::TempDir folder;
    const std::string target = folder.write("upload.bin", "old content");
    {
        AtomicFile abandoned(target);
        ASSERT_TRUE(abandoned.create());
        ASSERT_TRUE(abandoned.write("half"));
    }
    EXPECT_EQ(folder.read("upload.bin"), "old content");
    EXPECT_EQ(folder.fileCount(), 1) << "the temporary file is gone";

    std::filesystem::create_directory(folder.file("folder"));
    for (const std::string& refused : {folder.file("folder"), std::string("NUL")}) {
        AtomicFile file(refused);
        EXPECT_FALSE(file.create()) << refused;
        EXPECT_EQ(file.lastError(), "not a regular file") << refused;
    }
    EXPECT_FALSE(AtomicFile(folder.path().string() + "\\").create()) << "names no file";
    EXPECT_EQ(folder.fileCount(), 2) << "the file and the folder, nothing else";
}

}  // namespace
}  // namespace loadstar
