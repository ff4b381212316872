#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "UserInterface.h"

namespace loadstar::testing {

// A box as the user would have seen it.
struct RecordedMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;
};

// The texts of `messages`, in order.
inline std::vector<std::string> textsOf(const std::vector<RecordedMessage>& messages) {
    std::vector<std::string> texts;
    for (const auto& message : messages) {
        texts.push_back(message.text);
    }
    return texts;
}

// A user interface that remembers everything the core told the user and answers the save dialog
// from a script. onEvents runs at every "let pending events run", so a test can press ESC or
// close the port in the middle of a pass.
class RecordingUserInterface : public UserInterface {
  public:
    using Message = RecordedMessage;

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
    [[nodiscard]] std::vector<std::string> messageTexts() const { return textsOf(messages); }

    std::vector<Message> messages;
    std::vector<std::string> statusTexts;
    std::vector<std::string> proposedNames;
    std::optional<std::string> saveFileAnswer;
    std::function<void()> onEvents;
    int eventRounds = 0;
};

}  // namespace loadstar::testing
