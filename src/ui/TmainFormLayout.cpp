// Construction of the main window: its controls with their names, captions, initial states,
// places and tab order, and the handlers they are wired to.

#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <array>
#include <tuple>
#include <utility>

#include "ui/FileDialogFilter.h"
#include "ui/TmainForm.h"

namespace {

// The window's client area, fixed.
constexpr int clientWidth = 415;
constexpr int clientHeight = 258;
constexpr int statusBarHeight = 19;
constexpr int progressBarWidth = 138;

// "MS Sans Serif" 8 point and the "Terminal" font do not exist here; these are the nearest
// faces that every Linux desktop has, sized so that every caption fits.
QFont windowFont() {
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

// Fixed-pitch and bold, large enough to read, small enough that two lines of the board's
// display fit the 41 pixels of the label.
QFont mirrorFont() {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(16);
    font.setBold(true);
    return font;
}

template <typename Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption) {
    return named(new QPushButton(QString::fromLatin1(caption), parent), name);
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* caption) {
    return named(new QLabel(QString::fromLatin1(caption), parent), name);
}

QLineEdit* makeEdit(QWidget* parent, const char* name, const char* text) {
    return named(new QLineEdit(QString::fromLatin1(text), parent), name);
}

}  // namespace

void TmainForm::createControls() {
    setFont(windowFont());
    createButtons();
    createMirror();
    createFlashSelect();
    createMemoryFields();
    sbStatus = named(new QStatusBar(this), "sbStatus");
    sbStatus->setSizeGripEnabled(false);
    sbStatusPanel = makeLabel(sbStatus, "sbStatusPanel", "Not connected to the board...");
    sbStatus->addWidget(sbStatusPanel, 1);
    // Beside the status text during a pass: how far, the time left, and that Esc cancels.
    pbProgress = named(new QProgressBar(sbStatus), "pbProgress");
    pbProgress->setFixedWidth(progressBarWidth);
    pbProgress->setTextVisible(true);
    pbProgress->setAlignment(Qt::AlignCenter);
    sbStatus->addPermanentWidget(pbProgress);
    pbProgress->hide();
    mirrorTimer = named(new QTimer(this), "mirrorTimer");
    mirrorTimer->setInterval(250);
    createDialogs();
    placeControls();
    setTabOrder();
    workControls_ = {btRead,   btWrite,  btErase,      btVerify, btProgram, btBlankCheck,
                     btUpload, btReset,  btStopMirror, btTest,   rbMain,    rbBoot,
                     cbSector, edOffset, edCount,      edData};
    setWorkControlsEnabled(false);
}

void TmainForm::createButtons() {
    btConnect = makeButton(this, "btConnect", "Connect");
    btStopMirror = makeButton(this, "btStopMirror", stopMirrorCaption);
    btClose = makeButton(this, "btClose", "Close");
    btTest = makeButton(this, "btTest", "Run test");
    btAbout = makeButton(this, "btAbout", "About program");
    btRead = makeButton(this, "btRead", "Read");
    btWrite = makeButton(this, "btWrite", "Write");
    btErase = makeButton(this, "btErase", "Erase");
    btBlankCheck = makeButton(this, "btBlankCheck", "Blank Check");
    btUpload = makeButton(this, "btUpload", "Upload");
    btProgram = makeButton(this, "btProgram", "Program");
    btVerify = makeButton(this, "btVerify", "Verify");
    btReset = makeButton(this, "btReset", "Reset");
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
    }
}

void TmainForm::createMirror() {
    lbMirrorAdvice = makeLabel(this, "lbMirrorAdvice",
                               "Try to stop the mirroring during time-consuming operations.");
    pDisplayMirror = named(new QFrame(this), "pDisplayMirror");
    pDisplayMirror->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lbDisplayMirror = makeLabel(pDisplayMirror, "lbDisplayMirror", "");
    lbDisplayMirror->setFont(mirrorFont());
    lbDisplayMirror->setTextFormat(Qt::PlainText);
    lbDisplayMirror->setWordWrap(false);
    lbDisplayMirror->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbDisplayMirror->setForegroundRole(QPalette::WindowText);
    lbMirrorAdvice->setWordWrap(true);
    lbMirrorAdvice->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
}

void TmainForm::createFlashSelect() {
    gbFlashSelect = named(new QGroupBox(QStringLiteral("Flash Select"), this), "gbFlashSelect");
    rbMain = named(new QRadioButton(QStringLiteral("Main"), gbFlashSelect), "rbMain");
    rbBoot = named(new QRadioButton(QStringLiteral("Boot"), gbFlashSelect), "rbBoot");
    rbMain->setChecked(true);
    Label4 = makeLabel(gbFlashSelect, "Label4", "Sector");
    cbSector = named(new QComboBox(gbFlashSelect), "cbSector");
    cbSector->setEditable(false);
    for (int sector = 0; sector < loadstar::mainSectorCount; ++sector) {
        cbSector->addItem(QString::number(sector));
    }
    cbSector->setCurrentIndex(0);
}

