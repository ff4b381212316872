#pragma once

#include <cstdint>
#include <string>

namespace loadstar {

// Where a flash sector lies in the board's address space once selectFlash has mapped it in.
// Main flash: sectors 0..7, each 32 KB at 0x8000 (the page chooses the sector). Boot flash:
// sectors 0..3, each 8 KB at 0x8000 + sector * 0x2000.
struct SectorGeometry {
    std::uint8_t kind = 0;  // 0 main, 1 boot
    std::uint8_t sector = 0;
    int baseAddress = 0x8000;
    int sectorSize = 0x8000;
};

inline constexpr int mainSectorCount = 8;
inline constexpr int bootSectorCount = 4;
inline constexpr int sectorBufferSize = 100000;

SectorGeometry sectorGeometry(int kind, int sector);
// "FS" + sector for the main flash, "CSBOOT" + sector for the boot flash.
std::string segmentName(int kind, int sector);

}  // namespace loadstar
