#include "SectorOperations.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>

#include "AgreedRead.h"
#include "DumpWriters.h"
#include "ImageFile.h"
#include "ProcessFlags.h"

namespace loadstar {

namespace {

constexpr int replyMax = 1000;
constexpr char readingPrefix[] = "Reading flash, ";
constexpr char programmingPrefix[] = "Programming flash, ";

std::uint8_t highByte(int address) {
    return static_cast<std::uint8_t>((address >> 8) & 0xFF);
}
std::uint8_t lowByte(int address) {
    return static_cast<std::uint8_t>(address & 0xFF);
}

// `format` holds one "%04X" for a board address.
std::string withAddress(const char* format, int address) {
    std::array<char, 96> text{};
    std::snprintf(text.data(), text.size(), format, static_cast<unsigned>(address));
    return text.data();
}

// Sector buffers hold 100000 bytes, more than any sector; never fewer than the sector asks for.
std::vector<std::uint8_t> sectorBuffer(int sectorSize) {
    return std::vector<std::uint8_t>(
        static_cast<std::size_t>(std::max(sectorBufferSize, sectorSize)), 0);
}

bool cancelRequested() {
    return processFlags().cancelRequested;
}

}  // namespace

const SectorOperations::ComparisonTexts SectorOperations::verifyTexts = {
    "Data do not match at address 0x%04X", "Verify Error", "Data Verify OK", "Verify result"};

std::string SectorOperations::proposedFileName(const std::string& segmentName) {
    return "KEL520_seg(" + segmentName + ")";
}

void SectorOperations::forgetDifferences() {
    firstDifference_.reset();
    differenceCount_ = 0;
    programmedEnd_.reset();
    passNoise_ = NoiseTally(largestPass);
}

int SectorOperations::passResult() const {
    return cancelRequested() ? -1 : 1;
}

int SectorOperations::readBlock(int address, int count, std::vector<std::uint8_t>& reply) {
    const std::array<std::uint8_t, 6> payload = {
        'R', 'R', 'D', highByte(address), lowByte(address), static_cast<std::uint8_t>(count)};
    // The exchange never takes a reply too short for its count: a reply cut short by a pause is
    // let come to its end and asked for again there, for every caller of READ FLASH alike.
    int replyLength = 0;
    if (board_.link().exchangePacket(payload.data(), static_cast<int>(payload.size()), reply.data(),
                                     replyMax, &replyLength, SerialLink::defaultRetries) == 1 &&
        replyLength >= replyHeaderLength + count) {
        return 1;
    }
    showError(board_.ui(), "Error sending READ FLASH command.");
    return 0;
}

int SectorOperations::readBlockAgreed(int address, int count,
                                      std::span<const std::uint8_t> firstRead,
                                      std::vector<std::uint8_t>& agreed) {
    std::vector<std::uint8_t> reply(replyMax + 1, 0);
    const ReadBlock readOnce = [&](std::vector<std::uint8_t>& bytes) {
        if (readBlock(address, count, reply) == 0) {
            return false;
        }
        std::copy_n(reply.begin() + replyHeaderLength, count, bytes.begin());
        return true;
    };
    switch (readUntilAgreed(readOnce, count, firstRead, agreed, passNoise_)) {
        case AgreedRead::agreed:
            return 1;
        case AgreedRead::tooNoisy:
            showError(board_.ui(), lineTooNoisyText);
            return 0;
        case AgreedRead::readFailed:
            break;
    }
    return 0;
}

int SectorOperations::writeBlock(int address, const std::uint8_t* data, int count) {
    std::array<std::uint8_t, 6 + writeBlockSize> payload = {
        'W', 'F', 'P', highByte(address), lowByte(address), static_cast<std::uint8_t>(count)};
    std::copy_n(data, count, payload.begin() + 6);
    std::vector<std::uint8_t> reply(replyMax + 1, 0);
    int replyLength = 0;
    if (board_.link().exchangePacket(payload.data(), 6 + count, reply.data(), replyMax,
                                     &replyLength, SerialLink::defaultRetries) == 0) {
        showError(board_.ui(), "Error sending WRITE FLASH command.");
        return 0;
    }
    if (writeReplyConfirms(reply.data(), replyLength, count)) {
        return 1;
    }
    // The reply may have been hit on the line: what the flash holds decides.
    std::vector<std::uint8_t> flash;
    if (readBlockAgreed(address, count, {}, flash) == 0) {
        return 0;
    }
    if (!std::equal(flash.begin(), flash.end(), data)) {
        board_.ui().showMessage("Error writing data. Probably the target sector was not blank.",
                                "Program Sector error", MessageIcon::none);
        return 0;
    }
    return 1;
}

std::vector<std::uint8_t> SectorOperations::selectAndLoad(std::uint8_t kind, std::uint8_t sector,
                                                          int sectorSize,
                                                          const std::string& fileName,
                                                          bool throughDefined) {
    forgetDifferences();
    std::vector<std::uint8_t> image = sectorBuffer(sectorSize);
    int loadedLength = 0;
    int definedEnd = 0;
    if (board_.selectFlash(kind, sector) == 0 ||
        loadImageFile(fileName, image, sectorSize, loadedLength, board_.ui(), &definedEnd) == 0) {
        loadedLength = 0;
    }
    // A written-out 0xFF past the last programmed byte is part of the image too: "Data Verify OK"
    // over a sector that holds something else there would be a wrong result. An image of nothing
    // but 0xFF still holds no data.
    const int length =
        throughDefined && loadedLength > 0 ? std::max(loadedLength, definedEnd) : loadedLength;
    image.resize(static_cast<std::size_t>(length));
    return image;
}

void SectorOperations::reportProgress(const char* prefix, int done, int total) {
    UserInterface& ui = board_.ui();
    ui.setStatusText(prefix + std::to_string(total - done) + " bytes remaining.");
    ui.reportProgress(done, total);
    ui.processPendingEvents();
}

int SectorOperations::blankCheckSector(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                                       int sectorSize) {
    forgetDifferences();
    processFlags().cancelRequested = false;
    if (board_.selectFlash(kind, sector) == 0) {
        return 0;
    }
    const std::vector<std::uint8_t> erased(static_cast<std::size_t>(std::max(sectorSize, 0)), 0xFF);
    return compareWithSector(baseAddress, erased, nullptr,
                             {"Sector is not blank.\nSome data found at address 0x%04X",
                              "Blank check result", "The sector is blank", "Blank check result"});
}

int SectorOperations::programSector(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                                    int sectorSize, const std::string& fileName) {
    const std::vector<std::uint8_t> image =
        selectAndLoad(kind, sector, sectorSize, fileName, false);
    if (image.empty()) {
        return 0;
    }
    return writeImage(baseAddress, image, false);
}

int SectorOperations::programImage(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                                   const SectorImage& image) {
    forgetDifferences();
    if (board_.selectFlash(kind, sector) == 0) {
        return 0;
    }
    const auto length = static_cast<std::size_t>(image.loadedLength());
    return writeImage(baseAddress, std::span(image.bytes).first(length), true);
}

int SectorOperations::writeImage(int baseAddress, std::span<const std::uint8_t> image,
                                 bool skipErasedBlocks) {
    processFlags().cancelRequested = false;
    const int loadedLength = static_cast<int>(image.size());
    for (int done = 0; !cancelRequested() && done < loadedLength;) {
        const int n = std::min(loadedLength - done, writeBlockSize);
        const auto block =
            image.subspan(static_cast<std::size_t>(done), static_cast<std::size_t>(n));
        const bool erased =
            std::all_of(block.begin(), block.end(), [](std::uint8_t byte) { return byte == 0xFF; });
        if (!(skipErasedBlocks && erased)) {
            if (writeBlock(baseAddress + done, block.data(), n) == 0) {
                return 0;
            }
            programmedEnd_ = baseAddress + done + n;
        }
        done += n;
        reportProgress(programmingPrefix, done, loadedLength);
    }
    return passResult();
}

int SectorOperations::verifySector(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                                   int sectorSize, const std::string& fileName) {
    const std::vector<std::uint8_t> image = selectAndLoad(kind, sector, sectorSize, fileName, true);
    if (image.empty()) {
        return 0;
    }
    processFlags().cancelRequested = false;
    return compareWithSector(baseAddress, image, nullptr, verifyTexts);
}

int SectorOperations::verifyImage(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                                  const SectorImage& image) {
    forgetDifferences();
    if (board_.selectFlash(kind, sector) == 0) {
        return 0;
    }
    processFlags().cancelRequested = false;
    const auto length = static_cast<std::size_t>(image.definedEnd());
    return compareWithSector(baseAddress, std::span(image.bytes).first(length), &image.defined,
                             verifyTexts);
}

int SectorOperations::compareWithSector(int baseAddress, std::span<const std::uint8_t> expected,
                                        const std::vector<bool>* defined,
                                        const ComparisonTexts& texts) {
    const int length = static_cast<int>(expected.size());
    // Whether the byte at `offset` takes part; every one does without `defined`.
    const auto compared = [defined](int offset) {
        return defined == nullptr || (*defined)[static_cast<std::size_t>(offset)];
    };
    const auto differs = [&](const std::uint8_t* data, int done, int n) {
        for (int i = 0; i < n; ++i) {
            if (compared(done + i) && data[i] != expected[static_cast<std::size_t>(done + i)]) {
                return true;
            }
        }
        return false;
    };
    std::vector<std::uint8_t> reply(replyMax + 1, 0);
    for (int done = 0;
         (differenceCount_ == 0 || countEveryDifference_) && !cancelRequested() && done < length;) {
        const int n = std::min(length - done, readBlockSize);
        bool anyCompared = false;
        for (int i = 0; i < n && !anyCompared; ++i) {
            anyCompared = compared(done + i);
        }
        if (!anyCompared) {
            done += n;  // a block the image says nothing about is not read
            continue;
        }
        if (readBlock(baseAddress + done, n, reply) == 0) {
            return 0;
        }
        const std::span<const std::uint8_t> read(reply.data() + replyHeaderLength,
                                                 static_cast<std::size_t>(n));
        std::vector<std::uint8_t> agreed;
        // A difference is taken only when the reads agree on it; a clean block costs nothing more.
        if (differs(read.data(), done, n) &&
            readBlockAgreed(baseAddress + done, n, read, agreed) == 0) {
            return 0;
        }
        const auto* data = agreed.empty() ? read.data() : agreed.data();
        for (int i = 0; i < n; ++i) {
            if (!compared(done + i) || data[i] == expected[static_cast<std::size_t>(done + i)]) {
                continue;
            }
            if (differenceCount_++ == 0) {
                firstDifference_ = baseAddress + done + i;
                board_.ui().showMessage(withAddress(texts.differenceFormat, *firstDifference_),
                                        texts.differenceCaption, MessageIcon::none);
            }
            if (!countEveryDifference_) {
                break;
            }
        }
        done += n;
        reportProgress(readingPrefix, done, length);
    }
    if (!cancelRequested() && differenceCount_ == 0) {
        board_.ui().showMessage(texts.sameText, texts.sameCaption, MessageIcon::none);
    }
    return passResult();
}

int SectorOperations::uploadSector(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                                   int sectorSize, const std::string& segmentName) {
    std::vector<std::uint8_t> contents;
    const int result = readSector(kind, sector, baseAddress, sectorSize, contents);
    if (result != 1) {
        return result;  // a cancelled read saves nothing and opens no dialog
    }
    return saveSector(contents, segmentName);
}

int SectorOperations::readSector(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                                 int sectorSize, std::vector<std::uint8_t>& contents) {
    forgetDifferences();
    processFlags().cancelRequested = false;
    if (board_.selectFlash(kind, sector) == 0) {
        return 0;
    }
    contents = sectorBuffer(sectorSize);
    std::vector<std::uint8_t> reply(replyMax + 1, 0);
    std::vector<std::uint8_t> agreed;
    for (int done = 0; !cancelRequested() && done < sectorSize;) {
        const int n = std::min(sectorSize - done, readBlockSize);
        if (readEveryBlockTwice_) {
            if (readBlockAgreed(baseAddress + done, n, {}, agreed) == 0) {
                return 0;
            }
            std::copy(agreed.begin(), agreed.end(), contents.begin() + done);
        } else {
            if (readBlock(baseAddress + done, n, reply) == 0) {
                return 0;
            }
            std::copy_n(reply.begin() + replyHeaderLength, n, contents.begin() + done);
        }
        done += n;
        reportProgress(readingPrefix, done, sectorSize);
    }
    if (cancelRequested()) {
        return -1;
    }
    contents.resize(static_cast<std::size_t>(std::max(sectorSize, 0)));
    return 1;
}

int SectorOperations::saveSector(std::span<const std::uint8_t> sector,
                                 const std::string& segmentName) {
    UserInterface& ui = board_.ui();
    const auto chosen = ui.chooseSaveFile(proposedFileName(segmentName));
    if (!chosen) {
        return 0;
    }
    const DumpFormat format = dumpFormatForFileName(*chosen);
    if (format == DumpFormat::none) {
        ui.showMessage(unknownDumpFormatMessage, uploadSaveErrorCaption, MessageIcon::none);
        return 0;
    }
    return saveDumpFile(*chosen, format, sector, ui) ? 1 : 0;
}

}  // namespace loadstar
