#include "DumpOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "AtomicFile.h"

namespace loadstar::cli {

namespace {

bool writeToStandardOutput(const std::string& bytes, UserInterface& ui) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
        std::fflush(stdout) == 0) {
        return true;
    }
    ui.noteFileProblem("standard output", std::strerror(errno));
    ui.showMessage("Error writing file !", uploadSaveErrorCaption, MessageIcon::none);
    return false;
}

}  // namespace

std::optional<DumpFormat> dumpFormatNamed(const std::string& name) {
    if (name == "hex") {
        return DumpFormat::intelHex;
    }
    if (name == "bin") {
        return DumpFormat::rawBinary;
    }
    if (name == "txt") {
        return DumpFormat::textDump;
    }
    return std::nullopt;
}

std::string dumpFormatExtension(DumpFormat format) {
    switch (format) {
        case DumpFormat::intelHex:
            return ".hex";
        case DumpFormat::rawBinary:
            return ".bin";
        case DumpFormat::textDump:
            return ".txt";
        case DumpFormat::none:
            break;
    }
    return {};
}

std::string dumpFormatDescription(DumpFormat format) {
    switch (format) {
        case DumpFormat::intelHex:
            return "Intel HEX";
        case DumpFormat::rawBinary:
            return "raw binary";
        case DumpFormat::textDump:
            return "text dump";
        case DumpFormat::none:
            break;
    }
    return "nothing";
}

bool writeDump(const std::string& path, DumpFormat format, std::span<const std::uint8_t> sector,
               UserInterface& ui) {
    const std::string bytes = formatDump(format, sector);
    if (path == standardOutputName) {
        return writeToStandardOutput(bytes, ui);
    }
    AtomicFile file(path);
    if (!file.create()) {
        ui.noteFileProblem(path, file.lastError());
        ui.showMessage("Error creating file !", uploadSaveErrorCaption, MessageIcon::none);
        return false;
    }
    if (!file.write(bytes) || !file.commit()) {
        ui.noteFileProblem(path, file.lastError());
        ui.showMessage("Error writing file !", uploadSaveErrorCaption, MessageIcon::none);
        return false;
    }
    return true;
}

}  // namespace loadstar::cli
