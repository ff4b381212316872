#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "iap/AgreedRead.h"
#include "iap/BoardCommands.h"
#include "iap/ImageFile.h"
#include "iap/SectorGeometry.h"

namespace loadstar {

// Whole-sector passes: blank check, program, verify and upload's read. Each selects the flash,
// walks the sector in blocks (reads of 241 bytes, writes of 100), tells the observer its progress
// after every block (where the caller lets pending events run), stops before the next block once
// the cancel token is set, and returns its outcome (Outcome.h): done (also when the sector was
// found not blank or different from the file: differences and firstDifference say so), cancelled,
// or failed at a step. Nothing is shown.
// A READ FLASH reply too short to hold the bytes asked for counts as a failed read: its missing
// bytes are never taken from an earlier reply.
//
// Replies carry no checksum, so a byte flipped on the line would be taken as data. A block that
// blank check or verify finds different is read again, and the difference is reported only when
// the reads agree on it as AgreedRead.h sets out; a write whose reply does not confirm it is read
// back, and fails only when the flash does not hold what was written. On a clean line neither costs
// an exchange.
class SectorOperations {
  public:
    static constexpr int readBlockSize = 241;
    static constexpr int writeBlockSize = 100;

    SectorOperations(BoardCommands& board, PassObserver& observer, CancelToken& cancel)
        : board_(board), observer_(observer), cancel_(cancel) {}

    // Finds the first byte that is not 0xFF.
    Outcome blankCheckSector(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                             int sectorSize);
    // Loads the image the window's way (loadWindowImage) and writes its loaded length without
    // erasing first. Fails at Step::loadFile when the image could not be loaded or holds no data;
    // nothing but the selection was sent then. `outcome.file` tells of bytes left out.
    Outcome programSector(std::uint8_t kind, std::uint8_t sector, int baseAddress, int sectorSize,
                          const std::string& fileName);
    // Compares the image's loaded length with the sector; the comparison runs on to the last byte
    // the file defines, so that a written-out 0xFF is compared too.
    Outcome verifySector(std::uint8_t kind, std::uint8_t sector, int baseAddress, int sectorSize,
                         const std::string& fileName);

    // The passes on an image the caller has loaded already (loadImage), for a caller that uses
    // one image for several passes, such as the command-line tool: select the flash, then write or
    // compare what `image` defines. Program writes, in blocks of 100 bytes from the sector's first
    // byte, only the blocks that hold a byte other than 0xFF (on an erased sector the others are
    // there already), up to the last such byte. Verify compares every byte the image defines,
    // written-out 0xFF included, and only those: blocks of 241 bytes that hold no defined byte are
    // not read.
    Outcome programImage(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                         const SectorImage& image);
    Outcome verifyImage(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                        const SectorImage& image);
    // Upload's read: selects the flash and reads the whole sector into `contents` (sectorSize
    // bytes when the outcome is ok). The caller saves them (DumpWriters.h).
    Outcome readSector(std::uint8_t kind, std::uint8_t sector, int baseAddress, int sectorSize,
                       std::vector<std::uint8_t>& contents);

    // Upload's read as the window makes it takes each block once. With this set every block is
    // read until each of its bytes is agreed on (AgreedRead.h: about three times the time on a
    // clean line), so a noisy line gives an exact copy or a failure, never a silent difference.
    void setReadEveryBlockTwice(bool twice) { readEveryBlockTwice_ = twice; }

    // Blank check and verify stop at the first difference, as the window shows it. With this set
    // they go on to the end and count every differing byte (Outcome::differences); for callers
    // that report how much differs, such as the command-line tool.
    void setCountEveryDifference(bool countEvery) { countEveryDifference_ = countEvery; }

    // The name Upload proposes in its save dialog: "KEL520_seg(" + segmentName + ")", no extension.
    static std::string proposedFileName(const std::string& segmentName);

  private:
    // Reads the block again until every byte's value leads by what the pass's noise needs
    // (`firstRead`, when given, counts as one read; AgreedRead.h) and puts the bytes into `agreed`.
    CommandFault readBlockAgreed(int address, int count, std::span<const std::uint8_t> firstRead,
                                 std::vector<std::uint8_t>& agreed);
    // Reads the sector from `baseAddress` in blocks of 241 bytes and compares it with `expected`,
    // stopping at the first difference unless every one is counted. With `defined`, only the
    // offsets it marks are compared, and blocks without one are not read.
    Outcome compareWithSector(int baseAddress, std::span<const std::uint8_t> expected,
                              const std::vector<bool>* defined);
    // Writes `image` from `baseAddress` in blocks of 100 bytes, skipping the blocks of nothing but
    // 0xFF when `skipErasedBlocks` is set.
    Outcome writeImage(int baseAddress, std::span<const std::uint8_t> image, bool skipErasedBlocks);
    // Selects the flash and loads the image; `outcome` says when either failed or the image holds
    // no data, and what the loader found. With `throughDefined`, the bytes run on to the last one
    // the file defines, so that a written-out 0xFF past the last programmed byte is compared too.
    std::vector<std::uint8_t> selectAndLoad(std::uint8_t kind, std::uint8_t sector, int sectorSize,
                                            const std::string& fileName, bool throughDefined,
                                            Outcome& outcome);
    // Tells the observer, which lets pending events run.
    void reportProgress(Step step, long done, long total);
    // The outcome of a pass that ran to its end or was cancelled, with what it found.
    [[nodiscard]] Outcome finished(long bytes, long blocks) const;
    void forgetDifferences();

    BoardCommands& board_;
    PassObserver& observer_;
    CancelToken& cancel_;
    std::optional<int> firstDifference_;
    std::optional<int> programmedEnd_;
    long differenceCount_ = 0;
    bool countEveryDifference_ = false;
    bool readEveryBlockTwice_ = false;
    // The damage the agreed reads of this pass have seen; a pass covers one sector, 32 KB at most.
    static constexpr long largestPass = 0x8000;
    NoiseTally passNoise_{largestPass};
};

// The window's loader: loads `fileName` by its extension (ImageFormat::byExtension) into one
// sector. `bytes` receives the meaningful bytes from offset 0: `loadedLength` of them (one past the
// last byte that is not 0xFF; a raw file's length), or through the last byte the file defines
// with `throughDefined` (when any is loaded). Fails at Step::loadFile with Fault::fileProblem, or
// Fault::noData when nothing was loaded; `file` tells of bytes past the sector left out.
Outcome loadWindowImage(const std::string& fileName, int sectorSize, bool throughDefined,
                        std::vector<std::uint8_t>& bytes);

}  // namespace loadstar
