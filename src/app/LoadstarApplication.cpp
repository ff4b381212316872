#include "app/LoadstarApplication.h"

#include <QMessageBox>
#include <exception>

namespace loadstar {

LoadstarApplication::LoadstarApplication(int& argc, char** argv)
    : QApplication(argc, argv), reportException_([](const QString& text) {
          QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), text);
      }) {}

bool LoadstarApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& exception) {
        handleException(QString::fromLocal8Bit(exception.what()));
    } catch (...) {
        handleException(QStringLiteral("An unknown exception occurred."));
    }
    return false;
}

void LoadstarApplication::handleException(const QString& text) {
    emit exceptionCaught();
    reportException_(text);
    exit(0);
}

}  // namespace loadstar
