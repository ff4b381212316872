#include "cli/DumpOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "cli/OutcomeMessages.h"

namespace loadstar::cli {

namespace {

bool writeToStandardOutput(const std::string& bytes, TerminalUserInterface& ui) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
        std::fflush(stdout) == 0) {
        return true;
    }
    ui.showMessage(
        std::string("Error writing file ! (standard output: ") + std::strerror(errno) + ")",
        uploadSaveErrorCaption);
    return false;
}

struct FormatName {
    DumpFormat format;
    const char* name;  // what --format takes, and the extension without its dot
    const char* description;
};
constexpr FormatName formatNames[] = {{DumpFormat::intelHex, "hex", "Intel HEX"},
                                      {DumpFormat::rawBinary, "bin", "raw binary"},
                                      {DumpFormat::textDump, "txt", "text dump"}};

const FormatName* nameOf(DumpFormat format) {
    for (const auto& named : formatNames) {
        if (named.format == format) {
            return &named;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<DumpFormat> dumpFormatNamed(const std::string& name) {
    for (const auto& named : formatNames) {
        if (name == named.name) {
            return named.format;
        }
    }
    return std::nullopt;
}

std::string dumpFormatExtension(DumpFormat format) {
    const FormatName* named = nameOf(format);
    return named != nullptr ? std::string(".") + named->name : std::string();
}

std::string dumpFormatDescription(DumpFormat format) {
    const FormatName* named = nameOf(format);
    return named != nullptr ? named->description : "nothing";
}

std::string folderProblem(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (!fs::exists(status)) {
        if (error && error != std::errc::no_such_file_or_directory) {
            return "cannot reach the folder " + folder + ": " + error.message();
        }
        return "the folder " + folder + " does not exist";
    }
    if (!fs::is_directory(status)) {
        return folder + " is not a folder";
    }
    std::random_device random;
    const std::string probe = (fs::path(folder) / (".loadstar-probe-" + std::to_string(random()) +
                                                   "-" + std::to_string(random())))
                                  .string();
    std::FILE* file = std::fopen(probe.c_str(), "wb");
    if (file == nullptr) {
        return "cannot make files in the folder " + folder + ": " + std::strerror(errno);
    }
    std::fclose(file);
    fs::remove(probe, error);
    return {};
}

std::string targetFolderProblem(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(path).parent_path();
    std::string problem = folderProblem(folder.empty() ? std::string(".") : folder.string());
    std::error_code error;
    const fs::file_status target = fs::status(path, error);
    if (problem.empty() && fs::exists(target) && !fs::is_regular_file(target)) {
        // The save would refuse it after the whole sector was read.
        problem = path + (fs::is_directory(target) ? " is a folder" : " is not a regular file") +
                  ": upload replaces only regular files";
    }
    return problem;
}

bool writeDump(const std::string& path, DumpFormat format, std::span<const std::uint8_t> sector,
               TerminalUserInterface& ui) {
    if (path == standardOutputName) {
        return writeToStandardOutput(formatDump(format, sector), ui);
    }
    const Outcome saved = saveDumpFile(path, format, sector);
    reportSaveFailure(ui, saved);
    return saved.ok();
}

}  // namespace loadstar::cli
