#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "AgreedRead.h"
#include "BoardCommands.h"
#include "ImageFile.h"
#include "SectorGeometry.h"

namespace loadstar {

// Whole-sector passes: blank check, program, verify and upload. Each selects the flash, walks the
// sector in blocks (reads of 241 bytes, writes of 100), writes its progress to the status line and
// lets pending events run after every block, stops before the next block once cancelRequested is
// set, shows its own result box, and returns
//   1 done (also when the sector was found not blank or different from the file),
//  -1 cancelled, 0 failed (the message has been shown).
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

    explicit SectorOperations(BoardCommands& board) : board_(board) {}

    // Shows "The sector is blank" or the address of the first byte that is not 0xFF.
    int blankCheckSector(std::uint8_t kind, std::uint8_t sector, int baseAddress, int sectorSize);
    // Loads the image (loadImageFile) and writes its loaded length without erasing first. 0 also
    // when the image could not be loaded or holds no data; nothing but the selection was sent then.
    int programSector(std::uint8_t kind, std::uint8_t sector, int baseAddress, int sectorSize,
                      const std::string& fileName);
    // Compares the image's loaded length with the sector and shows "Data Verify OK" or the first
    // differing address; the comparison runs on to the last byte the file defines, so that a
    // written-out 0xFF is compared too. 0 also when the image could not be loaded or holds no
    // data.
    int verifySector(std::uint8_t kind, std::uint8_t sector, int baseAddress, int sectorSize,
                     const std::string& fileName);
    // Reads the whole sector, asks for a file through the save dialog (proposing
    // "KEL520_seg(" + segmentName + ")") and writes it as .bin, .txt or .hex; any other name is
    // refused before anything is created. A cancelled read opens no dialog. The file is written
    // beside its target and renamed over it only when complete, so a failed upload (0, message
    // shown) leaves an existing file as it was; a device, a pipe or a file this user may not
    // write is never replaced.
    int uploadSector(std::uint8_t kind, std::uint8_t sector, int baseAddress, int sectorSize,
                     const std::string& segmentName);

    // The passes on an image the caller has loaded already (loadImage), for a caller that uses
    // one image for several passes, such as the command-line tool: select the flash, then write or
    // compare what `image` defines. Program writes, in blocks of 100 bytes from the sector's first
    // byte, only the blocks that hold a byte other than 0xFF (on an erased sector the others are
    // there already), up to the last such byte. Verify compares every byte the image defines,
    // written-out 0xFF included, and only those: blocks of 241 bytes that hold no defined byte are
    // not read. Same results and messages as programSector and verifySector.
    int programImage(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                     const SectorImage& image);
    int verifyImage(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                    const SectorImage& image);
    // How far the last program pass got: one past the board address of the last byte of the last
    // block the board confirmed; nothing when it wrote none (or another pass ran since).
    [[nodiscard]] std::optional<int> programmedEnd() const { return programmedEnd_; }
    // Upload's read without its saving: selects the flash and reads the whole sector into
    // `contents` (sectorSize bytes on result 1). Result 1, -1 cancelled, 0 failed (message shown).
    int readSector(std::uint8_t kind, std::uint8_t sector, int baseAddress, int sectorSize,
                   std::vector<std::uint8_t>& contents);

    // Upload's read as the window makes it takes each block once. With this set every block is
    // read until each of its bytes is agreed on (AgreedRead.h: about three times the time on a
    // clean line), so a noisy line gives an exact copy or a failure, never a silent difference.
    void setReadEveryBlockTwice(bool twice) { readEveryBlockTwice_ = twice; }

    // Blank check and verify stop at the first difference, as the window shows it. With this set
    // they go on to the end and count every differing byte (differenceCount), still showing only
    // the first; for callers that report how much differs, such as the command-line tool.
    void setCountEveryDifference(bool countEvery) { countEveryDifference_ = countEvery; }

    // The board address that the last blank check found used, or the last verify found
    // different; nothing after a pass that found none (or another pass). For callers that act
    // on the finding as well as on the result code, such as the command-line tool's exit status.
    [[nodiscard]] std::optional<int> firstDifferenceAddress() const { return firstDifference_; }
    // How many bytes the last blank check or verify found different: 1 when it stopped at the
    // first, every one with setCountEveryDifference; 0 after a pass that found none.
    [[nodiscard]] long differenceCount() const { return differenceCount_; }

    // The name Upload proposes in its save dialog: "KEL520_seg(" + segmentName + ")", no extension.
    static std::string proposedFileName(const std::string& segmentName);

  private:
    // Sends READ FLASH for `count` bytes at `address`; on success the bytes stand in `reply` from
    // offset 15. 0 after showing "Error sending READ FLASH command.".
    int readBlock(int address, int count, std::vector<std::uint8_t>& reply);
    // Reads the block again until every byte's value leads by what the pass's noise needs
    // (`firstRead`, when given, counts as one read; AgreedRead.h) and puts the bytes into
    // `agreed`. 0 after a failed read or, when the line is too noisy, after saying so.
    int readBlockAgreed(int address, int count, std::span<const std::uint8_t> firstRead,
                        std::vector<std::uint8_t>& agreed);
    // Sends WRITE FLASH for `count` bytes; 0 after showing the write's failure message.
    int writeBlock(int address, const std::uint8_t* data, int count);
    // What a comparison pass says: at the first difference (a format with one "%04X" for its
    // board address, and a caption), and when every byte matched.
    struct ComparisonTexts {
        const char* differenceFormat;
        const char* differenceCaption;
        const char* sameText;
        const char* sameCaption;
    };
    static const ComparisonTexts verifyTexts;
    // Reads the sector from `baseAddress` in blocks of 241 bytes and compares it with `expected`,
    // stopping at the first difference unless every one is counted; shows the pass's result and
    // returns its result code. With `defined`, only the offsets it marks are compared, and blocks
    // without one are not read.
    int compareWithSector(int baseAddress, std::span<const std::uint8_t> expected,
                          const std::vector<bool>* defined, const ComparisonTexts& texts);
    // Writes `image` from `baseAddress` in blocks of 100 bytes, skipping the blocks of nothing but
    // 0xFF when `skipErasedBlocks` is set; the pass's result code.
    int writeImage(int baseAddress, std::span<const std::uint8_t> image, bool skipErasedBlocks);
    // Selects the flash and loads the image: its loaded bytes, or none when either failed or the
    // image holds no data (the message has been shown). With `throughDefined`, the bytes run on
    // to the last one the file defines, so that a written-out 0xFF past the last programmed byte
    // is compared too.
    std::vector<std::uint8_t> selectAndLoad(std::uint8_t kind, std::uint8_t sector, int sectorSize,
                                            const std::string& fileName, bool throughDefined);
    // Status text "<prefix><remaining> bytes remaining.", then lets pending events run.
    void reportProgress(const char* prefix, int done, int total);
    // Writes `sector` into the file the user chooses; 1 saved, 0 not saved.
    int saveSector(std::span<const std::uint8_t> sector, const std::string& segmentName);
    [[nodiscard]] int passResult() const;
    void forgetDifferences();

    BoardCommands& board_;
    std::optional<int> firstDifference_;
    std::optional<int> programmedEnd_;
    long differenceCount_ = 0;
    bool countEveryDifference_ = false;
    bool readEveryBlockTwice_ = false;
    // The damage the agreed reads of this pass have seen; a pass covers one sector, 32 KB at most.
    static constexpr long largestPass = 0x8000;
    NoiseTally passNoise_{largestPass};
};

}  // namespace loadstar
