#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <string>

#include "RecordingDialogs.h"
#include "devices/SerialDeviceList.h"
#include "emulator/BoardModel.h"
#include "emulator/InProcessBoardPort.h"
#include "ui/TmainForm.h"

namespace loadstar::testing {

using Names = std::vector<std::string>;

// The real main window against the emulated board in process: every box and dialog answered by
// RecordingDialogs, no pause after a reset, and the flags of the process cleared.
class MainFormRig {
  public:
    explicit MainFormRig(const std::string& model = "KEL520")
        : board(model), form(dialogs, [this] {
              auto port = std::make_unique<emulator::InProcessBoardPort>(board);
              lastPort = port.get();
              return port;
          }) {
        form.setDeviceLister([this] { return devices; });
        form.setPortMemory([this](const std::string& device) { remembered.push_back(device); });
        form.setPauseFunction([this](std::chrono::milliseconds time) { pauses.push_back(time); });
    }

    template <typename Widget = QWidget>
    Widget* control(const char* name) {
        auto* widget = form.findChild<Widget*>(QString::fromLatin1(name));
        if (widget == nullptr) {
            qFatal("no control %s", name);
        }
        return widget;
    }
    QAbstractButton* button(const char* name) { return control<QAbstractButton>(name); }
    QLineEdit* edit(const char* name) { return control<QLineEdit>(name); }
    QComboBox* sectorList() { return control<QComboBox>("cbSector"); }
    QString mirrorText() { return control<QLabel>("lbDisplayMirror")->text(); }
    QString status() const { return form.statusText(); }
    bool mirrorTimerActive() { return control<QTimer>("mirrorTimer")->isActive(); }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    void selectSector(int index) { sectorList()->setCurrentIndex(index); }

    // Connects and forgets what the connection sent and showed.
    void connect() {
        click("btConnect");
        QCOMPARE(form.statusText(), QStringLiteral("Connected to the board, ready..."));
        board.clearPayloads();
        dialogs.messages.clear();
    }
    void setSilent(bool silent) {
        auto faults = board.faults();
        faults.silent = silent;
        board.setFaults(faults);
    }

    emulator::BoardModel board;
    RecordingDialogs dialogs;
    emulator::InProcessBoardPort* lastPort = nullptr;
    std::vector<std::chrono::milliseconds> pauses;
    // The serial devices a refused Connect finds, and the choices the window was told to keep.
    std::vector<SerialDevice> devices;
    std::vector<std::string> remembered;
    TmainForm form;
};

}  // namespace loadstar::testing
