#include "iap/BoardCommands.h"

namespace loadstar {

Outcome failedAt(Step step, const CommandFault& failure, std::optional<int> address) {
    Outcome outcome;
    if (!failure.ok()) {
        outcome.step = step;
        outcome.failure = failure;
        outcome.address = address;
    }
    return outcome;
}

Outcome BoardCommands::resetBoard() {
    return failedAt(Step::reset, protocol_.reset());
}

Outcome BoardCommands::selectFlash(int kind, std::uint8_t sector) {
    return failedAt(Step::select, protocol_.selectFlash(kind, sector));
}

Outcome BoardCommands::readFlash(int address, int count, std::vector<std::uint8_t>& bytes) {
    Outcome outcome = failedAt(Step::read, protocol_.readFlash(address, count, bytes), address);
    if (outcome.ok()) {
        outcome.bytes = count;
        outcome.blocks = 1;
    }
    return outcome;
}

Outcome BoardCommands::writeFlash(int address, std::span<const std::uint8_t> data) {
    NoiseTally pass(static_cast<long>(data.size()));
    Outcome outcome = failedAt(Step::write, protocol_.writeFlash(address, data, pass), address);
    if (outcome.ok()) {
        outcome.bytes = static_cast<long>(data.size());
        outcome.blocks = 1;
        outcome.programmedEnd = address + static_cast<int>(data.size());
        outcome.holds = BoardHolds::programmedUpTo;
    }
    return outcome;
}

Outcome BoardCommands::eraseSector(int kind, std::uint8_t sector, int address) {
    Outcome outcome = selectFlash(kind, sector);
    if (!outcome.ok()) {
        return outcome;
    }
    outcome = failedAt(Step::erase, protocol_.erase(kind, address), address);
    outcome.holds = outcome.ok() ? BoardHolds::erased : BoardHolds::partlyErased;
    return outcome;
}

Outcome BoardCommands::identifyBoard(std::string* reply) {
    return failedAt(Step::identify, protocol_.identify(reply));
}

}  // namespace loadstar
