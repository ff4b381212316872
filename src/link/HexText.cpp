#include "link/HexText.h"

namespace loadstar {

namespace {

constexpr char upperDigits[] = "0123456789ABCDEF";

bool isBlank(char c) {
    return c == ' ';
}

}  // namespace

int byteToHex(std::span<char, 4> text, std::uint8_t value) {
    text[0] = upperDigits[value >> 4];
    text[1] = upperDigits[value & 0x0F];
    text[2] = ' ';
    text[3] = '\0';
    return 1;
}

int hexDigitValue(char character) {
    if (character >= '0' && character <= '9') {
        return character - '0';
    }
    if (character >= 'a' && character <= 'f') {
        return character - 'a' + 10;
    }
    if (character >= 'A' && character <= 'F') {
        return character - 'A' + 10;
    }
    return -1;
}

int parseHexByte(const char* text) {
    while (isBlank(*text)) {
        ++text;
    }
    if (*text == '\0') {
        return -1;
    }
    const int high = hexDigitValue(text[0]);
    // The second character is only looked at when the first one exists; the third only when the
    // second is a digit, so a token at the end of the text is never read past.
    const int low = hexDigitValue(text[1]);
    if (low == -1 && text[1] != '\0' && !isBlank(text[1])) {
        return -1;
    }
    if (high == -1) {
        return -1;
    }
    if (low == -1) {
        return high;
    }
    if (hexDigitValue(text[2]) != -1) {
        return -2;
    }
    return high * 16 + low;
}

void bytesToHexText(const std::uint8_t* bytes, int count, char* text) {
    int at = 0;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            text[at++] = ' ';
        }
        text[at++] = upperDigits[bytes[i] >> 4];
        text[at++] = upperDigits[bytes[i] & 0x0F];
    }
    text[at] = '\0';
}

int hexTextToBytes(const char* text, std::uint8_t* bytes, char* printable, int* count) {
    int k = 0;
    if (text != nullptr) {
        const char* at = text;
        do {
            while (isBlank(*at)) {
                ++at;
            }
            const int value = parseHexByte(at);
            if (value < 0) {
                return value;
            }
            bytes[k++] = static_cast<std::uint8_t>(value);
            while (*at != '\0' && !isBlank(*at)) {
                ++at;
            }
            while (isBlank(*at)) {
                ++at;
            }
        } while (*at != '\0');
    }
    if (count != nullptr) {
        *count = k;
    }
    if (printable == nullptr) {
        return 1;
    }
    for (int i = 0; i < k; ++i) {
        printable[i] = (bytes[i] >= 0x20 && bytes[i] <= 0x7E) ? static_cast<char>(bytes[i]) : '.';
    }
    printable[k] = '\0';
    return 1;
}

int countHexTokens(const char* text) {
    int tokens = 0;
    bool inToken = false;
    for (const char* at = text; at != nullptr && *at != '\0'; ++at) {
        if (isBlank(*at)) {
            inToken = false;
        } else if (!inToken) {
            inToken = true;
            ++tokens;
        }
    }
    return tokens;
}

}  // namespace loadstar
