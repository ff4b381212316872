#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BoardCommands.h"
#include "BoardModel.h"
#include "InProcessBoardPort.h"
#include "ProcessFlags.h"
#include "RecordingUserInterface.h"
#include "SectorOperations.h"
#include "SerialLink.h"

namespace loadstar::testing {

// A sector pass wired to the emulated board in the same process: the board's flash and the
// payloads it got can be looked at, and the port's write hook acts in the middle of a pass.
class EmulatedBoard : public ::testing::Test {
  protected:
    void SetUp() override {
        processFlags() = ProcessFlags{};
        ASSERT_EQ(link.openPort(), 1);
        board.clearPayloads();
    }
    void TearDown() override { processFlags() = ProcessFlags{}; }

    // The payloads of one command ("RRD", "WFP"), in the order they were sent.
    [[nodiscard]] std::vector<std::vector<std::uint8_t>> payloadsOf(
        const std::string& command) const {
        return board.payloadsOf(command);
    }
    // The payloads as text up to their first byte that is not printable, e.g. "VM 92", "RRD".
    [[nodiscard]] std::vector<std::string> commandNames() const { return board.commandNames(); }
    static int addressOf(const std::vector<std::uint8_t>& payload) {
        return payload.at(3) * 256 + payload.at(4);
    }
    // Makes the board go silent from the first frame of `command` on.
    void silenceAt(const std::string& command) {
        port->onWrite = [this, command](const std::vector<std::uint8_t>& frame) {
            if (frame.size() > 4 + command.size() &&
                std::equal(command.begin(), command.end(), frame.begin() + 4)) {
                auto faults = board.faults();
                faults.silent = true;
                board.setFaults(faults);
            }
        };
    }
    std::span<std::uint8_t> mainSector(int sector) {
        return board.flash().sector(emulator::FlashBank::main, sector);
    }
    std::span<std::uint8_t> bootSector(int sector) {
        return board.flash().sector(emulator::FlashBank::boot, sector);
    }

    emulator::BoardModel board;
    emulator::InProcessBoardPort* port = nullptr;
    RecordingUserInterface ui;
    SerialLink link{[this](const std::string& text) { showError(ui, text); },
                    [this] {
                        auto made = std::make_unique<emulator::InProcessBoardPort>(board);
                        port = made.get();
                        return made;
                    }};
    BoardCommands commands{link, ui};
    SectorOperations operations{commands};
};

}  // namespace loadstar::testing
