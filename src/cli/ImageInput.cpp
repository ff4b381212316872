#include "ImageInput.h"

#include <cstdio>
#include <regex>

#include "FileExtension.h"
#include "ImageFile.h"

namespace loadstar::cli {

namespace {

// Passes every message on but the loader's "File contains no data", for a caller to whom an
// image of nothing but erased bytes is data too.
class EmptyImageAllowed : public UserInterface {
  public:
    explicit EmptyImageAllowed(UserInterface& ui) : ui_(ui) {}

    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        if (text != noDataText) {
            ui_.showMessage(text, caption, icon);
        }
    }
    void setStatusText(const std::string& text) override { ui_.setStatusText(text); }
    void processPendingEvents() override { ui_.processPendingEvents(); }
    void noteFileProblem(const std::string& path, const std::string& reason) override {
        ui_.noteFileProblem(path, reason);
    }
    std::optional<std::string> chooseSaveFile(const std::string& proposedName) override {
        return ui_.chooseSaveFile(proposedName);
    }

  private:
    UserInterface& ui_;
};

}  // namespace

std::optional<int> parseBaseAddress(const std::string& text) {
    static const std::regex address("(0[xX])?[0-9a-fA-F]{1,4}");
    if (!std::regex_match(text, address)) {
        return std::nullopt;
    }
    return std::stoi(text, nullptr, 16);
}

std::optional<std::vector<std::uint8_t>> loadSectorImage(const std::string& fileName,
                                                         const SectorGeometry& geometry,
                                                         int baseAddress, UserInterface& ui,
                                                         bool emptyIsData) {
    const int sectorSize = geometry.sectorSize;
    if (baseAddress != 0 && fileExtension(fileName) != ".hex") {
        ui.showMessage("--base applies to Intel HEX files (.hex) only: " + fileName,
                       "Data load error", MessageIcon::none);
        return std::nullopt;
    }
    std::vector<std::uint8_t> image(
        static_cast<std::size_t>(std::max(sectorBufferSize, sectorSize)), 0);
    HexAddressing addressing{baseAddress, std::nullopt};
    EmptyImageAllowed emptyAllowed(ui);
    int loadedLength = 0;
    if (loadImageFile(fileName, image, sectorSize, loadedLength,
                      emptyIsData ? static_cast<UserInterface&>(emptyAllowed) : ui,
                      &addressing) == 0) {
        return std::nullopt;
    }
    if (baseAddress == 0 && addressing.lowestRecordAddress.value_or(0) >= boardWindowStart) {
        char base[8];
        std::snprintf(base, sizeof base, "%04X", static_cast<unsigned>(geometry.baseAddress));
        ui.showMessage("every record of " + fileName +
                           " lies at 8000 or above, but addresses in the file are offsets from "
                           "the sector's start. For a file linked at board addresses, add --base " +
                           base + ".",
                       "Hint", MessageIcon::none);
    }
    if (loadedLength == 0 && !emptyIsData) {
        return std::nullopt;  // nothing to write or compare: the loader has said why
    }
    image.resize(static_cast<std::size_t>(loadedLength));
    return image;
}

}  // namespace loadstar::cli
