#include "ui/TtestForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "iap/AtomicFile.h"
#include "ui/FileDialogFilter.h"
#include "words/RandomReadTestWords.h"

namespace {

constexpr int clientWidth = 507;
constexpr int clientHeight = 296;
constexpr char logFilter[] = "Log files (*.log)|*.log|All files (*.*)|*.*";

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry,
                  bool bold) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    return button;
}

// A character key, as the window's key handler sees keys: anything that types a character,
// Escape and Enter included. Tab stays with the focus chain.
bool isCharacterKey(const QKeyEvent& key) {
    return !key.text().isEmpty() && key.key() != Qt::Key_Tab && key.key() != Qt::Key_Backtab;
}

QString runSaveDialog(QWidget* owner, const QString& proposedName) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("log"));
    // An existing file is replaced without a question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QStringList filters;
    for (const auto& filter : loadstar::qtNameFilters(logFilter)) {
        filters << QString::fromLocal8Bit(filter);
    }
    dialog.setNameFilters(filters);
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

}  // namespace

TtestForm::TtestForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      chooseSaveFile_(
          [this](const QString& proposedName) { return runSaveDialog(this, proposedName); }),
      reportError_([this](const QString& message) {
          QMessageBox::critical(this, QGuiApplication::applicationDisplayName(), message);
      }),
      clock_([] { return std::chrono::system_clock::now(); }) {
    setObjectName(QStringLiteral("testForm"));
    setWindowTitle(QStringLiteral("Flash Random Read Test"));
    setFixedSize(clientWidth, clientHeight);
    // Closing this window only hides it; it never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    createControls();
}

void TtestForm::createControls() {
    logMemo = new QPlainTextEdit(this);
    logMemo->setObjectName(QStringLiteral("logMemo"));
    logMemo->setGeometry(8, 9, 337, 280);
    logMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    logMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    btEndTest = makeButton(this, "btEndTest", QStringLiteral("End Test"), {432, 264, 65, 25});
    lbStatistics = makeLabel(this, "lbStatistics", {}, {360, 136, 50, 13}, false);
    btStartAgain =
        makeButton(this, "btStartAgain", QStringLiteral("Start again"), {360, 232, 65, 25});
    btSaveLog = makeButton(this, "btSaveLog", QStringLiteral("Save Log"), {360, 264, 65, 25});
    lbStat = makeLabel(this, "lbStat", QStringLiteral("Statistics:"), {360, 120, 60, 17}, true);
    lbDesc = makeLabel(this, "lbDesc", QStringLiteral("Description:"), {360, 16, 72, 17}, true);
    lbDescription = makeLabel(this, "lbDescription", {}, {360, 32, 61, 13}, false);

    // No mnemonics here: during a run any key in this window stops it.
    logMemo->setToolTip(
        QStringLiteral("One line per cycle: the flash, sector, address and count read"));
    btEndTest->setToolTip(
        QStringLiteral("End the test after the cycle that runs (any key does too)"));
    btStartAgain->setToolTip(QStringLiteral("Start a new run with an empty log"));
    btSaveLog->setToolTip(QStringLiteral("Save the log and its summary in a text file"));
    lbStatistics->setToolTip(QStringLiteral("Cycles run and failures counted so far"));
    lbStat->setToolTip(lbStatistics->toolTip());
    lbDescription->setToolTip(QStringLiteral("What the test does"));
    lbDesc->setToolTip(lbDescription->toolTip());

    setTabOrder(logMemo, btEndTest);
    setTabOrder(btEndTest, btStartAgain);
    setTabOrder(btStartAgain, btSaveLog);

    connect(btEndTest, &QPushButton::clicked, this, &TtestForm::btEndTestClick);
    connect(btStartAgain, &QPushButton::clicked, this, &TtestForm::btStartAgainClick);
    connect(btSaveLog, &QPushButton::clicked, this, &TtestForm::btSaveLogClick);

    // Key preview: the controls that can have the focus show their keys to the window first.
    for (QWidget* control :
         {static_cast<QWidget*>(logMemo), static_cast<QWidget*>(btEndTest),
          static_cast<QWidget*>(btStartAgain), static_cast<QWidget*>(btSaveLog)}) {
        control->installEventFilter(this);
    }
}

