#include "iap/AtomicFile.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace loadstar {
namespace {

// Bytes that text mode would change: a line feed, a carriage return and Ctrl-Z.
const std::string binaryContent = "new\nbytes\r\n\x1a end";

TEST(AtomicFile, ReplacesTheTargetOnlyWithTheWholeNewFileInBinary) {
    testing::TempDir folder;
    const std::string target = folder.write("upload.bin", "old content that is longer");
    {
        AtomicFile abandoned(target);
        ASSERT_TRUE(abandoned.create());
        ASSERT_TRUE(abandoned.write("half of the new"));
        EXPECT_NE(abandoned.writingPath(), target);
    }
    EXPECT_EQ(folder.read("upload.bin"), "old content that is longer");
    EXPECT_EQ(folder.fileCount(), 1) << "the temporary file is gone";
    for (const std::string& path : {target, folder.file("new.hex")}) {
        AtomicFile file(path);
        ASSERT_TRUE(file.create() && file.write(binaryContent)) << path;
        EXPECT_NE(testing::contentsOf(path), binaryContent) << "untouched until commit";
        ASSERT_TRUE(file.commit()) << path;
        EXPECT_EQ(testing::contentsOf(path), binaryContent);
    }
    EXPECT_EQ(folder.fileCount(), 2) << "no temporary file left behind";
}

}  // namespace
}  // namespace loadstar
