#include "app/StartUp.h"

#include <QSettings>

#include <cstdlib>
#include <exception>
#include <iostream>

#include "app/DisplayCheck.h"
#include "app/InstanceLock.h"
#include "app/LoadstarApplication.h"
#include "app/LoadstarOptions.h"
#include "app/ProgramWindows.h"
#include "link/ComPortName.h"
#include "link/SerialPort.h"
#include "ui/QtUserDialogs.h"
#include "version/LoadstarVersion.h"

namespace loadstar {

namespace {

constexpr char programName[] = "loadstar";
constexpr char duplicateCaption[] = "Duplicate instance";
constexpr char duplicateQuestion[] =
    "The program is already running.\nDo you want to run another instance of the program ?";

void describeApplication(LoadstarApplication& application) {
    QCoreApplication::setApplicationName(QStringLiteral("Loadstar"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(loadstarVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.loadstar"));
    // The program ends when the main window closes, whatever other window is open.
    application.setQuitOnLastWindowClosed(false);
}

// Where the device chosen in the window is kept between runs (~/.config/loadstar/loadstar.conf).
QSettings portSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("loadstar"),
                     QStringLiteral("loadstar"));
}
constexpr char portKey[] = "port";

int runWindows(LoadstarApplication& application, QtUserDialogs& dialogs,
               const LoadstarOptions& options) {
    try {
        // --port, else LOADSTAR_PORT (both in options.port), else the device chosen last time.
        const std::string port = !options.port.empty() ? options.port
                                                       : portSettings()
                                                             .value(QLatin1String(portKey))
                                                             .toString()
                                                             .toLocal8Bit()
                                                             .toStdString();
        ProgramWindows windows(dialogs, makePlatformSerialPort, port);
        windows.mainForm().setPortMemory([](const std::string& device) {
            portSettings().setValue(QLatin1String(portKey), QString::fromLocal8Bit(device));
        });
        dialogs.setOwnerWindow(&windows.mainForm());
        windows.show();
        (void)application.exec();
    } catch (const std::exception& exception) {
        application.handleException(QString::fromLocal8Bit(exception.what()));
    } catch (...) {
        application.handleException(QStringLiteral("An unknown exception occurred."));
    }
    return 0;
}

}  // namespace

std::optional<int> askAboutRunningCopy(bool anotherInstanceRuns, UserDialogs& dialogs) {
    if (!anotherInstanceRuns || dialogs.askYesNo(duplicateQuestion, duplicateCaption)) {
        return std::nullopt;
    }
    return 1;
}

int runLoadstar(int argc, char** argv) {
    const auto parsed = parseLoadstarOptions(argc, argv);
    if (const int* exitCode = std::get_if<int>(&parsed)) {
        return *exitCode;
    }
    if (!windowsCanBeShown([](const char* name) { return std::getenv(name); })) {
        std::cerr << noDisplayMessage(programName);
        return noDisplayExitCode;
    }
    // Held until the process ends.
    const InstanceLock lock(instanceLockName, perUserDeviceFolder());
    if (!lock.notice().empty()) {
        std::cerr << programName << ": " << lock.notice() << '\n';
    }
    LoadstarApplication application(argc, argv);
    describeApplication(application);
    QtUserDialogs dialogs;
    if (const auto exitCode = askAboutRunningCopy(lock.anotherInstanceRuns(), dialogs)) {
        return *exitCode;
    }
    return runWindows(application, dialogs, std::get<LoadstarOptions>(parsed));
}

}  // namespace loadstar
