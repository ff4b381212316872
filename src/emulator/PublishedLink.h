#pragma once

#include <string>

#include "link/UniqueDescriptor.h"

namespace loadstar::emulator {

// The board's port published under a fixed name (by default COM1 in the per-user device folder),
// as a symbolic link to the pseudo-terminal's slave.
//
// The link's folder is made with mode 0700 when it is missing, and must be private (a real folder
// of the calling user that no one else may write to); otherwise publishing is refused, so that no
// other user can slip a fake board in. A link left behind by an earlier run is replaced; any other
// file under that name is refused. The link is removed on destruction, unless it no longer points
// at this emulator's device (another emulator took the name over).
class PublishedLink {
  public:
    // Throws SetupError with a clear message when the link cannot be published.
    PublishedLink(std::string linkPath, std::string target);
    ~PublishedLink();
    PublishedLink(const PublishedLink&) = delete;
    PublishedLink& operator=(const PublishedLink&) = delete;

    [[nodiscard]] const std::string& path() const { return linkPath_; }

  private:
    std::string linkPath_;
    std::string target_;
    UniqueDescriptor lock_;
};

}  // namespace loadstar::emulator
