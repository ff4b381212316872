#include "SectorCommands.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "DumpWriters.h"
#include "ExitCode.h"
#include "Interrupt.h"
#include "SectorOperations.h"

namespace loadstar::cli {

namespace {

// The window's closing status texts for one command: done, cancelled, failed; `timed` adds the
// time consumed to the done text, as Program's status line does.
struct ClosingTexts {
    const char* done;
    const char* cancelled;
    const char* failed;
    bool timed = false;
};

constexpr ClosingTexts blankCheckTexts = {"Blank Check done.", "Blank Check cancelled.",
                                          "Blank Check operation unsuccessful."};
constexpr ClosingTexts programTexts = {"Program Sector done.", "Program Sector cancelled.",
                                       "Error while programming of the sector.", true};
constexpr ClosingTexts verifyTexts = {"Verify Sector done.", "Verify Sector cancelled.",
                                      "Error while verifying of the sector."};
constexpr ClosingTexts uploadTexts = {"Upload done.", "Upload cancelled.",
                                      "Upload operation unsuccessful."};

using Pass = int (*)(SectorOperations&, const SectorGeometry&, const std::string& argument);

// Connects, runs `pass` on the selected sector with Ctrl-C as its cancel request, and turns its
// result into the closing text (done on stdout, the others on stderr) and the exit status.
// `saveFile` is the file that Upload's save dialog chooses.
int runSectorPass(const CliOptions& options, const ClosingTexts& texts, Pass pass,
                  const std::string& argument, std::optional<std::string> saveFile = {}) {
    const InterruptGuard guard;
    CliSession session(options);
    session.ui().setSaveFile(std::move(saveFile));
    if (session.connect() != exitSuccess) {
        return exitFailure;
    }
    if (InterruptGuard::interrupted()) {
        std::fprintf(stderr, "%s\n", texts.cancelled);
        return exitInterrupted;
    }
    SectorOperations operations(session.board());
    const auto start = std::chrono::steady_clock::now();
    const int result = pass(operations, session.geometry(), argument);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    session.ui().finishProgress();
    if (result == 1) {
        std::string done = texts.done;
        if (texts.timed) {
            done += " Time consumed is " + std::to_string(elapsed.count()) + " ms.";
        }
        std::printf("%s\n", done.c_str());
        return operations.firstDifferenceAddress() ? exitDifference : exitSuccess;
    }
    std::fprintf(stderr, "%s\n", result == -1 ? texts.cancelled : texts.failed);
    return result == -1 ? exitInterrupted : exitFailure;
}

int blankCheck(SectorOperations& operations, const SectorGeometry& g, const std::string&) {
    return operations.blankCheckSector(g.kind, g.sector, g.baseAddress, g.sectorSize);
}

int program(SectorOperations& operations, const SectorGeometry& g, const std::string& file) {
    return operations.programSector(g.kind, g.sector, g.baseAddress, g.sectorSize, file);
}

int verify(SectorOperations& operations, const SectorGeometry& g, const std::string& file) {
    return operations.verifySector(g.kind, g.sector, g.baseAddress, g.sectorSize, file);
}

int upload(SectorOperations& operations, const SectorGeometry& g, const std::string&) {
    return operations.uploadSector(g.kind, g.sector, g.baseAddress, g.sectorSize,
                                   segmentName(g.kind, g.sector));
}

}  // namespace

void addSectorCommands(CLI::App& app, const CliOptions& options, CommandList& commands) {
    auto* blank = app.add_subcommand(
        "blank-check",
        "Check that the selected sector is erased (exit 1 names the first used byte)");
    commands.push_back(
        {blank, [&options] { return runSectorPass(options, blankCheckTexts, blankCheck, ""); }});

    auto programFile = std::make_shared<std::string>();
    auto* programCommand = app.add_subcommand(
        "program",
        "Write an Intel HEX (.hex) or raw binary (.bin) image into the selected sector "
        "(it is not erased first)");
    programCommand->add_option("FILE", *programFile, "Image file, .hex or .bin")->required();
    commands.push_back({programCommand, [&options, programFile] {
                            return runSectorPass(options, programTexts, program, *programFile);
                        }});

    auto verifyFile = std::make_shared<std::string>();
    auto* verifyCommand =
        app.add_subcommand("verify",
                           "Compare the selected sector with an image file (exit 1 names the first "
                           "differing address)");
    verifyCommand->add_option("FILE", *verifyFile, "Image file, .hex or .bin")->required();
    commands.push_back({verifyCommand, [&options, verifyFile] {
                            return runSectorPass(options, verifyTexts, verify, *verifyFile);
                        }});

    auto uploadFile = std::make_shared<std::string>();
    auto* uploadCommand = app.add_subcommand(
        "upload",
        "Save the selected sector as .hex, .bin or a .txt memory dump; without FILE as "
        "KEL520_seg(FSn).hex or KEL520_seg(CSBOOTn).hex in the current folder");
    uploadCommand->add_option("FILE", *uploadFile, "File to write; its extension picks the format");
    commands.push_back(
        {uploadCommand, [&options, uploadFile]() -> int {
             const SectorGeometry g =
                 sectorGeometry(options.flash == "boot" ? 1 : 0, options.sector);
             const std::string file =
                 !uploadFile->empty()
                     ? *uploadFile
                     : SectorOperations::proposedFileName(segmentName(g.kind, g.sector)) + ".hex";
             // Refused before the board is even asked, as the upload would refuse it after.
             if (dumpFormatForFileName(file) == DumpFormat::none) {
                 TerminalUserInterface().showMessage(unknownDumpFormatMessage,
                                                     uploadSaveErrorCaption, MessageIcon::none);
                 std::fprintf(stderr, "%s\n", uploadTexts.failed);
                 return exitFailure;
             }
             return runSectorPass(options, uploadTexts, upload, "", file);
         }});
}

}  // namespace loadstar::cli