void TmainForm::createMemoryFields() {
    lbOffset = makeLabel(this, "lbOffset", "Offset");
    edOffset = makeEdit(this, "edOffset", "8000");
    lbCount = makeLabel(this, "lbCount", "Count");
    edCount = makeEdit(this, "edCount", "10");
    lbData = makeLabel(this, "lbData", "Data");
    edData = makeEdit(this, "edData", "");
}

void TmainForm::describeControls() {
    // Mnemonics where the caption is not the control's state: Connect/Disconnect and Stop
    // Mirror/Start Mirror are compared as they are, so they carry none.
    const std::array<std::pair<QAbstractButton*, const char*>, 13> mnemonics = {{
        {btClose, "C&lose"},
        {btTest, "Run &test"},
        {btAbout, "&About program"},
        {btRead, "&Read"},
        {btWrite, "&Write"},
        {btErase, "&Erase"},
        {btBlankCheck, "Blan&k Check"},
        {btUpload, "&Upload"},
        {btProgram, "&Program"},
        {btVerify, "&Verify"},
        {btReset, "Re&set"},
        {rbMain, "&Main"},
        {rbBoot, "&Boot"},
    }};
    for (const auto& [button, caption] : mnemonics) {
        button->setText(QString::fromLatin1(caption));
    }
    const std::array<std::tuple<QLabel*, const char*, QWidget*>, 4> buddies = {{
        {lbOffset, "&Offset", edOffset},
        {lbCount, "Cou&nt", edCount},
        {lbData, "&Data", edData},
        {Label4, "Se&ctor", cbSector},
    }};
    for (const auto& [label, caption, buddy] : buddies) {
        label->setText(QString::fromLatin1(caption));
        label->setBuddy(buddy);
    }

    const std::array<std::pair<QWidget*, const char*>, 22> tips = {{
        {btStopMirror,
         "Stop or restart the copy of the board's display (fetched every 250 ms); "
         "stop it during long passes"},
        {btClose, "Close the program (refused while the random read test runs)"},
        {lbMirrorAdvice, "Each mirror fetch shares the line with the pass that runs"},
        {pDisplayMirror, "The text on the board's own display"},
        {lbDisplayMirror, "The text on the board's own display"},
        {gbFlashSelect,
         "The flash and sector every command works on; a change is sent to the "
         "board at once and switches its execution page"},
        {rbMain, "Main flash: sectors 0 to 7 of 32 KB, at 8000"},
        {rbBoot, "Boot flash: sectors 0 to 3 of 8 KB, from 8000 in steps of 2000"},
        {cbSector, "The sector of the selected flash"},
        {edOffset, "Board address for Read and Write, hexadecimal"},
        {edCount, "Number of bytes Read reads, hexadecimal, at most F0"},
        {edData, "Bytes in hexadecimal separated by blanks: what Write writes, what Read read"},
        {btTest, "Random read test: select and read random blocks until stopped, with a log"},
        {btAbout, "Version, licence, and the board emulator"},
        {btRead, "Read Count bytes at Offset into Data"},
        {btWrite, "Write the bytes in Data at Offset"},
        {btErase, "Erase the selected sector, without asking"},
        {btBlankCheck, "Check that the selected sector is erased (Esc cancels)"},
        {btUpload, "Save the selected sector in a .hex, .bin or .txt file (Esc cancels)"},
        {btProgram,
         "Write an Intel HEX or binary image file into the selected sector (Esc "
         "cancels)"},
        {btVerify, "Compare the selected sector with an image file (Esc cancels)"},
        {btReset, "Reset the board, then wait one second"},
    }};
    for (const auto& [control, tip] : tips) {
        control->setToolTip(QString::fromLatin1(tip));
    }
    for (const auto& [label, caption, buddy] : buddies) {
        label->setToolTip(buddy->toolTip());
    }
    sbStatus->setToolTip(QStringLiteral("What the last command did, or how far a pass has come"));
    sbStatusPanel->setToolTip(sbStatus->toolTip());
    pbProgress->setToolTip(QStringLiteral("How far the pass has come; press Esc to cancel it"));
}

