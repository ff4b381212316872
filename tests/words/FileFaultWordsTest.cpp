#include "words/FileFaultWords.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace loadstar {
namespace {

using Kind = FileFaultKind;

TEST(FileFaultWords, NamesWhatRefusedAndWhy) {
    const std::string loop = std::strerror(ELOOP);
    const struct {
        FileFault fault;
        std::string words;
    } cases[] = {
        {{}, ""},
        {{.kind = Kind::system, .error = EACCES}, "Permission denied"},
        {{.kind = Kind::system, .error = ENOENT, .path = "/l/t"},
         "/l/t: No such file or directory"},
        {{.kind = Kind::notRegularFile}, "not a regular file"},
        {{.kind = Kind::notRegularFile, .path = "/dev/pts/3"}, "/dev/pts/3: not a regular file"},
        {{.kind = Kind::changedWhileLooked, .path = "/a/t"},
         "/a/t: changed while it was being looked at"},
        {{.kind = Kind::tooManyLinks, .error = ELOOP}, loop},
        {{.kind = Kind::tooManyLinks, .error = ELOOP, .folder = "/a/b"},
         "the folder /a/b: " + loop},
        {{.kind = Kind::folderError, .error = ENOENT, .folder = "/a/missing"},
         "the folder /a/missing: No such file or directory"},
        {{.kind = Kind::linkError, .error = EACCES, .path = "/tmp/x"},
         "the link /tmp/x: Permission denied"},
        {{.kind = Kind::refusedByFolder, .error = EACCES, .folder = "/srv/out"},
         "Permission denied by the folder /srv/out"},
        {{.kind = Kind::folderOfAnotherUser, .folder = "/srv", .owner = 1001},
         "the folder /srv belongs to another user (uid 1001), who could swap what is in it"},
        {{.kind = Kind::folderOfAnotherUser, .folder = "/srv", .owner = 7, .refusingToSave = true},
         "refusing to save there: the folder /srv belongs to another user (uid 7), who could "
         "swap what is in it"},
        {{.kind = Kind::folderWritableByAll, .folder = "/tmp/x", .refusingToSave = true},
         "refusing to save there: every user may write to the folder /tmp/x (it has no sticky "
         "bit), and could swap what is in it"},
        {{.kind = Kind::folderWritableByAll, .folder = "/tmp/x"},
         "every user may write to the folder /tmp/x (it has no sticky bit), and could swap what "
         "is in it"},
        {{.kind = Kind::linkInSharedFolder, .path = "/tmp/l", .folder = "/tmp"},
         "refusing to follow the link /tmp/l: it lies in the shared folder /tmp, where any user "
         "may plant links (give the file's own name)"},
        {{.kind = Kind::linkOfAnotherUser, .path = "/o/l", .owner = 65534},
         "refusing to follow the link /o/l: it belongs to another user (uid 65534)"},
        {{.kind = Kind::systemText, .text = "Access is denied"}, "Access is denied"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fileFaultWords(c.fault), c.words);
    }
}

}  // namespace
}  // namespace loadstar
