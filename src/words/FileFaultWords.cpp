#include "words/FileFaultWords.h"

#include <cerrno>
#include <cstring>

namespace loadstar {

namespace {

std::string systemWords(int error) {
    return std::strerror(error);
}

// "<path>: " for a file a link led to; the target itself is named by the message around it.
std::string named(const std::string& path) {
    return path.empty() ? std::string() : path + ": ";
}

std::string savingPrefix(const FileFault& fault) {
    return fault.refusingToSave ? "refusing to save there: " : "";
}

}  // namespace

std::string fileFaultWords(const FileFault& fault) {
    const std::string uid = "(uid " + std::to_string(fault.owner) + ")";
    switch (fault.kind) {
        case FileFaultKind::none:
            return {};
        case FileFaultKind::system:
            return named(fault.path) + systemWords(fault.error);
        case FileFaultKind::notRegularFile:
            return named(fault.path) + "not a regular file";
        case FileFaultKind::changedWhileLooked:
            return named(fault.path) + "changed while it was being looked at";
        case FileFaultKind::tooManyLinks:
            return (fault.folder.empty() ? std::string() : "the folder " + fault.folder + ": ") +
                   systemWords(ELOOP);
        case FileFaultKind::folderError:
            return "the folder " + fault.folder + ": " + systemWords(fault.error);
        case FileFaultKind::linkError:
            return "the link " + fault.path + ": " + systemWords(fault.error);
        case FileFaultKind::refusedByFolder:
            return systemWords(fault.error) + " by the folder " + fault.folder;
        case FileFaultKind::folderOfAnotherUser:
            return savingPrefix(fault) + "the folder " + fault.folder +
                   " belongs to another user " + uid + ", who could swap what is in it";
        case FileFaultKind::folderWritableByAll:
            return savingPrefix(fault) + "every user may write to the folder " + fault.folder +
                   " (it has no sticky bit), and could swap what is in it";
        case FileFaultKind::linkInSharedFolder:
            return "refusing to follow the link " + fault.path + ": it lies in the shared folder " +
                   fault.folder + ", where any user may plant links (give the file's own name)";
        case FileFaultKind::linkOfAnotherUser:
            return "refusing to follow the link " + fault.path + ": it belongs to another user " +
                   uid;
        case FileFaultKind::systemText:
            return fault.text;
    }
    return {};
}

}  // namespace loadstar
