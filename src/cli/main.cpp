// loadstar-cli: the board's in-application programming from scripts and service benches.

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <memory>

#include "cli/BrokenPipe.h"
#include "cli/CliCommands.h"
#include "cli/CommandResult.h"
#include "cli/ExitCode.h"
#include "cli/HelpText.h"
#include "cli/PortsCommand.h"
#include "cli/SectorCommands.h"
#include "cli/TestCommand.h"
#include "link/ComPortName.h"
#include "link/StandardDescriptors.h"
#include "version/LoadstarVersion.h"
#include "words/ComPortWords.h"

using namespace loadstar::cli;

namespace {

constexpr char description[] =
    "loadstar-cli: program and inspect the flash of a KEL520/KEL620 board over RS-232. "
    "Addresses, counts and bytes are hexadecimal. Sector commands end with one result line on "
    "stdout; messages and progress go to stderr. Exit status: 0 success, 1 a check found a "
    "difference (not blank, verify mismatch), 2 failure or bad input, 130 interrupted.";

constexpr char examples[] =
    "Examples:\n"
    "  loadstar-cli ports                     which serial device is COM1, and why\n"
    "  loadstar-cli identify                  check that the board answers on COM1\n"
    "  loadstar-cli --sector 3 flash app.hex  erase, program, verify main sector 3\n"
    "  loadstar-cli --flash boot --sector 1 upload boot1.hex\n"
    "  loadstar-cli read 8000 10              16 bytes from 0x8000\n"
    "  loadstar-cli backup saved/             all twelve sectors into saved/\n"
    "  loadstar-cli --port /dev/ttyUSB0 -v blank-check\n"
    "  LOADSTAR_PORT=/dev/serial/by-id/usb-FTDI_... loadstar-cli identify\n"
    "Run loadstar-cli COMMAND --help for a command's own options.";

// Set before the commands are added, so that they inherit the formatter.
void describeApp(CLI::App& app) {
    app.description(description);
    app.formatter(std::make_shared<WrappingFormatter>());
}

void addGlobalOptions(CLI::App& app, CliOptions& options) {
    describeApp(app);
    app.set_version_flag("--version", std::string("loadstar-cli ") + loadstar::loadstarVersion);
    app.add_option("--port", options.port,
                   loadstar::comPortDescription() + "; LOADSTAR_PORT is used when not given")
        ->envname("LOADSTAR_PORT");
    app.add_option("--flash", options.flash,
                   "Flash to work on: main (sectors 0-7, 32 KB) or "
                   "boot (sectors 0-3, 8 KB)")
        ->check(CLI::IsMember({"main", "boot"}))
        ->capture_default_str();
    app.add_option("--sector", options.sector,
                   "Sector number; with --flash boot, read and write refuse an ADDRESS outside it")
        ->check(CLI::Range(0, 7))
        ->each([&options](const std::string&) { options.sectorGiven = true; })
        ->capture_default_str();
    app.add_flag("--trace", options.trace,
                 "Show every frame sent and every reply received, in hex with a millisecond time "
                 "stamp, on stderr");
    app.add_flag("-q,--quiet", options.quiet, "No progress line");
    app.add_flag("-v,--verbose", options.verbose,
                 "Tell how long each step took (opening the port, identifying the board, each "
                 "pass), on stderr");
    app.add_flag("--json", options.json,
                 "Write one JSON object per command on stdout (schema 1, see the manual) instead "
                 "of its result line and output; messages and progress stay on stderr");
}

}  // namespace

int main(int argc, char** argv) {
    unsigned reopened = 0;
    if (!loadstar::keepStandardDescriptorsOpen(&reopened)) {
        return exitFailure;
    }
    failWritesToBrokenPipes();
    CLI::App app{
        "loadstar-cli: program and inspect the flash of a KEL520/KEL620 board over RS-232.\n"
        "Addresses, counts and bytes are hexadecimal. Sector commands end with one result line on\n"
        "stdout; messages and progress go to stderr. Exit status: 0 success, 1 a check found a\n"
        "difference (not blank, verify mismatch), 2 failure or bad input, 130 interrupted.",
        "loadstar-cli"};
    app.require_subcommand(0, 1);
    app.fallthrough();

    CliOptions options;
    options.standardOutputClosed = (reopened & loadstar::standardOutputBit) != 0;
    addGlobalOptions(app, options);
    CommandList commands;
    addMemoryCommands(app, options, commands);
    addSectorCommands(app, options, commands);
    addFlashCommands(app, options, commands);
    addTestCommand(app, options, commands);
    addPortsCommand(app, commands);
    app.footer(examples);  // after the commands, which would inherit it
    // For the completion tests: every option the completions must offer.
    bool listOptions = false;
    app.add_flag("--list-options", listOptions)->group("");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? exitSuccess : exitFailure;
    }
    if (listOptions) {
        std::fputs(optionTable(app).c_str(), stdout);
        return exitSuccess;
    }
    setJsonOutput(options.json);
    for (const auto& command : commands) {
        if (command.subcommand->parsed()) {
            const auto start = std::chrono::steady_clock::now();
            const int status = command.run();
            return checkStandardOutput(
                options.json ? writeCommandReport(command.subcommand->get_name(), status, start)
                             : status);
        }
    }
    std::fprintf(stderr, "loadstar-cli: no command given. Run loadstar-cli --help for the list.\n");
    return exitFailure;
}
