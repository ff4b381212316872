#pragma once

#include <cstdint>
#include <span>

namespace loadstar {

// Bytes as text of two upper-case hex digits separated by blanks (0x20 only), and back.

// Writes two upper-case hex digits of `value`, a blank and a terminating zero: exactly the four
// bytes of `text`, so that a shorter buffer does not compile. Returns 1.
int byteToHex(std::span<char, 4> text, std::uint8_t value);
// 0..15 for a hex digit of either case, -1 for any other character.
int hexDigitValue(char character);
// The first blank-separated token as a byte: 0..255, -1 when empty or malformed, -2 when it has
// more than two hex digits. Characters behind the first two that are not hex digits are not
// looked at ("1Fz" is 0x1F, "1z" is -1).
int parseHexByte(const char* text);
// `text` must hold 3 * count bytes and at least one.
void bytesToHexText(const std::uint8_t* bytes, int count, char* text);
// 1 on success, -1 or -2 on a bad token (count unchanged then). `bytes` must hold one byte per
// token; `printable` (may be null) one more, and gets a copy with bytes outside 0x20..0x7E as '.'.
// An empty text, or one of blanks only, returns -1.
int hexTextToBytes(const char* text, std::uint8_t* bytes, char* printable, int* count);

// Number of blank-separated tokens in `text`: how large `bytes` must be for hexTextToBytes.
int countHexTokens(const char* text);

}  // namespace loadstar
