#pragma once

#include <QCoreApplication>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/UserDialogs.h"

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

// Boxes and dialogs answered from a script: every box and question is recorded, the file dialogs
// return the answers set, and the event pump runs the test's hook (so a test can press ESC, close
// the window or disconnect between two blocks of a pass) before it lets queued Qt events run.
class RecordingDialogs : public UserDialogs {
  public:
    using Message = RecordedMessage;

    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        messages.push_back({text, caption, icon});
    }
    bool askYesNo(const std::string& text, const std::string& caption) override {
        questions.push_back({text, caption, MessageIcon::none});
        return yesAnswer;
    }
    std::optional<std::string> runOpenDialog(const FileDialogSettings& settings) override {
        openDialogs.push_back(settings);
        return openAnswer;
    }
    std::optional<std::string> runSaveDialog(const FileDialogSettings& settings) override {
        saveDialogs.push_back(settings);
        return saveAnswer;
    }
    std::optional<std::size_t> choosePort(const PortChoice& choice) override {
        portChoices.push_back(choice);
        return portAnswer;
    }
    void processPendingEvents() override {
        if (onEvents) {
            onEvents(++eventRounds);
        }
        QCoreApplication::processEvents();
    }

    [[nodiscard]] std::vector<std::string> texts() const { return textsOf(messages); }

    std::vector<Message> messages;
    std::vector<Message> questions;
    std::vector<FileDialogSettings> openDialogs;
    std::vector<FileDialogSettings> saveDialogs;
    std::optional<std::string> openAnswer;
    std::optional<std::string> saveAnswer;
    std::vector<PortChoice> portChoices;
    std::optional<std::size_t> portAnswer;
    bool yesAnswer = true;
    // The event pumps counted while onEvents is set, which runs at each with its number.
    int eventRounds = 0;
    std::function<void(int round)> onEvents;
};

}  // namespace loadstar::testing
