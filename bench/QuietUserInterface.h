#pragma once

#include <optional>
#include <string>

#include "UserInterface.h"

namespace loadstar::bench {

// Answers the passes' boxes silently and saves uploads to one file; remembers the last box.
class QuietUserInterface : public UserInterface {
  public:
    void showMessage(const std::string& text, const std::string&, MessageIcon) override {
        lastMessage = text;
    }
    void setStatusText(const std::string&) override {}
    void processPendingEvents() override {}
    std::optional<std::string> chooseSaveFile(const std::string&) override { return saveFile; }

    std::string lastMessage;
    std::string saveFile;
};

}  // namespace loadstar::bench
