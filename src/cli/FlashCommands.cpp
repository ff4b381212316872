#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/CommandResult.h"
#include "cli/DumpOutput.h"
#include "cli/ExitCode.h"
#include "cli/FlashSteps.h"
#include "cli/ImageInput.h"
#include "cli/Interrupt.h"
#include "cli/OutcomeMessages.h"
#include "cli/SectorCommands.h"

namespace loadstar::cli {

namespace {

using Clock = std::chrono::steady_clock;

struct FlashArguments {
    ImageSource image;
    bool noErase = false;
    bool noVerify = false;
};

struct FolderArguments {
    std::string folder;
    std::string format = "hex";
    bool readTwice = false;
};

// One sector file of a restore, loaded before the board is touched.
struct RestoreItem {
    SectorGeometry geometry;
    SectorImage image;
    std::string file;
};

// A restore refused before the board is touched: the folder and why, unless a file was named.
void reportRestoreRefusal(const std::string& path, const std::string& reason) {
    nlohmann::json& report = commandReport();
    if (!report.contains("file")) {
        report["failing_step"] = "load";
        report["file"] = path;
        report["line"] = nullptr;
        report["reason"] = reason;
    }
}

// The twelve sectors in the order backup and restore take them: main 0-7, then boot 0-3.
std::vector<SectorGeometry> allSectors() {
    std::vector<SectorGeometry> sectors;
    for (int sector = 0; sector < mainSectorCount; ++sector) {
        sectors.push_back(sectorGeometry(mainFlash, sector));
    }
    for (int sector = 0; sector < bootSectorCount; ++sector) {
        sectors.push_back(sectorGeometry(bootFlash, sector));
    }
    return sectors;
}

std::string nameOf(const SectorGeometry& g) {
    return segmentName(g.kind, g.sector);
}

std::string sectorFile(const std::string& folder, const SectorGeometry& g, DumpFormat format) {
    return (std::filesystem::path(folder) /
            (SectorOperations::proposedFileName(nameOf(g)) + dumpFormatExtension(format)))
        .string();
}

// "3 of 1500 bytes differ after programming, first at 0x8002".
std::string differenceText(const FlashOutcome& outcome, long length) {
    return std::to_string(outcome.differences) + " of " + std::to_string(length) +
           " bytes differ after programming, first at " +
           boardAddressText(outcome.firstDifference.value_or(0));
}

// "failed at program; the sector is erased and programmed up to 0x8063: its old contents are
// gone".
std::string unfinishedFlashText(const FlashOutcome& outcome) {
    const std::string state = sectorStateText(outcome);
    return unfinishedText(outcome.result) + " at " + flashStepName(outcome.step) +
           (state.empty() ? "" : "; " + state);
}

// A flash's or a restored sector's counts, failing step and what the sector holds.
void reportFlashOutcome(nlohmann::json& report, const FlashOutcome& outcome, long bytes) {
    report["bytes"] = bytes;
    report["differences"] = outcome.differences;
    report["first_difference"] = outcome.firstDifference ? nlohmann::json(*outcome.firstDifference)
                                                         : nlohmann::json(nullptr);
    report["failing_step"] =
        outcome.result != 1 ? nlohmann::json(flashStepName(outcome.step)) : nlohmann::json(nullptr);
    report["board_holds"] = boardHoldsName(outcome);
}

int runFlash(const CliOptions& options, const FlashArguments& arguments) {
    const InterruptGuard guard;
    CliSession session(options);
    const SectorGeometry g = session.geometry();
    // Loaded first: a file that cannot be used must not cost the sector its contents.
    commandReport()["sector"] = nameOf(g);
    commandReport()["board_holds"] = "untouched";
    const auto image = loadSectorImage(arguments.image, g);
    if (!image || session.connect() != exitSuccess) {
        printResult("flash: failed");
        return exitFailure;
    }
    SectorOperations operations(session.board(), session.ui(), session.ui().cancel());
    TerminalUserInterface& ui = session.ui();
    const FlashPlan plan{!arguments.noErase, !arguments.noVerify};
    const auto start = Clock::now();
    const FlashOutcome outcome =
        flashSector(operations, session.board(), ui, g, *image, plan,
                    [&ui](FlashStep step, long) { ui.setStep(flashStepLabel(step)); });
    ui.finishProgress();
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    reportFlashOutcome(commandReport(), outcome, image->definedCount());
    if (outcome.result != 1) {
        printResult("flash: " + unfinishedFlashText(outcome));
    } else if (outcome.differences > 0) {
        printResult("flash: " + differenceText(outcome, image->definedCount()));
    } else {
        const std::string steps = std::string(plan.erase ? "erased, " : "") +
                                  (plan.verify ? "programmed and verified" : "programmed");
        printResult("flash: OK, " + bytesText(image->definedCount()) + " " + steps + " in " +
                    std::to_string(milliseconds) + " ms");
    }
    return exitStatusFor(outcome.result, outcome.differences);
}

int runBackup(const CliOptions& options, const FolderArguments& arguments) {
    const DumpFormat format = dumpFormatNamed(arguments.format).value_or(DumpFormat::intelHex);
    std::error_code error;
    std::filesystem::create_directories(arguments.folder, error);
    const std::string folderFault =
        error ? "cannot create the folder " + arguments.folder + ": " + error.message()
              : folderProblem(arguments.folder);
    commandReport()["folder"] = arguments.folder;
    commandReport()["sectors"] = nlohmann::json::array();
    if (!folderFault.empty()) {
        std::fprintf(stderr, "loadstar-cli: %s\n", folderFault.c_str());
        commandReport()["failing_step"] = "save";
        commandReport()["file"] = arguments.folder;
        commandReport()["reason"] = folderFault;
        printResult("backup: failed");
        return exitFailure;
    }
    const InterruptGuard guard;
    CliSession session(options);
    if (session.connect() != exitSuccess) {
        printResult("backup: failed");
        return exitFailure;
    }
    SectorOperations operations(session.board(), session.ui(), session.ui().cancel());
    operations.setReadEveryBlockTwice(arguments.readTwice);
    const auto sectors = allSectors();
    long total = 0;
    for (const auto& g : sectors) {
        total += g.sectorSize;
    }
    long done = 0;
    int saved = 0;
    for (const auto& g : sectors) {
        session.ui().setStep("Backup " + nameOf(g), done, total);
        std::vector<std::uint8_t> contents;
        int result =
            InterruptGuard::interrupted()
                ? -1
                : reportPass(session.ui(), operations.readSector(g.kind, g.sector, g.baseAddress,
                                                                 g.sectorSize, contents));
        const std::string file = sectorFile(arguments.folder, g, format);
        commandReport()["failing_step"] = "read";
        if (result == 1) {
            commandReport()["failing_step"] = "save";
            if (!writeDump(file, format, contents, session.ui())) {
                commandReport()["file"] = file;
                result = 0;
            }
        }
        commandReport()["sectors"].push_back(
            {{"sector", nameOf(g)}, {"file", file}, {"result", result == 1 ? "ok" : "failed"}});
        if (result != 1) {
            commandReport()["sectors"].back()["result"] = unfinishedText(result);
            session.ui().finishProgress();
            printResult("backup: " + unfinishedText(result) + " at " + nameOf(g) + ", " +
                        std::to_string(saved) + " of " + std::to_string(sectors.size()) +
                        " sectors saved in " + arguments.folder);
            return exitStatusFor(result);
        }
        done += g.sectorSize;
        ++saved;
    }
    session.ui().finishProgress();
    commandReport()["failing_step"] = nullptr;
    commandReport()["bytes"] = total;
    printResult("backup: OK, " + std::to_string(saved) + " sectors saved in " + arguments.folder);
    return exitSuccess;
}

// Finds and loads the sector files of `folder`; a sector without one is named and skipped.
// Nothing when the folder or any file cannot be used (every message has been shown): a restore
// erases nothing unless every file passed.
std::optional<std::vector<RestoreItem>> loadRestoreItems(const std::string& folder) {
    std::error_code folderError;
    const auto status = std::filesystem::status(folder, folderError);
    if (!std::filesystem::is_directory(status)) {
        const std::string reason = std::filesystem::exists(status) ? "not a folder"
                                   : status.type() == std::filesystem::file_type::not_found
                                       ? "the folder does not exist"
                                       : folderError.message();
        std::fprintf(stderr, "loadstar-cli: %s: %s\n", folder.c_str(), reason.c_str());
        reportRestoreRefusal(folder, reason);
        return std::nullopt;
    }
    std::vector<RestoreItem> items;
    bool allUsable = true;
    for (const auto& g : allSectors()) {
        const std::string hex = sectorFile(folder, g, DumpFormat::intelHex);
        const std::string bin = sectorFile(folder, g, DumpFormat::rawBinary);
        std::error_code hexError;
        std::error_code binError;
        const bool hasHex = std::filesystem::exists(hex, hexError);
        const bool hasBin = std::filesystem::exists(bin, binError);
        if (hexError || binError) {
            std::fprintf(stderr, "loadstar-cli: %s: %s\n", (hexError ? hex : bin).c_str(),
                         (hexError ? hexError : binError).message().c_str());
            reportRestoreRefusal(hexError ? hex : bin, (hexError ? hexError : binError).message());
            return std::nullopt;
        }
        if (hasHex && hasBin) {
            std::fprintf(stderr, "loadstar-cli: both %s and %s exist: remove the one not meant.\n",
                         hex.c_str(), bin.c_str());
            reportRestoreRefusal(bin, "both " + hex + " and " + bin + " exist");
            return std::nullopt;
        }
        if (!hasHex && !hasBin) {
            std::fprintf(stderr, "loadstar-cli: no %s or .bin: sector %s is left as it is.\n",
                         hex.c_str(), nameOf(g).c_str());
            commandReport()["sectors"].push_back({{"sector", nameOf(g)},
                                                  {"file", nullptr},
                                                  {"result", "skipped"},
                                                  {"board_holds", "untouched"}});
            continue;
        }
        auto image = loadRestoreImage(hasHex ? hex : bin, g);
        if (!image) {
            allUsable = false;  // go on, so that every unusable file is named at once
            continue;
        }
        items.push_back({g, std::move(*image), hasHex ? hex : bin});
    }
    if (!allUsable) {
        return std::nullopt;
    }
    return items;
}

int runRestore(const CliOptions& options, const FolderArguments& arguments) {
    const InterruptGuard guard;
    CliSession session(options);
    commandReport()["folder"] = arguments.folder;
    commandReport()["sectors"] = nlohmann::json::array();
    commandReport()["board_holds"] = "untouched";
    const auto items = loadRestoreItems(arguments.folder);
    if (items && items->empty()) {
        std::fprintf(stderr, "loadstar-cli: %s holds no sector files.\n", arguments.folder.c_str());
        reportRestoreRefusal(arguments.folder, "holds no sector files");
    }
    if (!items || items->empty() || session.connect() != exitSuccess) {
        printResult("restore: failed, nothing was changed");
        return exitFailure;
    }
    long total = 0;
    for (const auto& item : *items) {
        total += item.geometry.sectorSize + item.image.loadedLength() + item.image.definedEnd();
    }
    SectorOperations operations(session.board(), session.ui(), session.ui().cancel());
    TerminalUserInterface& ui = session.ui();
    long done = 0;
    int flashed = 0;
    for (const auto& item : *items) {
        const std::string name = nameOf(item.geometry);
        const FlashOutcome outcome = flashSector(
            operations, session.board(), ui, item.geometry, item.image, {},
            [&](FlashStep step, long bytes) {
                ui.setStep("Restore " + name + ": " + flashStepLabel(step), done, total);
                done += bytes;
            });
        nlohmann::json sector = {
            {"sector", name},
            {"file", item.file},
            {"result", resultName(exitStatusFor(outcome.result, outcome.differences))}};
        reportFlashOutcome(sector, outcome, item.image.definedCount());
        commandReport()["sectors"].push_back(sector);
        if (outcome.result != 1 || outcome.differences > 0) {
            reportFlashOutcome(commandReport(), outcome, item.image.definedCount());
            commandReport()["sector"] = name;
            ui.finishProgress();
            printResult("restore: " + name + ": " +
                        (outcome.result != 1 ? unfinishedFlashText(outcome)
                                             : differenceText(outcome, item.image.definedCount())) +
                        "; " + std::to_string(flashed) + " sectors restored before it");
            return exitStatusFor(outcome.result, outcome.differences);
        }
        ++flashed;
    }
    ui.finishProgress();
    commandReport()["board_holds"] = "new image, verified";
    printResult("restore: OK, " + std::to_string(flashed) + " sectors restored, " +
                std::to_string(allSectors().size() - items->size()) + " skipped");
    return exitSuccess;
}

}  // namespace

void addFlashCommands(CLI::App& app, const CliOptions& options, CommandList& commands) {
    auto flash = std::make_shared<FlashArguments>();
    auto* flashCommand = app.add_subcommand(
        "flash",
        "Erase the selected sector, program an image file into it and verify it, over one "
        "connection (exit 1: the count of differing bytes and the first address)");
    addImageOptions(*flashCommand, flash->image);
    flashCommand->add_flag("--no-erase", flash->noErase, "Program without erasing first");
    flashCommand->add_flag("--no-verify", flash->noVerify, "Do not verify after programming");
    commands.push_back({flashCommand, [&options, flash] { return runFlash(options, *flash); }});

    auto backup = std::make_shared<FolderArguments>();
    auto* backupCommand = app.add_subcommand(
        "backup",
        "Save all twelve sectors (main 0-7, boot 0-3) into DIR as KEL520_seg(FSn).hex and "
        "KEL520_seg(CSBOOTn).hex");
    backupCommand->add_option("DIR", backup->folder, "Folder, made when missing")->required();
    backupCommand->add_option("--format", backup->format, "hex or bin")
        ->check(CLI::IsMember({"hex", "bin"}))
        ->capture_default_str();
    addReadTwiceFlag(*backupCommand, backup->readTwice);
    commands.push_back({backupCommand, [&options, backup] { return runBackup(options, *backup); }});

    auto restore = std::make_shared<FolderArguments>();
    auto* restoreCommand = app.add_subcommand(
        "restore",
        "Flash every sector from its file in DIR (as backup names them, .hex or .bin): erase, "
        "program, verify; sectors without a file are left as they are");
    restoreCommand->add_option("DIR", restore->folder, "Folder written by backup")->required();
    commands.push_back(
        {restoreCommand, [&options, restore] { return runRestore(options, *restore); }});
}

}  // namespace loadstar::cli
