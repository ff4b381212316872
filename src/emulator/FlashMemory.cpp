#include "emulator/FlashMemory.h"

#include <algorithm>
#include <stdexcept>

namespace loadstar::emulator {

FlashMemory::FlashMemory() : image_(imageSize, 0xFF) {}

int FlashMemory::sectorCount(FlashBank bank) {
    return bank == FlashBank::main ? mainSectorCount : bootSectorCount;
}

int FlashMemory::sectorSize(FlashBank bank) {
    return bank == FlashBank::main ? mainSectorSize : bootSectorSize;
}

std::size_t FlashMemory::sectorOffset(FlashBank bank, int sector) const {
    if (sector < 0 || sector >= sectorCount(bank)) {
        throw std::out_of_range("no such flash sector: " + std::to_string(sector));
    }
    const std::size_t bankStart =
        bank == FlashBank::main ? 0 : std::size_t{mainSectorCount} * mainSectorSize;
    return bankStart +
           static_cast<std::size_t>(sector) * static_cast<std::size_t>(sectorSize(bank));
}

std::span<std::uint8_t> FlashMemory::sector(FlashBank bank, int sector) {
    return {image_.data() + sectorOffset(bank, sector), static_cast<std::size_t>(sectorSize(bank))};
}

std::span<const std::uint8_t> FlashMemory::sector(FlashBank bank, int sector) const {
    return {image_.data() + sectorOffset(bank, sector), static_cast<std::size_t>(sectorSize(bank))};
}

void FlashMemory::eraseSector(FlashBank bank, int sector) {
    auto bytes = this->sector(bank, sector);
    std::fill(bytes.begin(), bytes.end(), std::uint8_t{0xFF});
}

bool FlashMemory::programByte(FlashBank bank, int sector, int offset, std::uint8_t value) {
    auto bytes = this->sector(bank, sector);
    if (offset < 0 || static_cast<std::size_t>(offset) >= bytes.size()) {
        throw std::out_of_range("offset outside the flash sector: " + std::to_string(offset));
    }
    std::uint8_t& cell = bytes[static_cast<std::size_t>(offset)];
    if ((cell & value) != value) {
        return false;  // would need a 0 -> 1 change, which only an erase can make
    }
    cell = value;
    return true;
}

bool FlashMemory::setImage(std::span<const std::uint8_t> image) {
    if (image.size() != imageSize) {
        return false;
    }
    std::copy(image.begin(), image.end(), image_.begin());
    return true;
}

}  // namespace loadstar::emulator
