// Draws the main window as a newcomer first sees it working: connected to the emulated board,
// the mirror showing the board's display. Writes it to the PNG file named on the command line.
// A tool for the README picture, not a test.

#include <QApplication>
#include <QPixmap>
#include <iostream>

#include "MainFormRig.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: mainform_screenshot FILE.png\n";
        return 2;
    }
    loadstar::testing::MainFormRig rig;
    rig.form.show();
    rig.connect();
    rig.form.mirrorTimerTimer();
    rig.edit("edData")->setText(QStringLiteral("12 34 AB"));
    QApplication::processEvents();
    if (!rig.form.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::cerr << "cannot write " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
