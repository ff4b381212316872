#include "ComPortName.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"

namespace loadstar {
namespace {

namespace fs = std::filesystem;

class ComPortNameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(perUser());
        ::chmod(perUser().c_str(), 0700);
        std::ofstream(adapter()).put('x');
        std::ofstream(fallback()).put('x');
    }
    std::string perUser() const { return dir.file("loadstar-user"); }
    std::string adapter() const { return dir.file("ttyUSB0"); }
    std::string systemLink() const { return dir.file("COM1"); }
    std::string fallback() const { return dir.file("ttyS0"); }
    std::string resolve() const { return resolveComPort(perUser(), systemLink(), fallback()); }

    testing::TempDir dir;
};

TEST_F(ComPortNameTest, FallsBackToTheFirstSerialPort) {
    EXPECT_EQ(resolve(), fallback());
}

TEST_F(ComPortNameTest, SystemLinkComesBeforeTheFallback) {
    fs::create_symlink(adapter(), systemLink());
    EXPECT_EQ(resolve(), systemLink());
}

TEST_F(ComPortNameTest, PrivatePerUserLinkComesFirst) {
    fs::create_symlink(adapter(), systemLink());
    fs::create_symlink(adapter(), perUser() + "/COM1");
    EXPECT_EQ(resolve(), perUser() + "/COM1");
}

TEST_F(ComPortNameTest, DanglingLinksDoNotCount) {
    fs::create_symlink(dir.file("gone"), perUser() + "/COM1");
    fs::create_symlink(dir.file("gone"), systemLink());
    EXPECT_EQ(resolve(), fallback());
}

TEST_F(ComPortNameTest, PerUserFolderThatOthersCanWriteIsIgnored) {
    fs::create_symlink(adapter(), perUser() + "/COM1");
    for (mode_t mode : {0770, 0702, 0777}) {
        ::chmod(perUser().c_str(), mode);
        EXPECT_EQ(resolve(), fallback()) << std::oct << mode;
        EXPECT_FALSE(isPrivateFolder(perUser()));
    }
    ::chmod(perUser().c_str(), 0755);
    EXPECT_EQ(resolve(), perUser() + "/COM1") << "others may read, not write";
}

TEST_F(ComPortNameTest, PerUserFolderThatIsALinkIsIgnored) {
    const std::string linked = dir.file("linked-folder");
    fs::create_directory_symlink(perUser(), linked);
    fs::create_symlink(adapter(), perUser() + "/COM1");
    EXPECT_FALSE(isPrivateFolder(linked));
    EXPECT_EQ(resolveComPort(linked, systemLink(), fallback()), fallback());
}

TEST(ComPortName, PerUserFolderNamesTheUser) {
    EXPECT_EQ(perUserDeviceFolder(), "/tmp/loadstar-" + std::to_string(::getuid()));
}

}  // namespace
}  // namespace loadstar