void TmainForm::createDialogs() {
    OpenDialog1.defaultExtension = "hex";
    // SDCC and other compilers write Intel HEX as .ihx; the loader reads those as HEX too.
    OpenDialog1.filters = loadstar::qtNameFilters(
        "IntelHEX format (*.hex)|*.hex;*.ihx|Binary file (*.bin)|*.bin|All Files (*.*)|*.*");
    SaveDialog1.defaultExtension = "hex";
    SaveDialog1.fileName = "flash.hex";
    SaveDialog1.filters = loadstar::qtNameFilters(
        "IntelHEX file (*.hex)|*.hex|Binary file (*.bin)|*.bin|"
        "Memory dump in text file (*.txt)|*.txt");
}

void TmainForm::placeControls() {
    setFixedSize(clientWidth, clientHeight);
    // Left: the connection buttons above the Flash Select group. Right, from x = 104 to the
    // window's edge: the advice, the mirror, the fields, and two rows of four buttons.
    btConnect->setGeometry(8, 8, 88, 25);
    btStopMirror->setGeometry(8, 37, 88, 25);
    btClose->setGeometry(8, 66, 88, 25);
    lbMirrorAdvice->setGeometry(104, 2, 303, 28);
    pDisplayMirror->setGeometry(104, 32, 303, 65);
    // Two lines of the mirror font fit in 41 pixels; what is longer is clipped.
    lbDisplayMirror->setGeometry(43, 12, 217, 41);

    gbFlashSelect->setGeometry(8, 100, 88, 133);
    rbMain->setGeometry(10, 20, 70, 19);
    rbBoot->setGeometry(10, 42, 70, 19);
    Label4->setGeometry(10, 68, 60, 14);
    cbSector->setGeometry(10, 84, 56, 22);

    lbOffset->setGeometry(104, 101, 52, 14);
    edOffset->setGeometry(104, 115, 52, 21);
    lbCount->setGeometry(162, 101, 44, 14);
    edCount->setGeometry(162, 115, 44, 21);
    btTest->setGeometry(226, 113, 80, 25);
    btAbout->setGeometry(312, 113, 95, 25);
    lbData->setGeometry(104, 139, 60, 14);
    edData->setGeometry(104, 153, 303, 21);

    const std::array<QPushButton*, 8> rows = {btRead,   btWrite,   btErase,  btBlankCheck,
                                              btUpload, btProgram, btVerify, btReset};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int column = static_cast<int>(i % 4);
        const int row = static_cast<int>(i / 4);
        rows[i]->setGeometry(104 + column * 77, 180 + row * 28, 72, 25);
    }
    sbStatus->setGeometry(0, clientHeight - statusBarHeight, clientWidth, statusBarHeight);
}

void TmainForm::setTabOrder() {
    const std::array<QWidget*, 18> order = {
        btConnect,    btStopMirror, btClose,   edOffset, edCount, edData,
        rbMain,       rbBoot,       cbSector,  btRead,   btWrite, btErase,
        btBlankCheck, btUpload,     btProgram, btVerify, btReset, btAbout};
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
    QWidget::setTabOrder(btAbout, btTest);
}

void TmainForm::connectHandlers() {
    connect(btConnect, &QPushButton::clicked, this, &TmainForm::btConnectClick);
    connect(btStopMirror, &QPushButton::clicked, this, &TmainForm::btStopMirrorClick);
    connect(btClose, &QPushButton::clicked, this, &TmainForm::btCloseClick);
    connect(btTest, &QPushButton::clicked, this, &TmainForm::btTestClick);
    connect(btAbout, &QPushButton::clicked, this, &TmainForm::btAboutClick);
    connect(btRead, &QPushButton::clicked, this, &TmainForm::btReadClick);
    connect(btWrite, &QPushButton::clicked, this, &TmainForm::btWriteClick);
    connect(btErase, &QPushButton::clicked, this, &TmainForm::btEraseClick);
    connect(btBlankCheck, &QPushButton::clicked, this, &TmainForm::btBlankCheckClick);
    connect(btUpload, &QPushButton::clicked, this, &TmainForm::btUploadClick);
    connect(btProgram, &QPushButton::clicked, this, &TmainForm::btProgramClick);
    connect(btVerify, &QPushButton::clicked, this, &TmainForm::btVerifyClick);
    connect(btReset, &QPushButton::clicked, this, &TmainForm::btResetClick);
    connect(mirrorTimer, &QTimer::timeout, this, &TmainForm::mirrorTimerTimer);
    // One handler for both radio buttons and the sector list. It runs once per change of the
    // selection: for the radio button that became selected, not for the one that was cleared.
    // Changes made from code are made with the signals blocked, so they never call it again.
    const auto onSelected = [this](bool checked) {
        if (checked) {
            rbMainClick();
        }
    };
    connect(rbMain, &QRadioButton::toggled, this, onSelected);
    connect(rbBoot, &QRadioButton::toggled, this, onSelected);
    connect(cbSector, &QComboBox::currentIndexChanged, this, &TmainForm::rbMainClick);
}
