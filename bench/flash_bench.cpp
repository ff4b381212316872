// `loadstar-cli flash` of a main sector against kel-emulator at 19200 baud: the wall time of the
// whole command (connect, erase, program, verify) for a sparse image, whose data fill a quarter
// of the sector in four runs of 2 KB with erased bytes between them, written as Intel HEX (only
// the data records) and as a raw binary of the whole sector, and for a full sector of data.
// The tool itself is run, so the same figures compare one build of it with another.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "iap/DumpWriters.h"
#include "support/EmulatorProcess.h"
#include "support/ProgramRunner.h"

using namespace loadstar;

namespace {

constexpr int sectorSize = 0x8000;

std::vector<std::uint8_t> image(bool sparse) {
    std::mt19937 generator(42);
    std::vector<std::uint8_t> bytes(sectorSize, 0xFF);
    for (int offset = 0; offset < sectorSize; ++offset) {
        // Sparse: 2 KB of data at the start of every 8 KB.
        if (!sparse || offset % 0x2000 < 0x800) {
            bytes[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(generator() & 0x7F);
        }
    }
    return bytes;
}

void write(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// Intel HEX of `bytes` without the records that hold nothing but erased bytes.
std::string dataRecordsOnly(const std::vector<std::uint8_t>& bytes) {
    std::string hex;
    std::istringstream dump(intelHexDump(bytes));
    for (std::string line; std::getline(dump, line);) {
        if (line.size() != 43 || line.compare(9, 32, std::string(32, 'f')) != 0) {
            hex += line + "\n";
        }
    }
    return hex;
}

void flash(const std::string& cli, const std::string& name, const std::string& file) {
    testing::EmulatorProcess board({"--no-link", "--baud", "19200"});
    if (!board.started()) {
        std::fprintf(stderr, "%s\n", board.startupError().c_str());
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto run = testing::runProgram(cli, {"--port", board.devicePath(), "-q", "flash", file},
                                         std::chrono::minutes(5));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string result = run.output.substr(0, run.output.find('\n'));
    std::printf("%-46s %8.2f  exit %d, %s\n", name.c_str(), seconds, run.exitStatus,
                result.c_str());
}

}  // namespace

// An optional argument names another build of loadstar-cli to run.
int main(int argc, char** argv) {
    const std::string cli = argc > 1 ? argv[1] : testing::cliPath();
    std::string folder = (std::filesystem::temp_directory_path() / "flash-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        return 2;
    }
    const auto sparse = image(true);
    const auto full = image(false);
    write(folder + "/sparse.hex", dataRecordsOnly(sparse));
    write(folder + "/sparse.bin", std::string(sparse.begin(), sparse.end()));
    write(folder + "/full.bin", std::string(full.begin(), full.end()));
    std::printf("loadstar-cli flash, main sector, kel-emulator at 19200 baud\n");
    std::printf("%-46s %8s\n", "image", "wall s");
    std::printf("%s\n", cli.c_str());
    flash(cli, "sparse, a quarter of the sector, Intel HEX", folder + "/sparse.hex");
    flash(cli, "sparse, a quarter of the sector, raw binary", folder + "/sparse.bin");
    flash(cli, "full sector, raw binary", folder + "/full.bin");
    std::filesystem::remove_all(folder);
    return 0;
}
