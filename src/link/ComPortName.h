#pragma once

#include <string>
#include <vector>

namespace loadstar {

// Which device stands for "COM1" on this machine. On Windows it is COM1 itself. On Linux it is the
// first that exists of:
//  1. the link COM1 in a per-user device folder: $XDG_RUNTIME_DIR/loadstar/ (when the session's
//     runtime folder is there), then /tmp/loadstar-<uid>/. A link is used only when its folder
//     belongs to the user and nobody else may write to it (so no other user can slip a fake board
//     in), and not when it was left by a board emulator that is gone: an emulator holds a lock on
//     COM1.lock beside its link, and a link whose lock file nobody holds is stale (its device may
//     belong to another terminal by now). A link without a lock file is the user's own and is used;
//  2. /dev/COM1, a link that a udev rule or an administrator makes to an adapter;
//  3. /dev/ttyS0.
// When none exists, /dev/ttyS0 (its open then fails and says so).
std::string resolveComPort();

// Which device stands for "COM1" and why. words/ComPortWords.h says it in words.
struct ComPortChoice {
    enum class Why {
        perUserLink,       // the link in the user's own device folder `folder`
        systemLink,        // the link `systemLink` exists
        noneExists,        // none of `looked` and `systemLink` exists: the fallback
        windowsNumbering,  // Windows: COM1 is the port of that name
    };
    // A per-user link that exists but is not used.
    struct Ignored {
        std::string link;
        bool folderNotPrivate = false;  // else: the emulator that made it is gone
    };

    std::string device;
    Why why = Why::noneExists;
    std::string folder;
    std::string systemLink;
    std::vector<std::string> looked;  // the per-user links looked for, in order
    std::vector<Ignored> ignored;
};
ComPortChoice chooseComPort();

// The Linux rules only, below.

// The same rules with the folders given, for tests.
std::string resolveComPort(const std::string& perUserFolder, const std::string& systemLink,
                           const std::string& fallback);
ComPortChoice chooseComPort(const std::string& perUserFolder, const std::string& systemLink,
                            const std::string& fallback);
ComPortChoice chooseComPort(const std::vector<std::string>& perUserFolders,
                            const std::string& systemLink, const std::string& fallback);

// The calling user's folder for runtime files (the emulator's link, the window's instance lock):
// "$XDG_RUNTIME_DIR/loadstar" when XDG_RUNTIME_DIR names a private folder of the user (no other
// user can have made anything in it), else "/tmp/loadstar-<uid>".
std::string perUserDeviceFolder();
// The folders where COM1 is looked for, the one above first: both when both are there.
std::vector<std::string> perUserDeviceFolders();

// False when a lock file stands beside `link` (link + ".lock") and nobody holds its lock.
bool isLiveLink(const std::string& link);

// True when `folder` is a real directory (not a link) owned by the calling user that no one else
// may write to.
bool isPrivateFolder(const std::string& folder);

}  // namespace loadstar
