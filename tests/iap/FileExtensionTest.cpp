#include "iap/FileExtension.h"

#include <gtest/gtest.h>

#include <utility>

namespace loadstar {
namespace {

TEST(FileExtension, TakesTheLowerCasedPartFromTheLastDotUnlessASeparatorFollowsIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"image.hex", ".hex"},
        {"Image.BIN", ".bin"},
        {"image.hex.bak", ".bak"},
        {"/home/user/a.b/image.bin", ".bin"},
        {"/home/dir.d/image", ""},
        {"C:\\dir.d\\image", ""},
        {"disk.d:image", ""},
        {"C:image.hex", ".hex"},
        {"image", ""},
        {"", ""},
        {"image.", "."},
        {"KEL520_seg(FS3)", ""},
        {"\xC4.B\xC4N", ".b\xC4n"},  // only ASCII letters change case
    };
    for (const auto& [name, extension] : cases) {
        EXPECT_EQ(fileExtension(name), extension) << name;
    }
}

}  // namespace
}  // namespace loadstar
