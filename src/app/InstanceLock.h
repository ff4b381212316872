#pragma once

#include <string>

#include "link/UniqueDescriptor.h"

namespace loadstar {

// The named instance lock that tells a starting copy of the program that one of the calling
// user's copies runs already. It is held from construction until the object goes, and the system
// drops it when the process ends, however it ends. Child processes do not inherit it.
//
// Every copy that runs holds it shared, so it stays taken while any copy runs, also after the
// first one has ended. It is an advisory lock on "<folder>/<name>.lock"; the folder is created
// with mode 0700 when missing. When the folder is not private (not a real folder of the calling
// user that only the user may write to), no file is opened in it: the lock is then a Unix socket
// bound to an abstract name made of the user id and `name`, which only one copy can hold, and
// notice() says so. Any local user may bind that name, so a name already bound counts as a
// running copy only when the process that holds it runs as this user (SO_PEERCRED); a name held
// by another user's process is noted and the question is not asked.
class InstanceLock {
  public:
    InstanceLock(const std::string& name, const std::string& folder);

    // True when another copy held the lock when this one was taken.
    [[nodiscard]] bool anotherInstanceRuns() const { return anotherInstanceRuns_; }
    // Empty, or a line for the user about how the lock had to be taken (or that it could not be).
    [[nodiscard]] const std::string& notice() const { return notice_; }
    // The lock file in use, empty when the fallback is in use.
    [[nodiscard]] const std::string& lockFile() const { return lockFile_; }

  private:
    bool lockFileIn(const std::string& folder, const std::string& name);
    bool lockAbstractName(const std::string& name);

    UniqueDescriptor descriptor_;
    bool anotherInstanceRuns_ = false;
    std::string notice_;
    std::string lockFile_;
};

}  // namespace loadstar
