#pragma once

#include <cstdint>
#include <string>

namespace loadstar {

// Why a file could not be saved, or a folder or link was not used: what refused, named by the
// path the user knows it by, and the system's error. The core fills it and never words it; the
// words come from fileFaultWords (words/FileFaultWords.h).
enum class FileFaultKind : std::uint8_t {
    none,                 // nothing refused
    system,               // `error` on the target itself, or on `path` when a link led there
    notRegularFile,       // the target (or `path`, which a link led to) is a terminal, a pipe,
                          // a socket, a device or a folder
    changedWhileLooked,   // swapped for another file between being looked at and opened
    tooManyLinks,         // more links than the kernel follows (ELOOP), on the way to `folder`
                          // when set
    folderError,          // `error` on the way to or at the folder `folder`
    linkError,            // `error` reading the link `path`
    refusedByFolder,      // the folder `folder` refuses a new file (`error`: EACCES or EPERM)
    folderOfAnotherUser,  // `folder` belongs to `owner`, neither this user nor root, who may
                          // write to it
    folderWritableByAll,  // every user may write to `folder`, and it has no sticky bit
    linkInSharedFolder,   // the link `path` lies in `folder`, sticky and writable by every user
    linkOfAnotherUser,    // the link `path` belongs to `owner`, neither this user nor the
                          // folder's owner
    systemText,           // Windows: a replace that failed, with the system's own `text`
};

// The texts are initialized explicitly so that GCC 12 takes designated initializers that leave
// them out without -Wmissing-field-initializers.
struct FileFault {
    FileFaultKind kind = FileFaultKind::none;
    int error = 0;  // an errno value
    std::string path{};
    std::string folder{};
    unsigned owner = 0;  // a user id
    // The two folder kinds: the folder was refused as the place to save a file in.
    bool refusingToSave = false;
    std::string text{};

    [[nodiscard]] bool ok() const { return kind == FileFaultKind::none; }
    bool operator==(const FileFault&) const = default;
};

}  // namespace loadstar
