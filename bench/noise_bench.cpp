// The passes over a boot sector (8 KB) against kel-emulator at 19200 baud whose reply bytes have a
// bit flipped at random (one bit per damaged byte, as on a real line), none, 1 in 1,000, 2 % and
// 5 % of them: the wall time of each pass, the frames it sent, and whether it came out right.
// Upload with and without reading every block until its bytes agree.

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "LineTally.h"
#include "QuietPasses.h"
#include "iap/BoardCommands.h"
#include "iap/SectorOperations.h"
#include "support/TempDir.h"

using namespace loadstar;

namespace {

constexpr int sector = 1;
constexpr int base = 0xA000;
constexpr int size = 0x2000;

std::vector<std::uint8_t> randomImage() {
    std::mt19937 generator(42);
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator());
    }
    return bytes;
}

void benchRate(const std::string& rate, const std::string& folder) {
    bench::BenchLine line("corrupt " + rate,
                          {"--corrupt-rate", rate, "--corrupt-bits", "--seed", "3"});
    if (!line.ready()) {
        return;
    }
    bench::QuietPasses quiet;
    BoardCommands commands(line.link);
    SectorOperations operations(commands, quiet, quiet.cancel);
    std::string lastFailure;
    long differences = 0;
    // The pass's result code; what failed and what differed are kept for the table.
    const auto resultCode = [&lastFailure, &differences](const Outcome& outcome) {
        lastFailure = bench::failureOf(outcome);
        differences = outcome.differences;
        return bench::resultOf(outcome);
    };
    const auto image = randomImage();
    const std::string imageFile = folder + "/image.bin";
    std::FILE* out = std::fopen(imageFile.c_str(), "wb");
    std::fwrite(image.data(), 1, image.size(), out);
    std::fclose(out);
    std::vector<std::uint8_t> copy;
    // "exact", "failed" (loudly), or the worst: done, but wrong.
    auto uploaded = [&](int result) {
        if (result != 1) {
            return std::string("failed");
        }
        long wrong = 0;
        for (std::size_t i = 0; i < image.size(); ++i) {
            wrong += copy.at(i) != image[i] ? 1 : 0;
        }
        return wrong == 0 ? std::string("exact")
                          : "WRONG: done with " + std::to_string(wrong) + " wrong bytes";
    };
    auto compared = [&](int result) {
        if (result != 1) {
            return std::string("failed");
        }
        return differences == 0 ? std::string("exact")
                                : "WRONG: " + std::to_string(differences) + " bytes differ";
    };
    // Whatever the noisy program did, the passes after it read a sector that holds the image:
    // it is written again over a clean line.
    auto programOverACleanLine = [&] {
        (void)line.board.control("corrupt 0");
        const bool written = commands.eraseSector(1, sector, base).ok() &&
                             operations.programSector(1, sector, base, size, imageFile).ok();
        (void)line.board.control("corrupt " + rate);
        return written;
    };
    const std::vector<std::pair<std::string, std::function<std::string()>>> passes = {
        {"blank check",
         [&] { return compared(resultCode(operations.blankCheckSector(1, sector, base, size))); }},
        {"program",
         [&] {
             return std::string(
                 resultCode(operations.programSector(1, sector, base, size, imageFile)) == 1
                     ? "done"
                     : "failed");
         }},
        {"verify",
         [&] {
             return compared(resultCode(operations.verifySector(1, sector, base, size, imageFile)));
         }},
        {"upload",
         [&] { return uploaded(resultCode(operations.readSector(1, sector, base, size, copy))); }},
        {"upload --read-twice",
         [&] {
             operations.setReadEveryBlockTwice(true);
             return uploaded(resultCode(operations.readSector(1, sector, base, size, copy)));
         }},
    };
    for (const auto& [name, pass] : passes) {
        if (name == "verify" && !programOverACleanLine()) {
            std::printf("%-8s the image could not be written over a clean line\n", rate.c_str());
            return;
        }
        line.tally.reset();
        lastFailure.clear();
        const bench::BenchClock clock;
        const std::string outcome = pass();
        std::printf("%-8s %-20s %8.3f %7ld   %s%s\n", rate.c_str(), name.c_str(),
                    clock.wallSeconds(), line.tally.frames, outcome.c_str(),
                    lastFailure.empty() ? "" : (", " + lastFailure).c_str());
    }
}

}  // namespace

int main() {
    const testing::TempDir folder;
    std::printf("Boot sector passes at 19200 baud with one bit of some reply bytes flipped\n");
    std::printf("%-8s %-20s %8s %7s   %s\n", "rate", "pass", "wall s", "frames", "outcome");
    for (const char* rate : {"0", "0.001", "0.02", "0.05"}) {
        benchRate(rate, folder.path().string());
    }
    return 0;
}
