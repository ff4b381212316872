#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace loadstar {

// The input checks of the memory panel (Read and Write), shared by the window and the
// command-line tool so that both take the same texts and answer with the same messages.

inline constexpr char invalidCountMessage[] =
    "Invalid byte count field value (maximum count allowed is F0 (240 in decimal), input is "
    "HEXADECIMAL number).";
inline constexpr char invalidAddressMessage[] = "Invalid address field value: not a numeric value.";
// A board address has 16 bits; a larger number would reach the board cut to its low 16 bits.
inline constexpr char addressOutOfRangeMessage[] =
    "Invalid address field value: the address must lie between 0 and FFFF.";
inline constexpr char invalidOffsetMessage[] =
    "Offset value is incorrect. Please enter hexadecimal number in format 0x1234.";
inline constexpr char invalidDataMessage[] = "Data to write is invalid.";
// WRITE FLASH carries its count in one byte.
inline constexpr char dataTooLongMessage[] =
    "Data to write is too long: at most FF (255 in decimal) bytes can be written at once.";

// Any reply tag is accepted for any command, so a READ FLASH reply may hold fewer bytes than were
// asked for; the missing ones must not be shown as if the board had sent them.
inline constexpr char incompleteReadMessage[] = "Incomplete reply to READ FLASH command.";

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

// The outcome of a check: the request, or the message to show (then nothing may be sent).
template <typename Request>
struct CheckedInput {
    Request request;
    std::string message;  // empty when the input is good

    [[nodiscard]] bool ok() const { return message.empty(); }
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
