#include <gtest/gtest.h>

#include <filesystem>

#include "iap/AtomicFile.h"
#include "support/TempDir.h"

namespace loadstar {
namespace {

TEST(AtomicFileWin32, RefusesWhatIsNoRegularFile) {
    testing::TempDir folder;
    std::filesystem::create_directory(folder.file("folder"));
    for (const std::string& refused : {folder.file("folder"), std::string("NUL")}) {
        AtomicFile file(refused);
        EXPECT_FALSE(file.create()) << refused;
        EXPECT_EQ(file.fault().kind, FileFaultKind::notRegularFile) << refused;
    }
    EXPECT_FALSE(AtomicFile(folder.path().string() + "\\").create()) << "names no file";
    EXPECT_EQ(folder.fileCount(), 1) << "the folder, nothing else";
}

}  // namespace
}  // namespace loadstar
