#pragma once

#include "ui/UserDialogs.h"

class QWidget;

namespace loadstar {

// The real boxes and dialogs: QMessageBox and QFileDialog, owned by the window given (or by the
// application when none is set), and QCoreApplication::processEvents.
class QtUserDialogs : public UserDialogs {
  public:
    // The window that the boxes and dialogs stay in front of; may be null.
    void setOwnerWindow(QWidget* window) { owner_ = window; }

    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;
    std::optional<std::string> runOpenDialog(const FileDialogSettings& settings) override;
    std::optional<std::string> runSaveDialog(const FileDialogSettings& settings) override;
    std::optional<std::size_t> choosePort(const PortChoice& choice) override;
    void processPendingEvents() override;

  private:
    std::optional<std::string> runFileDialog(const FileDialogSettings& settings, bool save);

    QWidget* owner_ = nullptr;
};

}  // namespace loadstar
