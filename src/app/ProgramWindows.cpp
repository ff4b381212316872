#include "app/ProgramWindows.h"

#include <QCoreApplication>
#include <QIcon>

#include "app/LoadstarApplication.h"

namespace loadstar {

ProgramWindows::ProgramWindows(UserDialogs& dialogs, SerialLink::PortFactory makePort,
                               std::string devicePath)
    : mainForm_(dialogs, std::move(makePort), std::move(devicePath)) {
    // The installed icon of the desktop's theme, else the copy built into the program.
    const QIcon icon =
        QIcon::fromTheme(QStringLiteral("loadstar"), QIcon(QStringLiteral(":/loadstar.png")));
    mainForm_.setWindowIcon(icon);
    testForm_.setWindowIcon(icon);
    testForm_.setObjectName(QStringLiteral("testForm"));
    testForm_.hide();
    mainForm_.setTestForm(&testForm_);
    QObject::connect(&mainForm_, &TmainForm::programEndRequested, &mainForm_, [this] {
        testForm_.hide();
        QCoreApplication::exit(0);
    });
    if (auto* application = qobject_cast<LoadstarApplication*>(QCoreApplication::instance())) {
        QObject::connect(application, &LoadstarApplication::exceptionCaught, &mainForm_,
                         &TmainForm::requestCancel);
        QObject::connect(application, &LoadstarApplication::exceptionCaught, &testForm_,
                         &TtestForm::requestTestStop);
    }
}

void ProgramWindows::show() {
    mainForm_.show();
    mainForm_.raise();
    mainForm_.activateWindow();
}

}  // namespace loadstar
