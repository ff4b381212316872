#include "cli/ImageInput.h"

#include <cstdio>
#include <regex>

#include "cli/CommandResult.h"
#include "cli/SectorCommands.h"
#include "iap/FileExtension.h"
#include "words/ImageLoadWords.h"

namespace loadstar::cli {

namespace {

std::string hexAddress(long long address) {
    char text[24];
    std::snprintf(text, sizeof text, "%04llX", address);
    return text;
}

void say(const std::string& text) {
    std::fprintf(stderr, "loadstar-cli: %s\n", text.c_str());
}

// The report's "load" failure: the file, the line of a bad record (0: none) and why. The first
// file refused is the one reported.
void reportLoadProblem(const std::string& file, int line, const std::string& reason) {
    nlohmann::json& report = commandReport();
    if (report.contains("file")) {
        return;
    }
    report["failing_step"] = "load";
    report["file"] = file;
    report["line"] = line > 0 ? nlohmann::json(line) : nlohmann::json(nullptr);
    report["reason"] = reason;
}

void reportLoadProblem(const ImageLoad& load) {
    reportLoadProblem(load.file, load.line, imageLoadReason(load));
}

ImageFormat formatNamed(const std::string& name) {
    return name == "hex"   ? ImageFormat::intelHex
           : name == "bin" ? ImageFormat::rawBinary
                           : ImageFormat::byContent;
}

ImageLoad load(const std::string& file, ImageFormat format, const SectorGeometry& geometry,
               long long base, SectorImage& image) {
    if (file == standardInputName) {
        return readImage(stdin, "standard input", format, geometry.sectorSize, base, image);
    }
    return loadImage(file, format, geometry.sectorSize, base, image);
}

// What the tool says of an image that holds data outside the sector, empty when it holds none.
// The window loads such a file with a warning; the tool refuses it, as a script cannot see a
// warning and would take the sector for the whole image.
std::string leftOutProblem(const ImageLoad& loaded, const SectorGeometry& geometry, int base) {
    if (loaded.format == ImageFormat::rawBinary && loaded.pastSector) {
        return loaded.file + " is longer than the sector's " + std::to_string(geometry.sectorSize) +
               " bytes: give a file of the sector's size at most";
    }
    if (!loaded.pastSector && !loaded.beforeSector) {
        return {};
    }
    std::string text = loaded.file + " holds data outside the sector: its data lie at " +
                       hexAddress(loaded.lowestAddress.value_or(0)) + "-" +
                       hexAddress(loaded.highestAddress.value_or(0)) + ", the sector takes " +
                       hexAddress(base) + "-" + hexAddress(base + geometry.sectorSize - 1);
    if (base == 0 && loaded.highestAddress.value_or(0) >= boardWindowStart &&
        loaded.highestAddress.value_or(0) <= 0xFFFF) {
        text += ". For a file linked at board addresses, add --base " +
                hexAddress(geometry.baseAddress);
    }
    return text;
}

}  // namespace

void addImageOptions(CLI::App& command, ImageSource& source) {
    command
        .add_option("FILE", source.file,
                    "Image file: Intel HEX (by its content, whatever its name), or raw binary "
                    "named .bin; - reads standard input")
        ->required();
    command
        .add_option("--format", source.format, "Read the image as hex or bin, whatever its name")
        ->check(CLI::IsMember({"hex", "bin"}));
    addBaseOption(command, source.base);
}

std::optional<int> parseBaseAddress(const std::string& text) {
    static const std::regex address("(0[xX])?[0-9a-fA-F]{1,4}");
    if (!std::regex_match(text, address)) {
        return std::nullopt;
    }
    return std::stoi(text, nullptr, 16);
}

std::string imageProblemText(const ImageLoad& load) {
    if (load.problem == ImageProblem::unknownFormat) {
        return load.file + ": " + imageLoadReason(load) +
               ". Images are Intel HEX (any name) or raw binary (named .bin, or with --format "
               "bin).";
    }
    const std::string where = load.line > 0 ? ":" + std::to_string(load.line) : "";
    return load.file + where + ": " + imageLoadReason(load);
}

std::optional<SectorImage> loadSectorImage(const ImageSource& source,
                                           const SectorGeometry& geometry) {
    const int base = source.base.empty() ? 0 : parseBaseAddress(source.base).value_or(0);
    const ImageFormat format = formatNamed(source.format);
    SectorImage image;
    const ImageLoad loaded = load(source.file, format, geometry, base, image);
    if (!loaded.ok()) {
        say(imageProblemText(loaded));
        reportLoadProblem(loaded);
        return std::nullopt;
    }
    if (base != 0 && loaded.format != ImageFormat::intelHex) {
        say("--base applies to Intel HEX files only: " + loaded.file);
        reportLoadProblem(loaded.file, 0, "--base applies to Intel HEX files only");
        return std::nullopt;
    }
    if (const std::string leftOut = leftOutProblem(loaded, geometry, base); !leftOut.empty()) {
        say(leftOut + "; nothing was sent to the board.");
        return std::nullopt;
    }
    if (image.definedCount() == 0) {
        say(loaded.file + " holds no data for the sector");
        reportLoadProblem(loaded.file, 0, "holds no data for the sector");
        return std::nullopt;
    }
    return image;
}

std::optional<SectorImage> loadRestoreImage(const std::string& path,
                                            const SectorGeometry& geometry) {
    const bool raw = fileExtension(path) == ".bin";
    SectorImage image;
    ImageLoad loaded =
        load(path, raw ? ImageFormat::rawBinary : ImageFormat::intelHex, geometry, 0, image);
    const long long first = geometry.baseAddress;
    const long long last = geometry.baseAddress + geometry.sectorSize - 1;
    // Linked at the sector's board addresses: every byte lies in the sector's window.
    if (loaded.ok() && !raw && loaded.pastSector && !loaded.beforeSector &&
        loaded.lowestAddress >= first && loaded.highestAddress <= last) {
        loaded = load(path, ImageFormat::intelHex, geometry, first, image);
    }
    const std::string size = std::to_string(geometry.sectorSize);
    std::string refusal;
    if (!loaded.ok()) {
        say(imageProblemText(loaded));
        reportLoadProblem(loaded);
        return std::nullopt;
    }
    if (raw && (loaded.rawSize != geometry.sectorSize || loaded.pastSector)) {
        refusal = (loaded.pastSector ? "more than " + size : std::to_string(loaded.rawSize)) +
                  " bytes, but a .bin must be exactly its sector's size, " + size + " bytes";
    } else if (loaded.pastSector || loaded.beforeSector) {
        refusal = "data outside the sector: its records must lie at offsets 0000-" +
                  hexAddress(geometry.sectorSize - 1) + ", or at its board addresses " +
                  hexAddress(first) + "-" + hexAddress(last);
    } else if (image.definedCount() == 0) {
        refusal = "holds no data; restore would only erase the sector";
    } else {
        return image;
    }
    say(path + ": " + refusal);
    reportLoadProblem(path, 0, refusal);
    return std::nullopt;
}

}  // namespace loadstar::cli
