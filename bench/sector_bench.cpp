// Whole-sector passes against kel-emulator at 19200 baud through a modelled USB adapter (16 ms
// latency timer), on a compliant board and on one that answers every fifth reply 100 ms late: the
// wall time of a blank check, program, verify, upload and upload reading every block twice of a
// boot sector (8 KB; a main sector of 32 KB too with --main), each as a ratio to the pure wire
// limit (the sum over the pass's exchanges of (frame + reply bytes) x 10 / 19200 s + the
// latency), the frames sent again, and this process's CPU time as a share of the wall time. Then
// the time to load an Intel HEX image that starts with an extended linear address record.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "LineTally.h"
#include "QuietPasses.h"
#include "iap/BoardCommands.h"
#include "iap/DumpWriters.h"
#include "iap/ImageFile.h"
#include "iap/SectorOperations.h"
#include "link/SerialLink.h"
#include "support/EmulatorProcess.h"

using namespace loadstar;
using loadstar::bench::QuietPasses;

namespace {

struct Row {
    std::string name;
    long exchanges;
    double wall;
    double limit;
    double cpu;
    std::string outcome;
};

std::string writeImage(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

// One Intel HEX line of `bytes` at `offset` with the given record type.
std::string hexLine(int offset, int type, const std::uint8_t* bytes, int count) {
    char text[8];
    std::string line = ":";
    unsigned sum = static_cast<unsigned>(count + (offset >> 8) + (offset & 0xFF) + type);
    const auto put = [&](unsigned value) {
        std::snprintf(text, sizeof text, "%02X", value & 0xFF);
        line += text;
    };
    put(static_cast<unsigned>(count));
    put(static_cast<unsigned>(offset >> 8));
    put(static_cast<unsigned>(offset));
    put(static_cast<unsigned>(type));
    for (int i = 0; i < count; ++i) {
        put(bytes[i]);
        sum += bytes[i];
    }
    put((0x100 - (sum & 0xFF)) & 0xFF);
    return line + "\n";
}

// 32 KB of data behind an extended linear address of 0, as objcopy writes.
std::string hexBehindLinearAddress(const std::string& path,
                                   const std::vector<std::uint8_t>& bytes) {
    const std::uint8_t upper[] = {0x00, 0x00};
    std::string text = hexLine(0, 4, upper, 2);
    for (int offset = 0; offset < static_cast<int>(bytes.size()); offset += 16) {
        text += hexLine(offset, 0, bytes.data() + offset, 16);
    }
    text += ":00000001FF\n";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

}  // namespace

namespace {

std::vector<std::uint8_t> randomImage(int size) {
    std::mt19937 generator(42);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator() & 0x7F);  // never 0xFF: all of it is loaded
    }
    return bytes;
}

// The four passes over one sector, on an erased sector of the emulated board.
void benchSector(SectorOperations& operations, bench::LineTally& tally, double latencySeconds,
                 const SectorGeometry& g, const std::string& line, const std::string& folder,
                 std::vector<Row>& rows) {
    const std::string label = line + (g.kind == 0 ? " main " : " boot ");
    const std::string image =
        writeImage(folder + "/image-" + std::to_string(g.kind) + ".bin", randomImage(g.sectorSize));
    const std::string saveFile = folder + "/upload-" + std::to_string(g.kind) + ".hex";
    // Upload: the sector read, then saved as Intel HEX.
    const auto upload = [&] {
        std::vector<std::uint8_t> contents;
        const Outcome read =
            operations.readSector(g.kind, g.sector, g.baseAddress, g.sectorSize, contents);
        return read.ok() ? saveDumpFile(saveFile, DumpFormat::intelHex, contents) : read;
    };
    // What a pass needs on a clean line: the selection, then its blocks (`readsPerBlock` reads of
    // 241 bytes or one write of 100 bytes each); each exchange's frame and reply on the wire, and
    // the adapter's latency once.
    const auto wireLimit = [&](bool writes, int readsPerBlock, long& exchanges) {
        const double perByte = 10.0 / 19200.0;
        double seconds = 2 * ((11 + 5) * perByte + latencySeconds);  // SET VM, SET PAGE
        exchanges = 2;
        const int block =
            writes ? SectorOperations::writeBlockSize : SectorOperations::readBlockSize;
        for (int done = 0; done < g.sectorSize; done += block) {
            const int n = std::min(block, g.sectorSize - done);
            const int bytes = writes ? (6 + 6 + n) + 27 : (6 + 6) + (15 + n);
            const int times = writes ? 1 : readsPerBlock;
            seconds += times * (bytes * perByte + latencySeconds);
            exchanges += times;
        }
        return seconds;
    };
    const auto measure = [&](const std::string& name, bool writes, int readsPerBlock,
                             const auto& pass) {
        tally.reset();
        const bench::BenchClock clock;
        const Outcome passed = pass();
        const int result = bench::resultOf(passed);
        const double wall = clock.wallSeconds();
        const double cpu = clock.cpuSeconds();
        long exchanges = 0;
        const double limit = wireLimit(writes, readsPerBlock, exchanges);
        std::string outcome = "result " + std::to_string(result) + ", resends " +
                              std::to_string(tally.frames - exchanges);
        if (passed.failed()) {
            outcome += ", " + bench::failureOf(passed);
        }
        rows.push_back({label + name, tally.frames, wall, limit, cpu, outcome});
    };
    const auto k = g.kind;
    const auto s = g.sector;
    measure("blank check", false, 1,
            [&] { return operations.blankCheckSector(k, s, g.baseAddress, g.sectorSize); });
    measure("program", true, 1,
            [&] { return operations.programSector(k, s, g.baseAddress, g.sectorSize, image); });
    measure("verify", false, 1,
            [&] { return operations.verifySector(k, s, g.baseAddress, g.sectorSize, image); });
    measure("upload", false, 1, upload);
    operations.setReadEveryBlockTwice(true);
    measure("upload --read-twice", false, 2, upload);
    operations.setReadEveryBlockTwice(false);
}

void printPasses(const std::vector<Row>& rows) {
    std::printf("Sector passes against kel-emulator at 19200 baud\n");
    std::printf("%-32s %9s %10s %10s %7s %7s  %s\n", "pass", "exchanges", "wall s", "limit s",
                "ratio", "cpu %", "outcome");
    for (const auto& row : rows) {
        std::printf("%-32s %9ld %10.3f %10.3f %7.3f %7.2f  %s\n", row.name.c_str(), row.exchanges,
                    row.wall, row.limit, row.wall / row.limit, 100 * row.cpu / row.wall,
                    row.outcome.c_str());
    }
}

// Loads the image `rounds` times into a main sector; prints the mean and the slowest.
void benchLoad(const std::string& name, const std::string& file, int rounds) {
    std::vector<std::uint8_t> buffer;
    double total = 0;
    double slowest = 0;
    int loadedLength = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        (void)loadWindowImage(file, 0x8000, false, buffer);
        loadedLength = static_cast<int>(buffer.size());
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        total += ms;
        slowest = std::max(slowest, ms);
    }
    std::printf("%-44s %8.3f %8.3f  loaded length %d\n", name.c_str(), total / rounds, slowest,
                loadedLength);
}

