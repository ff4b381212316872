#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace loadstar::fuzz {

// The hex-text form as it is described, written apart from the code under test: a text is cut
// into tokens at blanks (0x20 only); a token is a byte when it begins with one hex digit that is
// the whole token, or with two hex digits that no third follows (what stands behind them is not
// looked at). A token that does not begin with a hex digit, or whose second character is neither
// a digit nor the token's end, is malformed (-1); a third hex digit makes it too long (-2).

inline int referenceDigit(char c) {
    const auto at = std::string_view("0123456789abcdef0123456789ABCDEF").find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at % 16);
}

inline int referenceToken(std::string_view token) {
    if (token.empty() || referenceDigit(token[0]) < 0) {
        return -1;
    }
    if (token.size() == 1) {
        return referenceDigit(token[0]);
    }
    if (referenceDigit(token[1]) < 0) {
        return -1;
    }
    if (token.size() > 2 && referenceDigit(token[2]) >= 0) {
        return -2;
    }
    return referenceDigit(token[0]) * 16 + referenceDigit(token[1]);
}

struct ReferenceHexText {
    int result = 1;  // 1, or the code of the first bad token; an empty text is -1
    std::vector<std::uint8_t> bytes;
};

// `text` ends at its first zero, as the terminated texts of the conversions do.
inline ReferenceHexText referenceHexText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    ReferenceHexText parsed;
    std::size_t at = 0;
    while (true) {
        while (at < text.size() && text[at] == ' ') {
            ++at;
        }
        if (at == text.size()) {
            break;
        }
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const int value = referenceToken(text.substr(at, end - at));
        if (value < 0) {
            return {value, {}};
        }
        parsed.bytes.push_back(static_cast<std::uint8_t>(value));
        at = end;
    }
    if (parsed.bytes.empty()) {
        parsed.result = -1;
    }
    return parsed;
}

}  // namespace loadstar::fuzz
