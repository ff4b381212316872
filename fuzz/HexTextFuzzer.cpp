// The hex-text conversions on any text and any bytes: text is read as its description says, bytes
// are written as it says (so they come back from their own text unchanged), and no conversion
// writes past the buffer sizes the description gives (each buffer here is exactly that large, so
// AddressSanitizer sees any excess).

#include <cstring>
#include <memory>
#include <string>

#include "FuzzCheck.h"
#include "HexTextReference.h"
#include "link/HexText.h"

using namespace loadstar;

namespace {

void checkTextToBytes(const std::string& text) {
    const fuzz::ReferenceHexText expected = fuzz::referenceHexText(text);
    const int tokens = countHexTokens(text.c_str());
    auto bytes = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(tokens));
    auto printable = std::make_unique<char[]>(static_cast<std::size_t>(tokens) + 1);
    int count = -7;
    const int result = hexTextToBytes(text.c_str(), bytes.get(), printable.get(), &count);
    FUZZ_CHECK(result == expected.result);
    if (result != 1) {
        FUZZ_CHECK(count == -7);  // left as it was
        return;
    }
    FUZZ_CHECK(count == tokens && count == static_cast<int>(expected.bytes.size()));
    FUZZ_CHECK(std::memcmp(bytes.get(), expected.bytes.data(), expected.bytes.size()) == 0);
    for (int i = 0; i < count; ++i) {
        const std::uint8_t byte = bytes[static_cast<std::size_t>(i)];
        FUZZ_CHECK(printable[static_cast<std::size_t>(i)] ==
                   (byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : '.'));
    }
    FUZZ_CHECK(printable[static_cast<std::size_t>(count)] == '\0');
}

void checkBytesToText(const std::uint8_t* data, std::size_t size) {
    constexpr char digits[] = "0123456789ABCDEF";
    const int count = static_cast<int>(size);
    auto text = std::make_unique<char[]>(std::max<std::size_t>(3 * size, 1));
    bytesToHexText(data, count, text.get());
    std::string expected;
    for (std::size_t i = 0; i < size; ++i) {
        expected += i > 0 ? " " : "";
        expected += {digits[data[i] >> 4], digits[data[i] & 0x0F]};
        char one[4];
        FUZZ_CHECK(byteToHex(one, data[i]) == 1);
        FUZZ_CHECK(std::string(one, 4) == expected.substr(expected.size() - 2) + " " + '\0');
    }
    FUZZ_CHECK(text.get() == expected);  // which the reading above takes back to the bytes
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const char c : text) {
        FUZZ_CHECK(hexDigitValue(c) == fuzz::referenceDigit(c));
    }
    checkTextToBytes(text);
    // parseHexByte reads one token: the first, after any blanks.
    const std::string first = text.substr(0, text.find('\0'));
    const std::size_t start = std::min(first.find_first_not_of(' '), first.size());
    const std::size_t end = std::min(first.find(' ', start), first.size());
    FUZZ_CHECK(parseHexByte(text.c_str()) ==
               fuzz::referenceToken(first.substr(start, end - start)));
    checkBytesToText(data, std::min<std::size_t>(size, 400));
    return 0;
}
