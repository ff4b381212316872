#include "words/ImageLoadWords.h"

#include <array>
#include <cstdio>

namespace loadstar {

namespace {

std::string hexDigits(long long value, const char* format) {
    std::array<char, 24> text{};
    std::snprintf(text.data(), text.size(), format, value);
    return text.data();
}

std::string twoDigits(long long value) {
    return hexDigits(value & 0xFF, "%02llX");
}

std::string recordReason(const RecordDetail& record) {
    const std::string number = std::to_string(record.number);
    switch (record.fault) {
        case RecordFault::none:
            break;
        case RecordFault::noColon:
            return "a record starts with \":\"";
        case RecordFault::noHeader:
            return "no record header (count, address and type in hex digits)";
        case RecordFault::cutShort:
            return "record cut short: " + number + " data bytes and a checksum expected";
        case RecordFault::badDataByte:
            return "data byte " + number + " is not two hex digits";
        case RecordFault::badChecksumDigits:
            return "the checksum is not two hex digits";
        case RecordFault::checksumMismatch:
            return "checksum " + twoDigits(record.found) + ", but the record's bytes give " +
                   twoDigits(record.expected);
        case RecordFault::textAfterChecksum:
            return "text after the checksum";
        case RecordFault::lineTooLong:
            return "line longer than " + number + " characters";
        case RecordFault::unknownType:
            return "record type " + twoDigits(record.number) + " is not an Intel HEX record type";
        case RecordFault::addressRecordLength:
            return "an address record holds 2 data bytes, not " + number;
        case RecordFault::conflictingByte:
            return "address " + hexDigits(record.number, "%04llX") + " is given " +
                   twoDigits(record.found) + ", but an earlier record gave it " +
                   twoDigits(record.expected);
        case RecordFault::recordAfterEnd:
            return "a record after the end record of line " + number;
    }
    return {};
}

}  // namespace

std::string imageLoadReason(const ImageLoad& load) {
    switch (load.problem) {
        case ImageProblem::none:
            break;
        case ImageProblem::cannotOpen:
            return load.notRegularFile ? "not a regular file" : load.systemError;
        case ImageProblem::cannotRead:
            return load.systemError;
        case ImageProblem::badRecord:
            return recordReason(load.record);
        case ImageProblem::noEndRecord:
            return "no end record (:00000001FF)";
        case ImageProblem::unknownFormat:
            return "neither Intel HEX (its first line does not start with \":\") nor named .bin";
    }
    return {};
}

}  // namespace loadstar
