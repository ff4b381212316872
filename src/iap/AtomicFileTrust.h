#pragma once

#include <sys/stat.h>

#include <string>

#include "iap/FileFault.h"

namespace loadstar {

// Whom a save of this user may trust on a machine that other users share (Linux). A save lands
// in a folder and may pass through symbolic links; each of them is looked at on what was opened
// (fstat of an O_PATH|O_NOFOLLOW descriptor), never on a name resolved beforehand, so a name
// swapped in between is seen as what it is.
//
// A folder is trusted unless another user than this one and root owns it and may write to it, or
// every user may write to it without the sticky bit: there, someone else could swap the file or
// the temporary file while it is written. A link is followed unless it lies in a sticky folder
// that every user may write to (/tmp: anyone may plant a link there), or belongs to another user
// than this one and the folder's owner: the kernel's rule for links (fs.protected_symlinks) made
// stricter in shared folders, where not even the user's own link is followed (its target may
// have been planted), and applied also where the kernel does not.
//
// The two judges return why the object is refused, naming it, or a fault of kind none when it may
// be used. `path` is the name the user knows it by.
FileFault untrustedFolderFault(const struct stat& folder, const std::string& path);
FileFault untrustedLinkFault(const struct stat& link, const std::string& path,
                             const struct stat& folder, const std::string& folderPath);

// As many links as the kernel follows in one name before it gives up (ELOOP).
inline constexpr int linkLimit = 40;

// Opens the folder `path` (an O_PATH descriptor) one name at a time, each with O_NOFOLLOW, so that
// a link on the way is seen and followed only when it may be; counts the links followed in
// `links`. -1 with `fault` saying why when a link is refused or a name cannot be opened. The
// folder itself is not judged: see openTrustedFolder.
int openFolderByName(const std::string& path, int& links, FileFault& fault);
// The same, and -1 also when the folder reached may not be trusted.
int openTrustedFolder(const std::string& path, FileFault& fault);

// The text the opened link `link` (O_PATH|O_NOFOLLOW) holds, read from it rather than by name.
bool readOpenedLink(int link, std::string& target);
// `name` in `folder` as the user would write it ("." and "/" as folders included).
std::string joinedPath(const std::string& folder, const std::string& name);

}  // namespace loadstar
