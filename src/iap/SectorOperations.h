#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "BoardCommands.h"
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
// two reads agree on it; a write whose reply does not confirm it is read back, and fails only when
// the flash does not hold what was written. On a clean line neither costs an exchange.
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
    // differing address. 0 also when the image could not be loaded or holds no data.
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

    // The passes on an image the caller has loaded already (loadImageFile), for a caller that
    // uses one image for several passes: select the flash, then write or compare `image` from
    // the sector's first byte. Same results and messages as programSector and verifySector; an
    // empty image writes nothing and compares nothing.
    int programImage(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                     std::span<const std::uint8_t> image);
    int verifyImage(std::uint8_t kind, std::uint8_t sector, int baseAddress,
                    std::span<const std::uint8_t> image);
    // Upload's read without its saving: selects the flash and reads the whole sector into
    // `contents` (sectorSize bytes on result 1). Result 1, -1 cancelled, 0 failed (message shown).
    int readSector(std::uint8_t kind, std::uint8_t sector, int baseAddress, int sectorSize,
                   std::vector<std::uint8_t>& contents);

    // Upload's read as the window makes it takes each block once. With this set every block is
    // read until each of its bytes has been seen alike in two reads (at least twice the time on a
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
    // Reads the block again until every byte has been seen alike in two reads (`firstRead`, when
    // given, counts as one) and puts the bytes into `agreed`. 0 after a failed read or, when the
    // reads never agree, after showing that the line is too noisy.
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
    // returns its result code.
    int compareWithSector(int baseAddress, std::span<const std::uint8_t> expected,
                          const ComparisonTexts& texts);
    // Writes `image` from `baseAddress` in blocks of 100 bytes; the pass's result code.
    int writeImage(int baseAddress, std::span<const std::uint8_t> image);
    // Selects the flash and loads the image: its loaded bytes, or none when either failed or the
    // image holds no data (the message has been shown).
    std::vector<std::uint8_t> selectAndLoad(std::uint8_t kind, std::uint8_t sector, int sectorSize,
                                            const std::string& fileName);
    // Status text "<prefix><remaining> bytes remaining.", then lets pending events run.
    void reportProgress(const char* prefix, int done, int total);
    // Writes `sector` into the file the user chooses; 1 saved, 0 not saved.
    int saveSector(std::span<const std::uint8_t> sector, const std::string& segmentName);
    [[nodiscard]] int passResult() const;
    void forgetDifferences();

    BoardCommands& board_;
    std::optional<int> firstDifference_;
    long differenceCount_ = 0;
    bool countEveryDifference_ = false;
    bool readEveryBlockTwice_ = false;
};

}  // namespace loadstar
