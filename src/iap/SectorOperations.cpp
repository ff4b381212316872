#include "iap/SectorOperations.h"

#include <algorithm>
#include <span>

#include "iap/AgreedRead.h"
#include "iap/ImageFile.h"

namespace loadstar {

namespace {

// Sector buffers hold 100000 bytes, more than any sector; never fewer than the sector asks for.
std::vector<std::uint8_t> sectorBuffer(int sectorSize) {
    return std::vector<std::uint8_t>(
        static_cast<std::size_t>(std::max(sectorBufferSize, sectorSize)), 0);
}

}  // namespace

Outcome loadWindowImage(const std::string& fileName, int sectorSize, bool throughDefined,
                        std::vector<std::uint8_t>& bytes) {
    SectorImage image;
    Outcome outcome;
    outcome.file = loadImage(fileName, ImageFormat::byExtension, sectorSize, 0, image);
    bytes.clear();
    if (!outcome.file.ok()) {
        outcome.step = Step::loadFile;
        outcome.failure = {Command::none, Fault::fileProblem};
        return outcome;
    }
    const int limit = std::max(sectorSize, 0);
    const bool raw = outcome.file.format == ImageFormat::rawBinary;
    const int copied = raw ? std::min(static_cast<int>(outcome.file.rawSize), limit) : limit;
    image.bytes.resize(static_cast<std::size_t>(copied));
    image.defined.resize(static_cast<std::size_t>(copied));
    const int loadedLength = raw ? copied : image.loadedLength();
    if (loadedLength == 0) {
        outcome.step = Step::loadFile;
        outcome.failure = {Command::none, Fault::noData};
        return outcome;
    }
    // A written-out 0xFF past the last programmed byte is part of the image too: "Data Verify OK"
    // over a sector that holds something else there would be a wrong result. An image of nothing
    // but 0xFF still holds no data.
    const int length = throughDefined ? std::max(loadedLength, image.definedEnd()) : loadedLength;
    bytes.assign(image.bytes.begin(), image.bytes.begin() + length);
    return outcome;
}

std::string SectorOperations::proposedFileName(const std::string& segmentName) {
    return "KEL520_seg(" + segmentName + ")";
}

void SectorOperations::forgetDifferences() {
    firstDifference_.reset();
    differenceCount_ = 0;
    programmedEnd_.reset();
    passNoise_ = NoiseTally(largestPass);
}

Outcome SectorOperations::finished(long bytes, long blocks) const {
    Outcome outcome;
    outcome.cancelled = cancel_.requested();
    outcome.bytes = bytes;
    outcome.blocks = blocks;
    outcome.differences = differenceCount_;
    outcome.firstDifference = firstDifference_;
    outcome.programmedEnd = programmedEnd_;
    if (programmedEnd_) {
        outcome.holds = BoardHolds::programmedUpTo;
    }
    return outcome;
}

CommandFault SectorOperations::readBlockAgreed(int address, int count,
                                               std::span<const std::uint8_t> firstRead,
                                               std::vector<std::uint8_t>& agreed) {
    return board_.protocol().readAgreed(address, count, firstRead, passNoise_, agreed);
}

void SectorOperations::reportProgress(Step step, long done, long total) {
    observer_.passProgress({step, done, total});
}

Outcome SectorOperations::blankCheckSector(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                                           int sectorSize) {
    forgetDifferences();
    cancel_.clear();
    Outcome selected = board_.selectFlash(kind, sector);
    if (!selected.ok()) {
        return selected;
    }
    const std::vector<std::uint8_t> erased(static_cast<std::size_t>(std::max(sectorSize, 0)), 0xFF);
    return compareWithSector(baseAddress, erased, nullptr);
}

std::vector<std::uint8_t> SectorOperations::selectAndLoad(std::uint8_t kind, std::uint8_t sector,
                                                          int sectorSize,
                                                          const std::string& fileName,
                                                          bool throughDefined, Outcome& outcome) {
    forgetDifferences();
    std::vector<std::uint8_t> image;
    outcome = board_.selectFlash(kind, sector);
    if (outcome.ok()) {
        outcome = loadWindowImage(fileName, sectorSize, throughDefined, image);
    }
    return image;
}

Outcome SectorOperations::programSector(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                                        int sectorSize, const std::string& fileName) {
    Outcome loaded;
    const std::vector<std::uint8_t> image =
        selectAndLoad(kind, sector, sectorSize, fileName, false, loaded);
    if (loaded.failed()) {
        return loaded;
    }
    Outcome outcome = writeImage(baseAddress, image, false);
    outcome.file = loaded.file;
    return outcome;
}

Outcome SectorOperations::programImage(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                                       const SectorImage& image) {
    forgetDifferences();
    Outcome selected = board_.selectFlash(kind, sector);
    if (!selected.ok()) {
        return selected;
    }
    const auto length = static_cast<std::size_t>(image.loadedLength());
    return writeImage(baseAddress, std::span(image.bytes).first(length), true);
}

Outcome SectorOperations::writeImage(int baseAddress, std::span<const std::uint8_t> image,
                                     bool skipErasedBlocks) {
    cancel_.clear();
    const int loadedLength = static_cast<int>(image.size());
    long blocks = 0;
    for (int done = 0; !cancel_.requested() && done < loadedLength;) {
        const int n = std::min(loadedLength - done, writeBlockSize);
        const auto block =
            image.subspan(static_cast<std::size_t>(done), static_cast<std::size_t>(n));
        const bool erased =
            std::all_of(block.begin(), block.end(), [](std::uint8_t byte) { return byte == 0xFF; });
        if (!(skipErasedBlocks && erased)) {
            const CommandFault written =
                board_.protocol().writeFlash(baseAddress + done, block, passNoise_);
            if (!written.ok()) {
                Outcome outcome = finished(done, blocks);
                outcome.cancelled = false;
                outcome.step = Step::write;
                outcome.failure = written;
                outcome.address = baseAddress + done;
                return outcome;
            }
            ++blocks;
            programmedEnd_ = baseAddress + done + n;
        }
        done += n;
        reportProgress(Step::write, done, loadedLength);
    }
    return finished(loadedLength, blocks);
}

Outcome SectorOperations::verifySector(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                                       int sectorSize, const std::string& fileName) {
    Outcome loaded;
    const std::vector<std::uint8_t> image =
        selectAndLoad(kind, sector, sectorSize, fileName, true, loaded);
    if (loaded.failed()) {
        return loaded;
    }
    cancel_.clear();
    Outcome outcome = compareWithSector(baseAddress, image, nullptr);
    outcome.file = loaded.file;
    return outcome;
}

Outcome SectorOperations::verifyImage(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                                      const SectorImage& image) {
    forgetDifferences();
    Outcome selected = board_.selectFlash(kind, sector);
    if (!selected.ok()) {
        return selected;
    }
    cancel_.clear();
    const auto length = static_cast<std::size_t>(image.definedEnd());
    return compareWithSector(baseAddress, std::span(image.bytes).first(length), &image.defined);
}

Outcome SectorOperations::compareWithSector(int baseAddress, std::span<const std::uint8_t> expected,
                                            const std::vector<bool>* defined) {
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
    const auto failed = [&](const CommandFault& fault, int address, long done, long blocks) {
        Outcome outcome = finished(done, blocks);
        outcome.cancelled = false;
        outcome.step = Step::read;
        outcome.failure = fault;
        outcome.address = address;
        return outcome;
    };
    std::vector<std::uint8_t> read;
    long blocks = 0;
    int done = 0;
    while ((differenceCount_ == 0 || countEveryDifference_) && !cancel_.requested() &&
           done < length) {
        const int n = std::min(length - done, readBlockSize);
        bool anyCompared = false;
        for (int i = 0; i < n && !anyCompared; ++i) {
            anyCompared = compared(done + i);
        }
        if (!anyCompared) {
            done += n;  // a block the image says nothing about is not read
            continue;
        }
        const int address = baseAddress + done;
        if (const CommandFault fault = board_.protocol().readFlash(address, n, read); !fault.ok()) {
            return failed(fault, address, done, blocks);
        }
        ++blocks;
        std::vector<std::uint8_t> agreed;
        // A difference is taken only when the reads agree on it; a clean block costs nothing more.
        if (differs(read.data(), done, n)) {
            if (const CommandFault fault = readBlockAgreed(address, n, read, agreed); !fault.ok()) {
                return failed(fault, address, done, blocks);
            }
        }
        const auto* data = agreed.empty() ? read.data() : agreed.data();
        for (int i = 0; i < n; ++i) {
            if (!compared(done + i) || data[i] == expected[static_cast<std::size_t>(done + i)]) {
                continue;
            }
            if (differenceCount_++ == 0) {
                firstDifference_ = address + i;
            }
            if (!countEveryDifference_) {
                break;
            }
        }
        done += n;
        reportProgress(Step::read, done, length);
    }
    return finished(done, blocks);
}

Outcome SectorOperations::readSector(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                                     int sectorSize, std::vector<std::uint8_t>& contents) {
    forgetDifferences();
    cancel_.clear();
    Outcome selected = board_.selectFlash(kind, sector);
    if (!selected.ok()) {
        return selected;
    }
    contents = sectorBuffer(sectorSize);
    std::vector<std::uint8_t> bytes;
    long blocks = 0;
    int done = 0;
    while (!cancel_.requested() && done < sectorSize) {
        const int n = std::min(sectorSize - done, readBlockSize);
        const int address = baseAddress + done;
        const CommandFault fault = readEveryBlockTwice_
                                       ? readBlockAgreed(address, n, {}, bytes)
                                       : board_.protocol().readFlash(address, n, bytes);
        if (!fault.ok()) {
            Outcome outcome = failedAt(Step::read, fault, address);
            outcome.bytes = done;
            outcome.blocks = blocks;
            return outcome;
        }
        ++blocks;
        std::copy(bytes.begin(), bytes.end(), contents.begin() + done);
        done += n;
        reportProgress(Step::read, done, sectorSize);
    }
    contents.resize(static_cast<std::size_t>(std::max(sectorSize, 0)));
    return finished(done, blocks);
}

}  // namespace loadstar
