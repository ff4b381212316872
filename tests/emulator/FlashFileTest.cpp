#include "FlashFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "TempDir.h"

namespace loadstar::emulator {
namespace {

namespace fs = std::filesystem;

class FlashFileTest : public ::testing::Test {
  protected:
    void writeFile(std::size_t size, char fill) {
        folder_.write("board.flash", std::string(size, fill));
    }

    loadstar::testing::TempDir folder_;
    const std::string path_ = folder_.file("board.flash");
};

TEST_F(FlashFileTest, MissingFileMeansAnErasedBoard) {
    FlashMemory flash;
    const auto result = loadFlashFile(path_, flash);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(std::count(flash.image().begin(), flash.image().end(), 0xFF),
              static_cast<long>(FlashMemory::imageSize));
}

TEST_F(FlashFileTest, SavedContentsComeBackInTheirSectors) {
    FlashMemory written;
    written.sector(FlashBank::main, 0)[0] = 0x10;
    written.sector(FlashBank::main, 7)[0x7FFF] = 0x17;
    written.sector(FlashBank::boot, 0)[0] = 0x20;
    written.sector(FlashBank::boot, 3)[0x1FFF] = 0x23;
    ASSERT_TRUE(saveFlashFile(path_, written).ok);
    EXPECT_EQ(fs::file_size(path_), 294912u) << "main 8 x 32 KB, then boot 4 x 8 KB";
    FlashMemory loaded;
    ASSERT_TRUE(loadFlashFile(path_, loaded).ok);
    EXPECT_EQ(loaded.image(), written.image());
    // The layout is raw: main sector 7's last byte, then boot sector 0's first.
    const std::string bytes = folder_.read("board.flash");
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[8 * 0x8000 - 1]), 0x17);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[8 * 0x8000]), 0x20);
}

TEST_F(FlashFileTest, SavingReplacesTheFileAndLeavesNoTemporaryBehind) {
    writeFile(FlashMemory::imageSize, 'x');
    FlashMemory flash;
    ASSERT_TRUE(saveFlashFile(path_, flash).ok);
    EXPECT_EQ(folder_.fileCount(), 1);
    FlashMemory loaded;
    loaded.sector(FlashBank::main, 0)[0] = 0;
    ASSERT_TRUE(loadFlashFile(path_, loaded).ok);
    EXPECT_EQ(loaded.sector(FlashBank::main, 0)[0], 0xFF);
}

TEST_F(FlashFileTest, RefusesAFileOfTheWrongSizeAndKeepsTheFlash) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1000}, FlashMemory::imageSize - 1,
                                   FlashMemory::imageSize + 1}) {
        writeFile(size, 0);
        FlashMemory flash;
        const auto result = loadFlashFile(path_, flash);
        EXPECT_FALSE(result.ok) << size;
        EXPECT_NE(result.message.find(path_), std::string::npos) << result.message;
        EXPECT_NE(result.message.find("294912"), std::string::npos) << result.message;
        EXPECT_EQ(flash.image()[0], 0xFF) << size;
    }
}

TEST_F(FlashFileTest, RefusesAFolderInsteadOfAFile) {
    fs::create_directory(path_);
    FlashMemory flash;
    EXPECT_FALSE(loadFlashFile(path_, flash).ok);
}

TEST_F(FlashFileTest, ReportsAFileThatCannotBeSaved) {
    FlashMemory flash;
    const auto result = saveFlashFile(folder_.file("no/such/folder/board.flash"), flash);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("cannot be written"), std::string::npos) << result.message;
}

}  // namespace
}  // namespace loadstar::emulator
