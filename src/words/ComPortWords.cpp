#include "words/ComPortWords.h"

namespace loadstar {

std::string comPortDescription() {
#ifdef _WIN32
    return "Serial port: COM1 to COM256 or \\\\.\\COMn (default: COM1; see the ports command)";
#else
    return "Serial device (default: COM1, i.e. $XDG_RUNTIME_DIR/loadstar/COM1, "
           "/tmp/loadstar-<uid>/COM1, /dev/COM1 or /dev/ttyS0, the first that exists; see the "
           "ports command)";
#endif
}

std::string comPortChoiceWords(const ComPortChoice& choice) {
    using Why = ComPortChoice::Why;
    std::string ignored;
    for (const ComPortChoice::Ignored& link : choice.ignored) {
        ignored += "; " + link.link +
                   (link.folderNotPrivate ? " is ignored, since its folder is not private to you"
                                          : " is ignored, since the emulator that made it is gone");
    }
    switch (choice.why) {
        case Why::perUserLink:
            return "the link in your own device folder " + choice.folder +
                   " (kel-emulator publishes itself there)" + ignored;
        case Why::systemLink:
            return "the link " + choice.systemLink +
                   " exists (made by a udev rule or an administrator)" + ignored;
        case Why::windowsNumbering:
            return "the board's port, as Windows numbers its serial ports";
        case Why::noneExists:
            break;
    }
    if (!ignored.empty()) {
        return choice.systemLink + " does not exist" + ignored;
    }
    if (choice.looked.size() == 1) {
        return "neither " + choice.looked.front() + " nor " + choice.systemLink + " exists";
    }
    std::string listed;
    for (const std::string& link : choice.looked) {
        listed += (listed.empty() ? "" : ", ") + link;
    }
    return "none of " + listed + " and " + choice.systemLink + " exists";
}

}  // namespace loadstar
