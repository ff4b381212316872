#include "iap/SectorGeometry.h"

namespace loadstar {

SectorGeometry sectorGeometry(int kind, int sector) {
    SectorGeometry geometry;
    geometry.kind = static_cast<std::uint8_t>(kind);
    geometry.sector = static_cast<std::uint8_t>(sector);
    if (kind == 0) {
        geometry.baseAddress = 0x8000;
        geometry.sectorSize = 0x8000;
    } else {
        geometry.baseAddress = 0x8000 + sector * 0x2000;
        geometry.sectorSize = 0x2000;
    }
    return geometry;
}

std::string segmentName(int kind, int sector) {
    return (kind == 0 ? "FS" : "CSBOOT") + std::to_string(sector);
}

}  // namespace loadstar
