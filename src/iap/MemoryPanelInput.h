#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace loadstar {

// The input checks of the memory panel (Read and Write), shared by the window and the
// command-line tool so that both take the same texts and refuse them for the same reasons.

// What is wrong with the fields, if anything.
enum class InputProblem {
    none,
    invalidCount,       // the count is no number from 0 to F0
    invalidAddress,     // Read: the address is not a number
    addressOutOfRange,  // Read: a board address has 16 bits; a larger one would reach the board cut
    invalidOffset,      // Write: the address is no number from 0 to FFFF
    invalidData,  // Write: the bytes are not tokens of one or two hex digits, or there are none
    dataTooLong,  // Write: WRITE FLASH carries its count in one byte
};

inline constexpr int maxReadCount = 0xF0;
inline constexpr int maxWriteCount = 0xFF;
inline constexpr int maxBoardAddress = 0xFFFF;

// A hexadecimal number read the way "%x" reads it: leading white space skipped, an optional sign,
// an optional "0x" or "0X", then the digits up to the first character that is not one ("1g" is 1,
// "0xg" is 0). Nothing when the text does not begin with a number (an empty text included).
// Values too large for 36 bits come back as 0x1000000000, so they stay too large for any check.
std::optional<std::int64_t> scanHexNumber(std::string_view text);

struct ReadRequest {
    int address = 0;
    int count = 0;
};

struct WriteRequest {
    int address = 0;
    std::vector<std::uint8_t> data;
};

// The outcome of a check: the request, or what is wrong (then nothing may be sent).
template <typename Request>
struct CheckedInput {
    Request request;
    InputProblem problem = InputProblem::none;

    [[nodiscard]] bool ok() const { return problem == InputProblem::none; }
};

// Read: the count (0 to F0) is checked before the address (0 to FFFF).
CheckedInput<ReadRequest> checkReadFields(std::string_view countText, std::string_view offsetText);

// Write: the address (0 to FFFF) is checked before the data, the bytes as blank-separated tokens
// of one or two hexadecimal digits, 1 to 255 of them.
CheckedInput<WriteRequest> checkWriteFields(std::string_view offsetText, std::string_view dataText);

// What Write puts into the count field: the two upper-case hexadecimal digits of the low byte of
// the number of bytes, e.g. "03".
std::string writtenCountText(std::size_t count);

}  // namespace loadstar
