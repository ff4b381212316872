#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace loadstar::emulator {

enum class FlashBank { main, boot };

// The board's two flash memories: main flash of 8 sectors of 32 KB and boot flash of 4 sectors of
// 8 KB, all erased (0xFF) at first. Flash can only clear bits when programmed; only an erase sets
// a sector back to 0xFF.
class FlashMemory {
  public:
    static constexpr int mainSectorCount = 8;
    static constexpr int mainSectorSize = 0x8000;
    static constexpr int bootSectorCount = 4;
    static constexpr int bootSectorSize = 0x2000;
    // The size of a whole image: main sectors 0..7, then boot sectors 0..3.
    static constexpr std::size_t imageSize = std::size_t{mainSectorCount} * mainSectorSize +
                                             std::size_t{bootSectorCount} * bootSectorSize;

    FlashMemory();

    [[nodiscard]] static int sectorCount(FlashBank bank);
    [[nodiscard]] static int sectorSize(FlashBank bank);

    // The bytes of one sector; `sector` must be within the bank's count.
    [[nodiscard]] std::span<std::uint8_t> sector(FlashBank bank, int sector);
    [[nodiscard]] std::span<const std::uint8_t> sector(FlashBank bank, int sector) const;

    void eraseSector(FlashBank bank, int sector);
    // Programs `value` at `offset` of the sector when that needs no bit to go from 0 to 1, and
    // says whether it could.
    [[nodiscard]] bool programByte(FlashBank bank, int sector, int offset, std::uint8_t value);

    // Both memories as one image (main then boot), and back; setImage refuses a wrong size.
    [[nodiscard]] const std::vector<std::uint8_t>& image() const { return image_; }
    [[nodiscard]] bool setImage(std::span<const std::uint8_t> image);

  private:
    [[nodiscard]] std::size_t sectorOffset(FlashBank bank, int sector) const;

    std::vector<std::uint8_t> image_;
};

}  // namespace loadstar::emulator
