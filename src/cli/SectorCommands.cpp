#include "cli/SectorCommands.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/CommandResult.h"
#include "cli/DumpOutput.h"
#include "cli/ExitCode.h"
#include "cli/FlashSteps.h"
#include "cli/ImageInput.h"
#include "cli/Interrupt.h"
#include "cli/OutcomeMessages.h"
#include "iap/FileExtension.h"
#include "iap/SectorOperations.h"

namespace loadstar::cli {

namespace {

using Clock = std::chrono::steady_clock;

struct UploadArguments {
    std::string file;    // empty: the proposed name; "-": stdout
    std::string format;  // empty: by the file's extension
    bool readTwice = false;
};

long millisecondsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

int runBlankCheck(const CliOptions& options) {
    const InterruptGuard guard;
    CliSession session(options);
    if (session.connect() != exitSuccess) {
        printResult("blank-check: failed");
        return exitFailure;
    }
    SectorOperations operations(session.board(), session.ui(), session.ui().cancel());
    operations.setCountEveryDifference(true);
    session.ui().setStep("Blank check");
    const SectorGeometry g = session.geometry();
    const Outcome outcome =
        operations.blankCheckSector(g.kind, g.sector, g.baseAddress, g.sectorSize);
    session.ui().finishProgress();
    const int result = reportPass(session.ui(), outcome, PassFinding::blankCheck);
    const long used = outcome.differences;
    commandReport()["sector"] = segmentName(g.kind, g.sector);
    commandReport()["bytes"] = g.sectorSize;
    commandReport()["differences"] = used;
    reportFirstDifference(outcome.firstDifference);
    if (result != 1) {
        commandReport()["failing_step"] = "blank_check";
        printResult("blank-check: " + unfinishedText(result));
    } else if (used == 0) {
        printResult("blank-check: blank, " + std::to_string(g.sectorSize) + " bytes");
    } else {
        printResult("blank-check: not blank, " + std::to_string(used) + " of " +
                    std::to_string(g.sectorSize) + " bytes used, first at " +
                    boardAddressText(*outcome.firstDifference));
    }
    return exitStatusFor(result, used);
}

// Program and verify: the image is loaded before the board is touched, so a file that cannot be
// used costs no connection.
int runImagePass(const CliOptions& options, const ImageSource& arguments, bool verify) {
    const std::string command = verify ? "verify" : "program";
    const InterruptGuard guard;
    CliSession session(options);
    const SectorGeometry g = session.geometry();
    const auto image = loadSectorImage(arguments, g);
    if (!image || session.connect() != exitSuccess) {
        printResult(command + ": failed");
        return exitFailure;
    }
    SectorOperations operations(session.board(), session.ui(), session.ui().cancel());
    operations.setCountEveryDifference(true);
    session.ui().setStep(verify ? "Verifying" : "Programming");
    const auto start = Clock::now();
    const Outcome passed = verify
                               ? operations.verifyImage(g.kind, g.sector, g.baseAddress, *image)
                               : operations.programImage(g.kind, g.sector, g.baseAddress, *image);
    session.ui().finishProgress();
    const int result =
        reportPass(session.ui(), passed, verify ? PassFinding::verify : PassFinding::none);
    // The bytes the file defines: what was written (blocks of nothing but 0xFF are skipped, the
    // flash holds that after an erase) and what was compared.
    const std::string length = std::to_string(image->definedCount());
    const long differences = passed.differences;
    commandReport()["sector"] = segmentName(g.kind, g.sector);
    commandReport()["bytes"] = image->definedCount();
    if (verify) {
        commandReport()["differences"] = differences;
        reportFirstDifference(passed.firstDifference);
    }
    if (result != 1 && !verify && passed.programmedEnd) {
        commandReport()["failing_step"] = command;
        FlashOutcome outcome;
        outcome.programmedEnd = passed.programmedEnd;
        commandReport()["board_holds"] = boardHoldsName(outcome);
        printResult(command + ": " + unfinishedText(result) + "; " + sectorStateText(outcome));
    } else if (result != 1) {
        commandReport()["failing_step"] = command;
        printResult(command + ": " + unfinishedText(result));
    } else if (!verify) {
        printResult("program: OK, " + bytesText(image->definedCount()) + " programmed in " +
                    std::to_string(millisecondsSince(start)) + " ms");
    } else if (differences == 0) {
        printResult("verify: OK, " + bytesText(image->definedCount()) +
                    (image->definedCount() == 1 ? " matches" : " match"));
    } else {
        printResult("verify: " + std::to_string(differences) + " of " + length +
                    " bytes differ, first at " + boardAddressText(*passed.firstDifference));
    }
    return exitStatusFor(result, differences);
}

// The format --format names, else the one the file's extension names; nothing after a message
// when neither names one.
std::optional<DumpFormat> uploadFormat(const UploadArguments& arguments, const std::string& path) {
    if (!arguments.format.empty()) {
        return dumpFormatNamed(arguments.format);
    }
    if (path == standardOutputName) {
        return DumpFormat::intelHex;
    }
    const DumpFormat format = dumpFormatForFileName(path);
    if (format == DumpFormat::none) {
        // Refused before the board is even asked, as the upload would refuse it after.
        TerminalUserInterface().showMessage(std::string(unknownDumpFormatMessage) +
                                                " To keep the name " + path +
                                                ", give the format with --format hex|bin|txt.",
                                            uploadSaveErrorCaption);
        return std::nullopt;
    }
    return format;
}

int runUpload(const CliOptions& options, const UploadArguments& arguments) {
    const SectorGeometry g = selectedSector(options);
    const std::string segment = segmentName(g.kind, g.sector);
    std::string path = arguments.file;
    if (path.empty()) {
        const auto named = dumpFormatNamed(arguments.format);
        path = SectorOperations::proposedFileName(segment) +
               dumpFormatExtension(named.value_or(DumpFormat::intelHex));
    }
    std::FILE* resultOut = path == standardOutputName ? stderr : stdout;
    commandReport()["sector"] = segment;
    commandReport()["output"] = path;
    if (path == standardOutputName && jsonOutput()) {
        // Standard output carries the JSON object alone.
        std::fprintf(stderr,
                     "loadstar-cli: upload to standard output (-) cannot be combined "
                     "with --json: name a file.\n");
        commandReport()["failing_step"] = "input";
        printResult("upload: failed", resultOut);
        return exitFailure;
    }
    const auto format = uploadFormat(arguments, path);
    const std::string folderFault =
        path != standardOutputName ? targetFolderProblem(path)
        : options.standardOutputClosed
            ? "standard output is closed: the dump would be lost. Give a file name instead of -"
            : "";
    if (!folderFault.empty()) {
        std::fprintf(stderr, "loadstar-cli: %s\n", folderFault.c_str());
    }
    if (!format || !folderFault.empty()) {
        commandReport()["failing_step"] = "save";
        commandReport()["file"] = path;
        if (!folderFault.empty()) {
            commandReport()["reason"] = folderFault;
        }
        printResult("upload: failed", resultOut);
        return exitFailure;
    }
    const InterruptGuard guard;
    CliSession session(options);
    if (session.connect() != exitSuccess) {
        printResult("upload: failed", resultOut);
        return exitFailure;
    }
    SectorOperations operations(session.board(), session.ui(), session.ui().cancel());
    operations.setReadEveryBlockTwice(arguments.readTwice);
    session.ui().setStep("Reading " + segment);
    std::vector<std::uint8_t> contents;
    int result = reportPass(session.ui(), operations.readSector(g.kind, g.sector, g.baseAddress,
                                                                g.sectorSize, contents));
    session.ui().finishProgress();
    commandReport()["failing_step"] = result == 1 ? "save" : "read";
    if (result == 1 && !writeDump(path, *format, contents, session.ui())) {
        commandReport()["file"] = path;
        result = 0;
    }
    if (result == 1) {
        commandReport()["failing_step"] = nullptr;
        commandReport()["bytes"] = contents.size();
    }
    if (result != 1) {
        printResult("upload: " + unfinishedText(result), resultOut);
    } else {
        printResult("upload: OK, " + std::to_string(contents.size()) + " bytes of " + segment +
                        " saved to " + (path == standardOutputName ? "standard output" : path) +
                        " as " + dumpFormatDescription(*format),
                    resultOut);
    }
    return exitStatusFor(result);
}

}  // namespace

void addBaseOption(CLI::App& command, std::string& base) {
    command
        .add_option("--base", base,
                    "Board address (hex) at which the image file's addresses start, subtracted "
                    "from them: 8000 for a file linked at board addresses")
        ->check(CLI::Validator(
            [](std::string& text) {
                return parseBaseAddress(text) ? std::string() : "not a hexadecimal address";
            },
            "ADDRESS"));
}

void addReadTwiceFlag(CLI::App& command, bool& readTwice) {
    command.add_flag(
        "--read-twice", readTwice,
        "Read every block until each byte's value leads all other reads of it by what the "
        "line's noise needs, so a noisy line gives an exact copy or a failure, never a "
        "silently wrong byte (replies carry no checksum); takes about three times the "
        "time on a clean line");
}

void addSectorCommands(CLI::App& app, const CliOptions& options, CommandList& commands) {
    auto* blank = app.add_subcommand(
        "blank-check",
        "Check that the selected sector is erased (exit 1: not blank, with the count of used "
        "bytes and the first one's address)");
    commands.push_back({blank, [&options] { return runBlankCheck(options); }});

    for (const bool verify : {false, true}) {
        auto arguments = std::make_shared<ImageSource>();
        auto* command =
            verify ? app.add_subcommand("verify",
                                        "Compare the selected sector with an image file (exit 1: "
                                        "the count of differing bytes and the first address)")
                   : app.add_subcommand("program",
                                        "Write an Intel HEX (.hex) or raw binary (.bin) image "
                                        "into the selected sector (it is not erased first)");
        addImageOptions(*command, *arguments);
        commands.push_back({command, [&options, arguments, verify] {
                                return runImagePass(options, *arguments, verify);
                            }});
    }

    auto upload = std::make_shared<UploadArguments>();
    auto* uploadCommand = app.add_subcommand(
        "upload",
        "Save the selected sector as Intel HEX, raw binary or a text memory dump; without FILE as "
        "KEL520_seg(FSn).hex or KEL520_seg(CSBOOTn).hex in the current folder, with - to stdout");
    uploadCommand->add_option("FILE", upload->file,
                              "File to write (- for stdout); its extension picks the format "
                              "unless --format does");
    uploadCommand->add_option("--format", upload->format, "hex, bin or txt, whatever the name")
        ->check(CLI::IsMember({"hex", "bin", "txt"}));
    addReadTwiceFlag(*uploadCommand, upload->readTwice);
    commands.push_back({uploadCommand, [&options, upload] { return runUpload(options, *upload); }});
}

}  // namespace loadstar::cli
