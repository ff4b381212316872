// Draws the main window as a newcomer first sees it working: connected to the emulated board,
// the mirror showing the board's display. Writes it to the PNG file named on the command line.
// With a second word it draws instead "pass": the window during an Upload with its progress bar;
// or, from the whole screen (run it under Xvfb), "tooltip" a control's tooltip, "about" the About
// box, "ports" the device list a refused Connect offers. A tool for the README picture and
// for looking at the window, not a test.

#include <QApplication>
#include <QCursor>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <iostream>

#include "MainFormRig.h"
#include "ui/QtUserDialogs.h"

namespace {

bool saveScreen(const char* file) {
    return QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(file));
}

// Grabs the screen once the modal box or dialog about to open is up, then closes it.
void grabNextModal(const char* file, bool& saved) {
    QTimer::singleShot(500, [file, &saved] {
        saved = saveScreen(file);
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2 && argc != 3) {
        std::cerr << "usage: mainform_screenshot FILE.png [pass|tooltip|about|ports]\n";
        return 2;
    }
    const QString mode = argc == 3 ? QString::fromLatin1(argv[2]) : QString();
    const char* file = argv[1];
    loadstar::testing::MainFormRig rig;
    rig.form.show();
    rig.form.move(20, 20);
    rig.connect();
    rig.form.mirrorTimerTimer();
    rig.edit("edData")->setText(QStringLiteral("12 34 AB"));
    QApplication::processEvents();
    bool saved = false;
    loadstar::QtUserDialogs real;
    real.setOwnerWindow(&rig.form);
    if (mode == "pass") {
        using namespace std::chrono;
        steady_clock::time_point now{};
        rig.form.setClock([&] { return now += milliseconds(150); });
        rig.click("rbBoot");
        rig.dialogs.onEvents = [&](int round) {
            if (round == 9) {
                saved = rig.form.grab().save(QString::fromLocal8Bit(file));
            }
        };
        rig.click("btUpload");
    } else if (mode == "tooltip") {
        auto* button = rig.button("btProgram");
        QCursor::setPos(button->mapToGlobal(QPoint(20, 12)));
        QToolTip::showText(button->mapToGlobal(QPoint(20, 12)), button->toolTip(), button);
        QTest::qWait(500);
        saved = saveScreen(file);
    } else if (mode == "about") {
        rig.click("btAbout");
        grabNextModal(file, saved);
        real.showMessage(rig.dialogs.messages.back().text, "About the program",
                         loadstar::MessageIcon::none);
    } else if (mode == "ports") {
        rig.click("btConnect");  // disconnect, then a Connect that cannot open the port
        rig.board.setLineHeld(true);
        rig.devices = {
            {"/dev/ttyS0", "", "", "ttyS0"},
            {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
             "0403:6001", "FT232R USB UART"}};
        rig.click("btConnect");
        grabNextModal(file, saved);
        (void)real.choosePort(rig.dialogs.portChoices.back());
    } else {
        saved = rig.form.grab().save(QString::fromLocal8Bit(file));
    }
    if (!saved) {
        std::cerr << "cannot write " << file << '\n';
        return 1;
    }
    return 0;
}
