// The passes over a boot sector (8 KB) against kel-emulator at 19200 baud whose replies have
// bytes flipped at random, 0, 1 in 10,000 and 1 in 1,000: the wall time of each pass, the frames
// it sent, and whether it came out right. Upload with and without reading every block twice.

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "BoardCommands.h"
#include "LineTally.h"
#include "QuietUserInterface.h"
#include "SectorOperations.h"
#include "TempDir.h"

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
    bench::BenchLine line("corrupt " + rate, {"--corrupt-rate", rate, "--seed", "3"});
    if (!line.ready()) {
        return;
    }
    bench::QuietUserInterface ui;
    BoardCommands commands(line.link, ui);
    SectorOperations operations(commands);
    const auto image = randomImage();
    const std::string imageFile = folder + "/image.bin";
    std::FILE* out = std::fopen(imageFile.c_str(), "wb");
    std::fwrite(image.data(), 1, image.size(), out);
    std::fclose(out);
    std::vector<std::uint8_t> copy;
    const std::vector<std::pair<std::string, std::function<bool()>>> passes = {
        {"blank check", [&] { return operations.blankCheckSector(1, sector, base, size) == 1; }},
        {"program",
         [&] { return operations.programSector(1, sector, base, size, imageFile) == 1; }},
        {"verify",
         [&] {
             return operations.verifySector(1, sector, base, size, imageFile) == 1 &&
                    operations.differenceCount() == 0;
         }},
        {"upload",
         [&] { return operations.readSector(1, sector, base, size, copy) == 1 && copy == image; }},
        {"upload --read-twice",
         [&] {
             operations.setReadEveryBlockTwice(true);
             return operations.readSector(1, sector, base, size, copy) == 1 && copy == image;
         }},
    };
    for (const auto& [name, pass] : passes) {
        line.tally.reset();
        ui.lastMessage.clear();
        const bench::BenchClock clock;
        const bool right = pass();
        std::printf("%-8s %-20s %8.3f %7ld   %s%s\n", rate.c_str(), name.c_str(),
                    clock.wallSeconds(), line.tally.frames,
                    right ? "exact" : "NOT exact, or failed",
                    ui.lastMessage.empty() ? "" : (", \"" + ui.lastMessage + "\"").c_str());
    }
}

}  // namespace

int main() {
    const testing::TempDir folder;
    std::printf("Boot sector passes at 19200 baud with reply bytes flipped at random\n");
    std::printf("%-8s %-20s %8s %7s   %s\n", "rate", "pass", "wall s", "frames", "outcome");
    for (const char* rate : {"0", "0.0001", "0.001"}) {
        benchRate(rate, folder.path().string());
    }
    return 0;
}
