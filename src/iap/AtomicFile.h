#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "iap/FileFault.h"

namespace loadstar {

// Writes a file so that its target is only ever replaced by a complete one: the bytes go to a
// temporary file beside the target, which commit() syncs and renames over the target. Until then
// an existing target keeps its old content, and a file that is abandoned (failed, or destroyed
// before commit) is removed again. A replaced target keeps its permission bits; a new one gets
// 0666 less the umask, as a plain create would.
//
// A target that exists and is not a regular file (a terminal, a pipe, a device such as /dev/null,
// a folder) is refused, and so is one that this user may not open for writing: neither is ever
// replaced. On Linux a symbolic link is followed, so the file it names is replaced (or created,
// when the link dangles) and the link stays; but a link or a folder that another user could have
// planted or could swap is refused (see AtomicFileTrust.h), and the temporary file is made with
// O_EXCL|O_NOFOLLOW and mode 0600 in the folder that was checked, opened once, and only given the
// target's mode when it is complete. On Windows the replacement is MoveFileEx with write-through.
//
// fault() names what refused when it is not the target itself: the folder that refused a new
// file, the file a link led to, a link or a folder that is not trusted, and says why.
class AtomicFile {
  public:
    explicit AtomicFile(std::string targetPath);
    ~AtomicFile() {
        if (!committed_) {
            abandon();
        }
    }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file. False when that, or the target, is refused.
    [[nodiscard]] bool create();
    // Appends `bytes`; false when they could not all be written (disk full, I/O error). Retries
    // short writes and interrupted calls.
    [[nodiscard]] bool write(std::string_view bytes);
    // Makes the written bytes the target's content. False when they could not be flushed or the
    // target could not be replaced; the target is then left as it was.
    [[nodiscard]] bool commit();

    // Why the last call that returned false failed (the system's error, ENOSPC for a full disk).
    [[nodiscard]] const FileFault& fault() const { return fault_; }

    // The temporary file being written until commit().
    [[nodiscard]] const std::string& writingPath() const { return writingPath_; }

  private:
    void abandon();
    // Linux: the temporary file beside the target in folder_, at `folderPath` as given.
    bool createTemporary(const std::string& folderPath);
    // `path` when a link led from the target to it, else empty: the target is named by the
    // caller.
    [[nodiscard]] std::string shownName(const std::string& path) const;
    // Notes the fault, or the system's error on the target, and returns false.
    bool fail(FileFault fault) {
        fault_ = std::move(fault);
        return false;
    }
    bool fail(int error) { return fail(FileFault{.kind = FileFaultKind::system, .error = error}); }

    std::string targetPath_;
    std::string writingPath_;
    int descriptor_ = -1;
    // Linux: the checked folder, opened once; the names in it; the mode the target gets.
    int folder_ = -1;
    std::string targetName_;
    std::string writingName_;
    unsigned targetMode_ = 0;
    bool committed_ = false;
    FileFault fault_;
};

// The hidden name beside `targetName` that attempt `attempt` of process `pid` writes to:
// ".<name>.tmp-<pid>-<attempt>", the name shortened so that the whole stays within the 255 bytes a
// file name may have, so that a target of a long name can still be written.
std::string temporaryFileName(const std::string& targetName, long pid, int attempt);

}  // namespace loadstar
