#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "iap/FileFault.h"
#include "iap/ImageFile.h"

namespace loadstar {

// What an operation on the board did, or what failed and where. The core returns these and never
// words them: the window renders them into its boxes and status line, the command-line tool into
// its messages, result line and JSON report.

// The step of an operation that failed.
enum class Step : std::uint8_t {
    none,  // nothing failed
    select,
    read,
    write,
    erase,
    reset,
    identify,
    mirror,
    loadFile,
    saveFile,
};

// The board command an exchange was for.
enum class Command : std::uint8_t {
    none,
    setVm,
    setPage,
    readFlash,
    writeFlash,
    eraseSector,
    reset,
    identify,
    mirror,
};

// Why a step failed.
enum class Fault : std::uint8_t {
    none,
    noReply,          // the exchange's retries ran out without a reply it could take
    shortReply,       // a READ FLASH reply too short to hold the bytes asked for
    notWritten,       // the flash does not hold what was written (or the count did not fit)
    tooNoisy,         // reading the same bytes again and again never gave the same data
    bootSectorRange,  // a boot flash sector above 3: nothing was sent
    wrongBoard,       // no KEL520/KEL620 answered the identification
    noData,           // the image holds nothing but erased (0xFF) bytes
    fileProblem,      // the file could not be loaded: Outcome::file says why
    unknownFormat,    // a save target whose name gives no known format
    cannotCreate,     // the save target could not be created (Outcome::saveFault)
    cannotWrite,      // the save target could not be written (Outcome::saveFault)
};

// One board command's result: the command that failed and why, or nothing.
struct CommandFault {
    Command command = Command::none;
    Fault fault = Fault::none;

    [[nodiscard]] bool ok() const { return fault == Fault::none; }
    bool operator==(const CommandFault&) const = default;
};

// What a failed or interrupted operation left on the board's flash.
enum class BoardHolds : std::uint8_t {
    untouched,       // nothing was changed
    erased,          // the sector was erased
    partlyErased,    // an erase was sent but not confirmed
    programmedUpTo,  // written up to (not including) Outcome::programmedEnd
};

// The outcome of one operation.
struct Outcome {
    Step step = Step::none;      // the failing step; none when the operation did its work
    CommandFault failure;        // the board command that failed, when a board command did
    bool cancelled = false;      // stopped by the caller's token before its end
    std::optional<int> address;  // the board address the failing command was for
    ImageLoad file;              // a load step's outcome, with file, line and reason
    FileFault saveFault;         // why a save step failed
    long bytes = 0;              // bytes read, written or compared
    long blocks = 0;             // blocks exchanged
    // Bytes found different (blank check, verify): 1 when the pass stopped at the first.
    long differences = 0;
    std::optional<int> firstDifference;  // the board address of the first of them
    BoardHolds holds = BoardHolds::untouched;
    std::optional<int> programmedEnd;  // one past the last byte the board confirmed written

    [[nodiscard]] bool ok() const { return step == Step::none && !cancelled; }
    // Whether the operation ran to its end; a difference found does not count against it.
    [[nodiscard]] bool failed() const { return step != Step::none; }
};

// The step of a sector pass and how far it has come, told after every block.
struct PassProgress {
    Step step = Step::read;  // read: reading the flash; write: programming it
    long done = 0;
    long total = 0;
};

// Hears a pass's progress; it is also where the caller lets pending events run between blocks
// (everything runs on one thread), and so where a request to cancel comes in.
class PassObserver {
  public:
    virtual ~PassObserver() = default;
    virtual void passProgress(const PassProgress& progress) = 0;
};

// A request to stop an operation before its next block, set by the caller (ESC, closing the
// window, Ctrl-C). A pass forgets an earlier request when its board work begins.
class CancelToken {
  public:
    [[nodiscard]] bool requested() const { return requested_; }
    void request() { requested_ = true; }
    void clear() { requested_ = false; }

  private:
    bool requested_ = false;
};

}  // namespace loadstar
