#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace loadstar::emulator {

// The ways the emulated board can misbehave, for tests of the host's retries and failures. All
// off by default; any of them can be switched at any time. Random choices come from a generator
// seeded with `seed`, so a run is reproducible.
struct FaultSettings {
    // The board hears nothing and answers nothing (a cable pulled out); frames are still recorded.
    bool silent = false;
    // Every Nth reply is lost on the line (the command itself is carried out); 0 = none.
    int dropEvery = 0;
    // Each reply starts this late.
    std::chrono::milliseconds delay{0};
    // Every Nth reply starts lateDelay later still (a slow board); 0 = none.
    int lateEvery = 0;
    std::chrono::milliseconds lateDelay{0};
    // The chance (0..1) that a reply byte arrives changed.
    double corruptRate = 0.0;
    // A changed byte has one bit flipped, the damage a real line does most often (two such
    // damaged reads of a byte agree one time in eight); else it takes any other value alike.
    bool corruptOneBit = false;
    // Replies carry the tag "XYZ" instead of the command's own, which the host never accepts.
    bool unknownTag = false;
    // The board ignores frames whose payload begins with this ("EM", "WFP", "RRD"): it does and
    // answers nothing, so that one step of a longer job fails. Empty: none.
    std::string ignoredCommand{};
    std::uint32_t seed = 1;
    // Not a fault of the board but of the line: replies pass a USB adapter that holds received
    // bytes back this long (its latency timer); 0 = a plain line.
    std::chrono::milliseconds latency{0};
    // Every Nth reply comes a second time, duplicateAfter after the first has left the line (a
    // board that answers twice); 0 = none.
    int duplicateEvery = 0;
    std::chrono::milliseconds duplicateAfter{0};
    // The chance (0..1), per reply byte, that a stray byte follows it on the line.
    double insertRate = 0.0;
    // The chance (0..1) that a reply byte is lost on the line.
    double dropByteRate = 0.0;
    // Every Nth reply pauses this long in its middle (a stalled adapter or host); 0 = none.
    int pauseEvery = 0;
    std::chrono::milliseconds pause{0};
    // Bytes the board sends behind every reply (a line end, say).
    std::string trailing{};
    // After its Nth frame the board resets: the next frame finds it deaf and silent for
    // resetSilence from then, after which it is back on main flash sector 0. 0 = never; it resets
    // once.
    int resetAfter = 0;
    std::chrono::milliseconds resetSilence{0};
    // An erase takes this long: its reply comes then, and frames that come meanwhile are handled,
    // each in turn, once the board is done (another erase among them starts again).
    std::chrono::milliseconds eraseTime{0};

    bool operator==(const FaultSettings&) const = default;
};

// Applies one line of the emulator's control channel to `settings`:
//   "silent on|off", "drop N", "delay MS", "late-every N", "late-ms MS", "corrupt R" (0..1),
//   "unknown-tag on|off", "latency MS", "ignore COMMAND|off", "duplicate-every N",
//   "duplicate-after-ms MS", "insert-rate R", "drop-byte-rate R", "pause-every N", "pause-ms MS",
//   "trailing TEXT|off" (\r, \n, \t and \\ stand for their characters), "reset-after N",
//   "reset-ms MS", "erase-ms MS", "clear"
// ("clear" switches every fault off and keeps the seed and the latency). Surrounding blanks and a
// trailing CR are ignored. Returns an empty text on success, else what was wrong; `settings` is
// then unchanged.
std::string applyControlCommand(FaultSettings& settings, std::string_view line);

// `text` with "\r", "\n", "\t" and "\\" turned into their characters.
std::string unescapedControlText(std::string_view text);

}  // namespace loadstar::emulator
