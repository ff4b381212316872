#include "iap/MemoryPanelInput.h"

#include "link/HexText.h"

namespace loadstar {

namespace {

constexpr std::int64_t saturatedValue = std::int64_t{1} << 36;

bool isScanSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isBoardAddress(std::int64_t value) {
    return value >= 0 && value <= maxBoardAddress;
}

}  // namespace

std::optional<std::int64_t> scanHexNumber(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && isScanSpace(text[at])) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    // "0x" is a prefix only when a digit follows it; otherwise its "0" is the whole number.
    if (at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        if (at + 2 < text.size() && hexDigitValue(text[at + 2]) >= 0) {
            at += 2;
        } else {
            return 0;
        }
    }
    if (at >= text.size() || hexDigitValue(text[at]) < 0) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (; at < text.size() && hexDigitValue(text[at]) >= 0; ++at) {
        if (value < saturatedValue) {
            value = value * 16 + hexDigitValue(text[at]);
        }
    }
    if (value > saturatedValue) {
        value = saturatedValue;
    }
    return negative ? -value : value;
}

CheckedInput<ReadRequest> checkReadFields(std::string_view countText, std::string_view offsetText) {
    CheckedInput<ReadRequest> result;
    const auto count = scanHexNumber(countText);
    // A count that scans as negative lies outside what a read covers, like one above F0.
    if (!count || *count < 0 || *count > maxReadCount) {
        result.problem = InputProblem::invalidCount;
        return result;
    }
    const auto address = scanHexNumber(offsetText);
    if (!address) {
        result.problem = InputProblem::invalidAddress;
        return result;
    }
    if (!isBoardAddress(*address)) {
        result.problem = InputProblem::addressOutOfRange;
        return result;
    }
    result.request.count = static_cast<int>(*count);
    result.request.address = static_cast<int>(*address);
    return result;
}

CheckedInput<WriteRequest> checkWriteFields(std::string_view offsetText,
                                            std::string_view dataText) {
    CheckedInput<WriteRequest> result;
    const auto address = scanHexNumber(offsetText);
    if (!address || !isBoardAddress(*address)) {
        result.problem = InputProblem::invalidOffset;
        return result;
    }
    // hexTextToBytes reads a terminated text; a zero inside the field ends it there.
    const std::string text(dataText);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(countHexTokens(text.c_str())) + 1);
    int count = 0;
    if (hexTextToBytes(text.c_str(), bytes.data(), nullptr, &count) != 1 || count == 0) {
        result.problem = InputProblem::invalidData;
        return result;
    }
    if (count > maxWriteCount) {
        result.problem = InputProblem::dataTooLong;
        return result;
    }
    bytes.resize(static_cast<std::size_t>(count));
    result.request.address = static_cast<int>(*address);
    result.request.data = std::move(bytes);
    return result;
}

std::string writtenCountText(std::size_t count) {
    char text[4];
    byteToHex(text, static_cast<std::uint8_t>(count & 0xFF));
    return std::string(text, 2);
}

}  // namespace loadstar
