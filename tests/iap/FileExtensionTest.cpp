#include "FileExtension.h"

#include <gtest/gtest.h>

namespace loadstar {
namespace {

TEST(FileExtensionTest, TakesTheLowerCasedPartFromTheLastDotUnlessASeparatorFollowsIt) {
    const struct {
        const char* name;
        const char* extension;
    } cases[] = {
        {"image.hex", ".hex"},
        {"IMAGE.BIN", ".bin"},
        {"Image.Hex", ".hex"},
        {"image.hex.bak", ".bak"},
        {"dump.TXT", ".txt"},
        {"/home/user/a.b/image.bin", ".bin"},
        {"/home/user/dir.d/image", ""},
        {"C:\\dir.d\\image", ""},
        {"C:image", ""},
        {"disk.d:image", ""},
        {"C:image.hex", ".hex"},
        {"image", ""},
        {"", ""},
        {"image.", "."},
        {"KEL520_seg(FS3)", ""},
        {"KEL520_seg(FS3).hex", ".hex"},
        {"\xC4.B\xC4N", ".b\xC4n"},  // only ASCII letters change case
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fileExtension(c.name), c.extension) << c.name;
    }
}

}  // namespace
}  // namespace loadstar
