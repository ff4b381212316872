#include "ui/QtUserDialogs.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QStringList>
#include <QVBoxLayout>

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

std::optional<std::size_t> QtUserDialogs::choosePort(const PortChoice& choice) {
    QDialog dialog(owner_);
    dialog.setWindowTitle(QStringLiteral("Serial port"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* explanation = new QLabel(fromLocal(choice.explanation), &dialog);
    explanation->setWordWrap(true);
    explanation->setTextFormat(Qt::PlainText);
    auto* list = new QComboBox(&dialog);
    list->setObjectName(QStringLiteral("cbPortChoice"));
    for (const auto& label : choice.labels) {
        list->addItem(fromLocal(label));
    }
    list->setCurrentIndex(static_cast<int>(choice.selected));
    list->setToolTip(QStringLiteral("The device that Connect opens from now on"));
    explanation->setBuddy(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(explanation);
    layout->addWidget(list);
    layout->addWidget(buttons);
    dialog.resize(520, dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted || list->currentIndex() < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(list->currentIndex());
}

void QtUserDialogs::processPendingEvents() {
    QCoreApplication::processEvents();
}

}  // namespace loadstar
