#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "UserInterface.h"

namespace loadstar::testing {

// A user interface that remembers everything the core told the user and answers the save dialog
// from a script. onEvents runs at every "let pending events run", so a test can press ESC or
// close the port in the middle of a pass.
class RecordingUserInterface : public UserInterface {
  public:
    struct Message {
        std::string text;
        std::string caption;
        MessageIcon icon;
    };

    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        messages.push_back({text, caption, icon});
    }
    void setStatusText(const std::string& text) override { statusTexts.push_back(text); }
    void processPendingEvents() override {
        ++eventRounds;
        if (onEvents) {
            onEvents();
        }
    }
    std::optional<std::string> chooseSaveFile(const std::string& proposedName) override {
        proposedNames.push_back(proposedName);
        return saveFileAnswer;
    }
    [[nodiscard]] std::vector<std::string> messageTexts() const {
        std::vector<std::string> texts;
        for (const auto& message : messages) {
            texts.push_back(message.text);
        }
        return texts;
    }

    std::vector<Message> messages;
    std::vector<std::string> statusTexts;
    std::vector<std::string> proposedNames;
    std::optional<std::string> saveFileAnswer;
    std::function<void()> onEvents;
    int eventRounds = 0;
};

}  // namespace loadstar::testing
