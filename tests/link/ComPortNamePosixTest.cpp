#include "ComPortName.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"

namespace loadstar {
namespace {

namespace fs = std::filesystem;

TEST(ComPortName, FirstUsableOfPrivatePerUserLinkSystemLinkAndFallback) {
    testing::TempDir dir;
    const std::string perUser = dir.file("user"), userLink = perUser + "/COM1";
    const std::string systemLink = dir.file("COM1"), fallback = dir.file("ttyS0");
    const auto resolve = [&](const std::string& folder) {
        return resolveComPort(folder, systemLink, fallback);
    };
    fs::create_directory(perUser);
    ::chmod(perUser.c_str(), 0700);
    fs::create_symlink(dir.file("adapter"), userLink);
    fs::create_symlink(dir.file("adapter"), systemLink);
    EXPECT_EQ(resolve(perUser), fallback) << "dangling links do not count";

    std::ofstream(dir.file("adapter")).put('x');
    EXPECT_EQ(resolve(perUser), userLink);
    ::chmod(perUser.c_str(), 0755);
    EXPECT_EQ(resolve(perUser), userLink) << "others may read, not write";
    for (mode_t mode : {0770, 0702, 0777}) {
        ::chmod(perUser.c_str(), mode);
        EXPECT_EQ(resolve(perUser), systemLink) << std::oct << mode;
    }
    ::chmod(perUser.c_str(), 0700);
    fs::create_directory_symlink(perUser, dir.file("linked"));
    EXPECT_EQ(resolve(dir.file("linked")), systemLink) << "a folder that is a link is not private";
    fs::remove(systemLink);
    EXPECT_EQ(resolve(dir.file("none")), fallback);
}

}  // namespace
}  // namespace loadstar
