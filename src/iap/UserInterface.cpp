#include "UserInterface.h"

#include "ProcessFlags.h"

namespace loadstar {

void showError(UserInterface& ui, const std::string& text) {
    if (processFlags().testRunning) {
        return;
    }
    ui.showMessage(text, "Error", MessageIcon::warning);
}

}  // namespace loadstar
