// kel-emulator: a KEL520/KEL620 board on a pseudo-terminal, for tests and demonstrations.
//
// Exit status: 0 after a stop signal (link removed, flash saved), --help or --version; 1 when it
// cannot set up or save; 2 for a bad option.

#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

#include "emulator/BoardModel.h"
#include "emulator/ClientWatch.h"
#include "emulator/ControlChannel.h"
#include "emulator/EmulatorLoop.h"
#include "emulator/EmulatorOptions.h"
#include "emulator/FlashFile.h"
#include "emulator/PacedLine.h"
#include "emulator/PseudoTerminal.h"
#include "emulator/PublishedLink.h"
#include "emulator/SetupError.h"
#include "emulator/SignalWatch.h"
#include "link/StandardDescriptors.h"

namespace {

using namespace loadstar::emulator;

constexpr int exitSetupFailed = 1;

// A board has a processor of its own and keeps the line's time whatever the host does. On a busy
// host a model that waits its turn opens gaps in its replies that a board never has (30 ms of
// silence ends a reply), so it asks to be scheduled ahead of ordinary work. Only a privileged user
// may; for anyone else it runs as it is.
constexpr int boardNiceness = -10;

void loadFlash(const EmulatorOptions& options, BoardModel& board) {
    if (options.flashFile.empty()) {
        return;
    }
    const auto loaded = loadFlashFile(options.flashFile, board.flash());
    if (!loaded.ok) {
        throw SetupError(loaded.message);
    }
}

void saveFlash(const EmulatorOptions& options, const BoardModel& board) {
    if (options.flashFile.empty()) {
        return;
    }
    const auto saved = saveFlashFile(options.flashFile, board.flash());
    if (!saved.ok) {
        throw SetupError(saved.message);
    }
}

int runEmulator(const EmulatorOptions& options) {
    SignalWatch signals;  // first, so that a stop signal during set-up is not lost
    ::signal(SIGPIPE, SIG_IGN);
    (void)::setpriority(PRIO_PROCESS, 0, boardNiceness);
    BoardModel board(options.model);
    board.setFaults(options.faults);
    loadFlash(options, board);
    PseudoTerminal terminal;
    ClientWatch clients(terminal.slavePath());  // before anyone can know the device
    std::optional<PublishedLink> link;
    if (!options.linkPath.empty()) {
        link.emplace(options.linkPath, terminal.slavePath());
    }
    std::unique_ptr<ControlChannel> control;
    if (!options.controlPipe.empty()) {
        control = std::make_unique<ControlChannel>(options.controlPipe);
    }
    std::cout << terminal.slavePath() << std::endl;
    std::cerr << "kel-emulator: " << options.model << " on " << terminal.slavePath();
    if (link) {
        std::cerr << ", published as " << link->path();
    }
    std::cerr << std::endl;
    PacedLine line(board, options.baud, options.faults.latency, loadstar::systemClock());
    EmulatorLoop loop(terminal, board, line, signals, clients, control.get(),
                      loadstar::systemClock());
    (void)loop.run();
    if (line.timeSlips() > 0) {
        std::cerr << "kel-emulator: this machine held the board model up " << line.timeSlips()
                  << " times by more than " << PacedLine::slipLimit.count()
                  << " ms; its replies came late or with gaps then" << std::endl;
    }
    saveFlash(options, board);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (!loadstar::keepStandardDescriptorsOpen()) {
        return exitSetupFailed;
    }
    const auto parsed = parseEmulatorOptions(argc, argv);
    if (const int* status = std::get_if<int>(&parsed)) {
        return *status;
    }
    try {
        return runEmulator(std::get<EmulatorOptions>(parsed));
    } catch (const SetupError& error) {
        std::cerr << "kel-emulator: " << error.what() << std::endl;
        return exitSetupFailed;
    }
}
