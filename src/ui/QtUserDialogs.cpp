#include "QtUserDialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace loadstar {

namespace {

QString fromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

}  // namespace

void QtUserDialogs::showMessage(const std::string& text, const std::string& caption,
                                MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                    fromLocal(caption), fromLocal(text), QMessageBox::Ok, owner_);
    box.exec();
}

bool QtUserDialogs::askYesNo(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, fromLocal(caption), fromLocal(text),
                    QMessageBox::Yes | QMessageBox::No, owner_);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtUserDialogs::runOpenDialog(const FileDialogSettings& settings) {
    return runFileDialog(settings, false);
}

std::optional<std::string> QtUserDialogs::runSaveDialog(const FileDialogSettings& settings) {
    return runFileDialog(settings, true);
}

std::optional<std::string> QtUserDialogs::runFileDialog(const FileDialogSettings& settings,
                                                        bool save) {
    QFileDialog dialog(owner_);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(fromLocal(settings.defaultExtension));
    QStringList filters;
    for (const auto& filter : settings.filters) {
        filters << fromLocal(filter);
    }
    dialog.setNameFilters(filters);
    if (!settings.fileName.empty()) {
        dialog.selectFile(fromLocal(settings.fileName));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first().toLocal8Bit().toStdString();
}

void QtUserDialogs::processPendingEvents() {
    QCoreApplication::processEvents();
}

}  // namespace loadstar