void TtestForm::clearLog() {
    logMemo->clear();
}

void TtestForm::appendLogLine(const QString& line) {
    logMemo->appendPlainText(line);
}

void TtestForm::setDescription(const QString& text) {
    lbDescription->setText(text);
    lbDescription->adjustSize();
}

void TtestForm::setStatistics(const QString& text) {
    lbStatistics->setText(text);
    lbStatistics->adjustSize();
}

void TtestForm::setButtonsForRun() {
    btStartAgain->setEnabled(false);
    btEndTest->setEnabled(true);
}

void TtestForm::showTestWindow() {
    if (!centred_) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
        centred_ = true;
    }
    show();
    raise();
    activateWindow();
}

QStringList TtestForm::logLines() const {
    const QString text = logMemo->toPlainText();
    if (text.isEmpty()) {
        return {};
    }
    return text.split(QLatin1Char('\n'));
}

QString TtestForm::descriptionText() const {
    return lbDescription->text();
}

QString TtestForm::statisticsText() const {
    return lbStatistics->text();
}

bool TtestForm::isEndTestEnabled() const {
    return btEndTest->isEnabled();
}

bool TtestForm::isStartAgainEnabled() const {
    return btStartAgain->isEnabled();
}

void TtestForm::setSaveFileChooser(SaveFileChooser chooser) {
    chooseSaveFile_ = std::move(chooser);
}

void TtestForm::setErrorReporter(ErrorReporter reporter) {
    reportError_ = std::move(reporter);
}

void TtestForm::setClock(Clock clock) {
    clock_ = std::move(clock);
}

void TtestForm::btEndTestClick() {
    stopTest_.request();
    btStartAgain->setEnabled(true);
    btEndTest->setEnabled(false);
}

void TtestForm::btStartAgainClick() {
    emit startAgainRequested();
}

void TtestForm::requestMirrorStop() {
    emit mirrorStopRequested();
}

void TtestForm::btSaveLogClick() {
    const std::string proposed = loadstar::testLogFileName(loadstar::localCalendarTime(clock_()));
    const QString fileName = chooseSaveFile_(QString::fromLocal8Bit(proposed));
    if (fileName.isEmpty()) {
        return;
    }
    if (!writeLogFile(fileName)) {
        reportError_(QStringLiteral("Cannot create file %1").arg(fileName));
    }
}

bool TtestForm::writeLogFile(const QString& fileName) const {
    // The file appears complete or not at all; an earlier file of that name stays as it was
    // until the new one is whole. Saved as the tools save theirs: no link or folder that another
    // user could have planted is followed.
    loadstar::AtomicFile file(QFile::encodeName(fileName).toStdString());
    if (!file.create()) {
        return false;
    }
    QByteArray content;
    for (const QString& line : logLines()) {
        content += line.toLocal8Bit();
        content += "\r\n";
    }
    return file.write(
               std::string_view(content.constData(), static_cast<std::size_t>(content.size()))) &&
           file.commit();
}

void TtestForm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();  // hides the window; it lives until the program ends
}

void TtestForm::FormClose() {
    stopTest_.request();
}

void TtestForm::FormKeyPress(const QString& key) {
    (void)key;  // no key is singled out
    if (testRunning_) {
        stopTest_.request();
        return;
    }
    close();
}

bool TtestForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isCharacterKey(*key)) {
            previewedKey_ = key;
            FormKeyPress(key->text());
        }
    } else if (event->type() == QEvent::KeyRelease) {
        previewedKey_ = nullptr;
    }
    return QWidget::eventFilter(watched, event);  // the control still gets the key
}

void TtestForm::keyPressEvent(QKeyEvent* event) {
    // A key the focused control did not take comes up here after its preview: handled once.
    if (event != previewedKey_ && isCharacterKey(*event)) {
        FormKeyPress(event->text());
    }
    previewedKey_ = nullptr;
    QWidget::keyPressEvent(event);
}
