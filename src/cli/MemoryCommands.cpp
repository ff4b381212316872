#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "cli/CliCommands.h"
#include "cli/CommandResult.h"
#include "cli/Console.h"
#include "cli/ExitCode.h"
#include "cli/Interrupt.h"
#include "cli/OutcomeMessages.h"
#include "iap/MemoryPanelInput.h"
#include "iap/SectorGeometry.h"
#include "link/HexText.h"

namespace loadstar::cli {

namespace {

// Selects the session's flash and sector; false after the failure's message.
bool selectFlash(CliSession& session) {
    const Outcome selected = session.board().selectFlash(session.flashKind(), session.sector());
    reportCommandFailure(session.ui(), selected);
    return selected.ok();
}

// The boot flash's four sectors lie side by side from 8000, all selected alike: the address alone
// says which one a read or write reaches. With --sector given, a range in another sector or
// running past its end would reach a sector other than the one asked for: it is refused, naming
// both. Addresses below 8000 lie in no sector and pass.
bool rangeInSelectedSector(CliSession& session, int address, int count) {
    const SectorGeometry selected = sectorGeometry(bootFlash, session.sector());
    const int end = selected.baseAddress + selected.sectorSize;
    if (session.flashKind() != bootFlash || !session.sectorGiven() || address < 0x8000 ||
        (address >= selected.baseAddress && address + std::max(count, 1) <= end)) {
        return true;
    }
    const int reached = (address - 0x8000) / selected.sectorSize;
    char text[400];
    if (reached == selected.sector) {
        std::snprintf(text, sizeof text,
                      "The %d bytes from %04X run past the end of boot flash sector %d (%s, "
                      "%04X-%04X): write or read them in two parts, one per sector.",
                      count, address, selected.sector,
                      segmentName(bootFlash, selected.sector).c_str(), selected.baseAddress,
                      end - 1);
    } else {
        std::snprintf(text, sizeof text,
                      "%04X is in boot flash sector %d (%s), not in the selected sector %d (%s, "
                      "%04X-%04X): give --sector %d, or an address within %04X-%04X.",
                      address, reached, segmentName(bootFlash, reached).c_str(), selected.sector,
                      segmentName(bootFlash, selected.sector).c_str(), selected.baseAddress,
                      end - 1, reached, selected.baseAddress, end - 1);
    }
    session.ui().showError(text);
    commandReport()["failing_step"] = "input";
    return false;
}

int runIdentify(const CliOptions& options) {
    CliSession session(options);
    if (session.connect() != exitSuccess) {
        return exitFailure;
    }
    if (!jsonOutput()) {
        std::printf("%s on %s\n", session.boardModel().c_str(), session.devicePath().c_str());
    }
    return exitSuccess;
}

int runRead(const CliOptions& options, const std::string& addressText,
            const std::string& countText) {
    CliSession session(options);
    const auto input = checkReadFields(countText, addressText);
    if (!input.ok()) {
        session.ui().showError(inputProblemText(input.problem));
        commandReport()["failing_step"] = "input";
        return exitFailure;
    }
    const auto& [address, count] = input.request;
    if (!rangeInSelectedSector(session, address, count) || session.connect() != exitSuccess ||
        !selectFlash(session)) {
        return exitFailure;
    }
    commandReport()["failing_step"] = "read";
    std::vector<std::uint8_t> bytes;
    const Outcome read = session.board().readFlash(address, count, bytes);
    if (!read.ok()) {
        reportCommandFailure(session.ui(), read);
        return exitFailure;
    }
    commandReport()["failing_step"] = nullptr;
    commandReport()["address"] = address;
    commandReport()["bytes"] = count;
    commandReport()["data"] = std::vector<int>(bytes.begin(), bytes.end());
    if (!jsonOutput()) {
        char text[3 * maxReadCount + 1];
        bytesToHexText(bytes.data(), count, text);
        std::printf("%s\n", text);
    }
    return exitSuccess;
}

int runWrite(const CliOptions& options, const std::string& addressText,
             const std::vector<std::string>& byteTexts) {
    CliSession session(options);
    std::string dataText;
    for (const auto& token : byteTexts) {
        dataText += (dataText.empty() ? "" : " ") + token;
    }
    const auto input = checkWriteFields(addressText, dataText);
    if (!input.ok()) {
        session.ui().showError(inputProblemText(input.problem));
        commandReport()["failing_step"] = "input";
        return exitFailure;
    }
    const auto& [address, data] = input.request;
    if (!rangeInSelectedSector(session, address, static_cast<int>(data.size())) ||
        session.connect() != exitSuccess || !selectFlash(session)) {
        return exitFailure;
    }
    commandReport()["failing_step"] = "write";
    const Outcome written = session.board().writeFlash(address, data);
    if (!written.ok()) {
        reportCommandFailure(session.ui(), written);
        return exitFailure;
    }
    commandReport()["failing_step"] = nullptr;
    commandReport()["address"] = address;
    commandReport()["bytes"] = data.size();
    if (!jsonOutput()) {
        std::printf("Write Flash done.\n");
    }
    return exitSuccess;
}

// The one memory command that changes a whole sector ends, like the sector commands, with a result
// line either way.
int runErase(const CliOptions& options) {
    CliSession session(options);
    const SectorGeometry g = session.geometry();
    commandReport()["sector"] = segmentName(g.kind, g.sector);
    if (session.connect() != exitSuccess) {
        printResult("erase: failed");
        return exitFailure;
    }
    commandReport()["failing_step"] = "erase";
    const Outcome erased = session.board().eraseSector(g.kind, g.sector, g.baseAddress);
    if (!erased.ok()) {
        reportCommandFailure(session.ui(), erased);
        // A failed selection sent no erase: the sector still holds what it held.
        const bool sent = erased.holds == BoardHolds::partlyErased;
        commandReport()["failing_step"] = sent ? "erase" : "select";
        commandReport()["board_holds"] = sent ? "partly erased" : "untouched";
        printResult("erase: failed");
        return exitFailure;
    }
    commandReport()["failing_step"] = nullptr;
    commandReport()["board_holds"] = "erased";
    printResult("erase: OK, " + segmentName(g.kind, g.sector) + " erased");
    return exitSuccess;
}

int runReset(const CliOptions& options) {
    CliSession session(options);
    if (session.connect() != exitSuccess) {
        return exitFailure;
    }
    commandReport()["failing_step"] = "reset";
    const Outcome reset = session.board().resetBoard();
    if (!reset.ok()) {
        reportCommandFailure(session.ui(), reset);
        return exitFailure;
    }
    commandReport()["failing_step"] = nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // the board restarts
    if (!jsonOutput()) {
        std::printf("Board reset command sent.\n");
    }
    return exitSuccess;
}

int runSelect(const CliOptions& options) {
    CliSession session(options);
    if (session.connect() != exitSuccess) {
        return exitFailure;
    }
    commandReport()["sector"] = segmentName(session.flashKind(), session.sector());
    if (!selectFlash(session)) {
        std::fprintf(stderr, "Error changing the execution page...\n");
        commandReport()["failing_step"] = "select";
        return exitFailure;
    }
    if (!jsonOutput()) {
        std::printf("Execution page changed...\n");
    }
    return exitSuccess;
}

int runMirror(const CliOptions& options, bool follow) {
    CliSession session(options);
    if (session.connect() != exitSuccess) {
        return exitFailure;
    }
    if (!follow) {
        const std::string text = session.board().fetchDisplayText();
        commandReport()["display"] = text;
        if (!jsonOutput()) {
            std::printf("%s\n", text.c_str());
        }
        return exitSuccess;
    }
    const InterruptGuard guard;
    const bool terminal = isTerminal(stdout);
    std::string shown;
    bool first = true;
    auto next = std::chrono::steady_clock::now();
    while (!InterruptGuard::interrupted()) {
        const std::string text = session.board().fetchDisplayText();
        if (first || text != shown) {
            // On a terminal the display is redrawn in place; in a log each change is one block;
            // with --json one line.
            if (jsonOutput()) {
                writeJsonLine("mirror", {{"display", text}});
            } else {
                std::printf(terminal ? "\x1b[H\x1b[2J%s\n" : "%s\n\n", text.c_str());
            }
            if (std::fflush(stdout) != 0) {
                std::fprintf(stderr, "loadstar-cli: standard output: %s\n", std::strerror(errno));
                return exitFailure;  // its reader stopped: nobody watches any more
            }
            shown = text;
            first = false;
        }
        next += std::chrono::milliseconds(250);
        std::this_thread::sleep_until(next);
    }
    return exitInterrupted;
}

}  // namespace

void addMemoryCommands(CLI::App& app, const CliOptions& options, CommandList& commands) {
    auto* identify = app.add_subcommand("identify", "Check that a KEL520/KEL620 board answers");
    commands.push_back({identify, [&options] { return runIdentify(options); }});

    auto address = std::make_shared<std::string>();
    auto count = std::make_shared<std::string>();
    auto* read = app.add_subcommand(
        "read", "Read COUNT bytes (hex, at most F0) at board ADDRESS (hex), print them as hex");
    read->add_option("ADDRESS", *address, "Board address, hex (e.g. 8000 or 0x8000)")->required();
    read->add_option("COUNT", *count, "Number of bytes, hex, 0 to F0")->required();
    commands.push_back(
        {read, [&options, address, count] { return runRead(options, *address, *count); }});

    auto writeAddress = std::make_shared<std::string>();
    auto bytes = std::make_shared<std::vector<std::string>>();
    auto* write = app.add_subcommand(
        "write", "Write the BYTEs (hex, 1 or 2 digits each, at most 255) at board ADDRESS");
    write->add_option("ADDRESS", *writeAddress, "Board address, hex")->required();
    write->add_option("BYTE", *bytes, "Bytes to write, hex")->required();
    commands.push_back({write, [&options, writeAddress, bytes] {
                            return runWrite(options, *writeAddress, *bytes);
                        }});

    auto* erase = app.add_subcommand("erase", "Erase the selected sector (no question asked)");
    commands.push_back({erase, [&options] { return runErase(options); }});

    auto* reset = app.add_subcommand("reset", "Reset the board, then wait one second");
    commands.push_back({reset, [&options] { return runReset(options); }});

    auto* select = app.add_subcommand(
        "select", "Select the flash and sector; this also switches the board's execution page");
    commands.push_back({select, [&options] { return runSelect(options); }});

    auto follow = std::make_shared<bool>(false);
    auto* mirror = app.add_subcommand("mirror", "Show the text on the board's display");
    mirror->add_flag("--follow", *follow, "Keep showing it every 250 ms until Ctrl-C");
    commands.push_back({mirror, [&options, follow] { return runMirror(options, *follow); }});
}

}  // namespace loadstar::cli
