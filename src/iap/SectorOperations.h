#pragma once

#include <cstdint>
#include <string>

#include "BoardCommands.h"
#include "SectorGeometry.h"

namespace loadstar {

// Whole-sector passes: blank check, program, verify and upload. Each selects the flash, walks the
// sector in blocks (reads of 241 bytes, writes of 100), writes its progress to the status line and
// lets pending events run after every block, stops before the next block once cancelRequested is
// set, shows its own result box, and returns
//   1 done (also when the sector was found not blank or different from the file),
//  -1 cancelled, 0 failed (the message has been shown).
class SectorOperations {
public:
    explicit SectorOperations(BoardCommands& board) : board_(board) {}

    int blankCheckSector(std::uint8_t kind, std::uint8_t sector, int baseAddress, int sectorSize);
    int programSector(std::uint8_t kind, std::uint8_t sector, int baseAddress, int sectorSize,
                      const std::string& fileName);
    int verifySector(std::uint8_t kind, std::uint8_t sector, int baseAddress, int sectorSize,
                     const std::string& fileName);
    // Reads the whole sector, asks for a file through the save dialog (proposing
    // "KEL520_seg(" + segmentName + ")") and writes it as .bin, .txt or .hex.
    int uploadSector(std::uint8_t kind, std::uint8_t sector, int baseAddress, int sectorSize,
                     const std::string& segmentName);

private:
    BoardCommands& board_;
};

}  // namespace loadstar
