#include "link/ComPortName.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/TempDir.h"

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

// COM1 is looked for in the session's runtime folder first, then under /tmp; a link in a folder
// that is not the user's own is passed over for the next one.
TEST(ComPortName, RuntimeFolderFirstThenTmpWhicheverIsTheUsersOwn) {
    testing::TempDir dir;
    const std::string runtime = dir.file("runtime"), tmp = dir.file("tmp");
    std::ofstream(dir.file("adapter")).put('x');
    for (const std::string& folder : {runtime, tmp}) {
        fs::create_directory(folder);
        ::chmod(folder.c_str(), 0700);
        fs::create_symlink(dir.file("adapter"), folder + "/COM1");
    }
    const auto choose = [&] {
        return chooseComPort(std::vector<std::string>{runtime, tmp}, dir.file("none"),
                             dir.file("ttyS0"));
    };
    EXPECT_EQ(choose().device, runtime + "/COM1");
    ::chmod(runtime.c_str(), 0777);
    const ComPortChoice passedOver = choose();
    EXPECT_EQ(passedOver.device, tmp + "/COM1") << "a folder others may write is passed over";
    EXPECT_EQ(passedOver.why, ComPortChoice::Why::perUserLink);
    ASSERT_EQ(passedOver.ignored.size(), 1U);
    EXPECT_EQ(passedOver.ignored.front().link, runtime + "/COM1");
    EXPECT_TRUE(passedOver.ignored.front().folderNotPrivate);

    // The runtime folder is used only when XDG_RUNTIME_DIR names a private folder.
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved != nullptr ? saved : "";
    const std::string fallback = "/tmp/loadstar-" + std::to_string(::getuid());
    for (const std::string setting : {"private", "others may write", "relative", "unset"}) {
        ::chmod(runtime.c_str(), setting == "others may write" ? 0777 : 0700);
        if (setting == "unset") {
            ::unsetenv("XDG_RUNTIME_DIR");
        } else {
            ::setenv("XDG_RUNTIME_DIR", setting == "relative" ? "runtime" : runtime.c_str(), 1);
        }
        const auto expected = setting == "private"
                                  ? std::vector<std::string>{runtime + "/loadstar", fallback}
                                  : std::vector<std::string>{fallback};
        EXPECT_EQ(perUserDeviceFolders(), expected) << setting;
        EXPECT_EQ(perUserDeviceFolder(), expected.front()) << setting;
    }
    if (saved != nullptr) {
        ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
    }
}

}  // namespace
}  // namespace loadstar
