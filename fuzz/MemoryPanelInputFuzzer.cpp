// The memory panel's field checks on any two field texts: a number is read as "%x" reads it
// (compared with strtoll, which reads the same way), a request that passes lies within what the
// board takes, and a refusal names the first field at fault.

#include <fuzzer/FuzzedDataProvider.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "FuzzCheck.h"
#include "HexTextReference.h"
#include "iap/MemoryPanelInput.h"

using namespace loadstar;

namespace {

constexpr std::int64_t saturated = std::int64_t{1} << 36;

// strtoll's reading, its magnitude cut at 36 bits as the scan promises; nothing when no number
// begins the text.
std::optional<std::int64_t> referenceNumber(const std::string& field) {
    const std::string text = field.substr(0, field.find('\0'));
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 16);
    if (end == text.c_str()) {
        return std::nullopt;
    }
    const bool huge = errno == ERANGE || value >= saturated || value <= -saturated;
    if (huge) {
        return value < 0 ? -saturated : saturated;
    }
    return value;
}

void checkRead(const std::string& count, const std::string& offset) {
    const auto checked = checkReadFields(count, offset);
    const auto countValue = referenceNumber(count);
    const auto address = referenceNumber(offset);
    InputProblem expected = InputProblem::none;
    if (!countValue || *countValue < 0 || *countValue > maxReadCount) {
        expected = InputProblem::invalidCount;
    } else if (!address) {
        expected = InputProblem::invalidAddress;
    } else if (*address < 0 || *address > maxBoardAddress) {
        expected = InputProblem::addressOutOfRange;
    }
    FUZZ_CHECK(checked.problem == expected);
    if (checked.ok()) {
        FUZZ_CHECK(checked.request.count == *countValue && checked.request.address == *address);
    }
}

void checkWrite(const std::string& offset, const std::string& data) {
    const auto checked = checkWriteFields(offset, data);
    const auto address = referenceNumber(offset);
    const auto bytes = fuzz::referenceHexText(data);
    InputProblem expected = InputProblem::none;
    if (!address || *address < 0 || *address > maxBoardAddress) {
        expected = InputProblem::invalidOffset;
    } else if (bytes.result != 1) {
        expected = InputProblem::invalidData;
    } else if (bytes.bytes.size() > maxWriteCount) {
        expected = InputProblem::dataTooLong;
    }
    FUZZ_CHECK(checked.problem == expected);
    if (checked.ok()) {
        FUZZ_CHECK(checked.request.address == *address && checked.request.data == bytes.bytes);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string first = input.ConsumeRandomLengthString(64);
    const std::string second = input.ConsumeRemainingBytesAsString();
    FUZZ_CHECK(scanHexNumber(first) == referenceNumber(first));
    checkRead(first, second);
    checkWrite(first, second);
    const std::string countText = writtenCountText(second.size());
    FUZZ_CHECK(countText.size() == 2 && referenceNumber(countText) == (second.size() & 0xFF));
    return 0;
}
