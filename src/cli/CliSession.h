#pragma once

#include <memory>
#include <string>

#include "cli/LineTrace.h"
#include "cli/TerminalUserInterface.h"
#include "iap/BoardCommands.h"
#include "iap/SectorGeometry.h"
#include "link/SerialLink.h"

namespace loadstar::cli {

// What every command is given on the command line before its own arguments.
struct CliOptions {
    std::string port;            // empty: COM1 as this machine resolves it
    std::string flash = "main";  // "main" or "boot"
    int sector = 0;
    bool sectorGiven = false;  // --sector was on the command line
    bool trace = false;        // every frame and reply on stderr
    bool quiet = false;        // no progress line
    bool verbose = false;      // each step's time on stderr
    bool json = false;         // one JSON object per command on stdout
    // The program was started with stdout closed: what is written there is dropped.
    bool standardOutputClosed = false;
};

// The flash (mainFlash or bootFlash) and sector that --flash and --sector select.
inline int selectedFlash(const CliOptions& options) {
    return options.flash == "boot" ? bootFlash : mainFlash;
}
inline SectorGeometry selectedSector(const CliOptions& options) {
    return sectorGeometry(selectedFlash(options), options.sector);
}

// One command's connection to the board: the link, the board commands and the terminal's user
// interface, wired as the window wires them.
class CliSession {
  public:
    explicit CliSession(const CliOptions& options);
    // Verbose, tells how long the last step took.
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    // Opens the port and identifies the board as the window's Connect does. Exit code: success,
    // or failure after the message, which names the device tried (and the system's reason when
    // it could not be opened). When COM1 was tried while nothing assigns it and one USB serial
    // adapter is present, the message names that adapter too; nothing is sent to it.
    [[nodiscard]] int connect();

    [[nodiscard]] int flashKind() const { return selectedFlash(options_); }
    [[nodiscard]] std::uint8_t sector() const { return static_cast<std::uint8_t>(options_.sector); }
    [[nodiscard]] bool sectorGiven() const { return options_.sectorGiven; }
    [[nodiscard]] SectorGeometry geometry() const { return selectedSector(options_); }
    [[nodiscard]] const std::string& devicePath() const { return devicePath_; }
    // What the messages call the device: the path given with --port, else "COM1 (<path>)".
    [[nodiscard]] std::string deviceName() const;
    // "KEL520" or "KEL620" once connect() has succeeded.
    [[nodiscard]] const std::string& boardModel() const { return boardModel_; }

    TerminalUserInterface& ui() { return ui_; }
    SerialLink& link() { return link_; }
    BoardCommands& board() { return board_; }

  private:
    void reportOpenFailure();
    // The note about a sole USB adapter when COM1 was tried unassigned, else "".
    [[nodiscard]] std::string adapterNote() const;

    CliOptions options_;
    std::string devicePath_;
    TerminalUserInterface ui_;
    std::unique_ptr<LineTrace> trace_;
    SerialLink link_;
    BoardCommands board_;
    std::string boardModel_;
};

}  // namespace loadstar::cli