// The passes over a boot sector (and a main one) on one line model of the emulator.
void benchLine(const std::string& name, std::vector<std::string> args, double latencySeconds,
               bool mainSectorToo, const std::string& folder, std::vector<Row>& rows) {
    bench::BenchLine line(name, std::move(args));
    if (!line.ready()) {
        return;
    }
    QuietPasses quiet;
    BoardCommands commands(line.link);
    SectorOperations operations(commands, quiet, quiet.cancel);
    for (const auto& geometry : {sectorGeometry(1, 1), sectorGeometry(0, 1)}) {
        if (geometry.kind == 0 && !mainSectorToo) {
            continue;
        }
        benchSector(operations, line.tally, latencySeconds, geometry, name, folder, rows);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool mainSectorToo = argc > 1 && std::string(argv[1]) == "--main";
    std::string folder = (std::filesystem::temp_directory_path() / "sector-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        return 2;
    }
    std::vector<Row> rows;
    benchLine("adapter", {"--latency-ms", "16"}, 0.016, mainSectorToo, folder, rows);
    benchLine("late 1/5", {"--latency-ms", "16", "--late-every", "5", "--late-ms", "100"}, 0.016,
              mainSectorToo, folder, rows);
    printPasses(rows);

    std::printf("\n%-44s %8s %8s\n", "image loading into a main sector", "mean ms", "max ms");
    const auto data = randomImage(0x8000);
    benchLoad("Intel HEX, 32 KB behind a type 04 record",
              hexBehindLinearAddress(folder + "/linear.hex", data), 50);
    benchLoad("raw binary, 32 KB", writeImage(folder + "/image.bin", data), 50);
    std::filesystem::remove_all(folder);
    return 0;
}
