#include "MainFormUserInterface.h"

namespace loadstar {

std::optional<std::string> MainFormUserInterface::chooseSaveFile(const std::string& proposedName) {
    const std::size_t slash = saveDialog_.fileName.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : saveDialog_.fileName.substr(0, slash + 1);
    saveDialog_.fileName = folder + proposedName;
    auto chosen = dialogs_.runSaveDialog(saveDialog_);
    if (chosen) {
        saveDialog_.fileName = *chosen;
    }
    return chosen;
}

}  // namespace loadstar
