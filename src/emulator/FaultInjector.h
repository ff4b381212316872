#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "emulator/BoardReply.h"
#include "emulator/FaultSettings.h"

namespace loadstar::emulator {

// Applies the fault settings to the board's replies on their way to the line. The same seed and
// the same sequence of replies and setting changes give the same result every time.
class FaultInjector {
  public:
    explicit FaultInjector(const FaultSettings& settings = {});

    // Takes effect from the next reply. The generator is seeded again only when the seed changes;
    // the counts for dropEvery and lateEvery start again when they change.
    void setSettings(const FaultSettings& settings);
    [[nodiscard]] const FaultSettings& settings() const { return settings_; }

    // The reply as it reaches the line: nothing when it is lost (silent board, dropped reply),
    // else the reply, in two parts when it pauses, and again when the board sends it twice.
    [[nodiscard]] std::vector<BoardReply> apply(std::vector<std::uint8_t> reply);

  private:
    void replaceTag(std::vector<std::uint8_t>& reply) const;
    void corrupt(std::vector<std::uint8_t>& reply);
    void insertAndDropBytes(std::vector<std::uint8_t>& reply);
    [[nodiscard]] bool chance(double rate);
    // Whether this reply is the Nth since `count` started again, counting it.
    static bool isNth(long& count, int every) { return every > 0 && ++count % every == 0; }

    FaultSettings settings_;
    std::mt19937 random_;
    long repliesSinceDropChange_ = 0;
    long repliesSinceLateChange_ = 0;
    long repliesSinceDuplicateChange_ = 0;
    long repliesSincePauseChange_ = 0;
};

}  // namespace loadstar::emulator
