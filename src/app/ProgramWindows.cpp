#include "ProgramWindows.h"

#include <QCoreApplication>

namespace loadstar {

ProgramWindows::ProgramWindows(UserDialogs& dialogs, SerialLink::PortFactory makePort,
                               std::string devicePath)
    : mainForm_(dialogs, std::move(makePort), std::move(devicePath)) {
    testForm_.setObjectName(QStringLiteral("testForm"));
    testForm_.hide();
    mainForm_.setTestForm(&testForm_);
    QObject::connect(&mainForm_, &TmainForm::programEndRequested, &mainForm_, [this] {
        testForm_.hide();
        QCoreApplication::exit(0);
    });
}

void ProgramWindows::show() {
    mainForm_.show();
    mainForm_.raise();
    mainForm_.activateWindow();
}

}  // namespace loadstar
