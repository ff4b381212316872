// The main window as it opens: its controls, captions, states, tab order, size and dialogs, and
// that every caption fits its control.

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QTimer>
#include <QtTest>

#include "MainFormRig.h"

using loadstar::testing::MainFormRig;

class MainFormLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void controlsHaveTheirKindCaptionAndInitialState_data();
    void controlsHaveTheirKindCaptionAndInitialState();
    void sectorListHoldsZeroToSevenWithZeroSelected();
    void statusBarHasOnePanelReadingNotConnected();
    void windowIsFixedWithoutMaximiseBox();
    void everyControlLiesInsideTheWindow();
    void everyCaptionFitsItsControl();
    void mirrorLabelShowsTwoLinesOfTheBoardDisplay();
    void tabOrderRunsFromConnectToRunTest();
    void mirrorTimerTicksEvery250msAndIsStopped();
    void openDialogOffersHexBinAndAllFilesWithHexDefault();
    void saveDialogProposesFlashHexWithThreeFilters();
    void aboutBoxNamesProgramAndVersionWithoutIcon();
};

void MainFormLayoutTest::controlsHaveTheirKindCaptionAndInitialState_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    const struct {
        const char* name;
        const char* kind;
        const char* caption;
        bool enabled;
    } table[] = {
        {"btConnect", "QPushButton", "Connect", true},
        {"btStopMirror", "QPushButton", "Stop Mirror", false},
        {"btClose", "QPushButton", "Close", true},
        {"lbMirrorAdvice", "QLabel", "Try to stop the mirroring during time-consuming operations.",
         true},
        {"pDisplayMirror", "QFrame", "", true},
        {"lbDisplayMirror", "QLabel", "", true},
        {"gbFlashSelect", "QGroupBox", "Flash Select", true},
        {"rbMain", "QRadioButton", "Main", false},
        {"rbBoot", "QRadioButton", "Boot", false},
        {"Label4", "QLabel", "Sector", true},
        {"cbSector", "QComboBox", "0", false},
        {"lbOffset", "QLabel", "Offset", true},
        {"edOffset", "QLineEdit", "8000", false},
        {"lbCount", "QLabel", "Count", true},
        {"edCount", "QLineEdit", "10", false},
        {"lbData", "QLabel", "Data", true},
        {"edData", "QLineEdit", "", false},
        {"btTest", "QPushButton", "Run test", false},
        {"btAbout", "QPushButton", "About program", true},
        {"btRead", "QPushButton", "Read", false},
        {"btWrite", "QPushButton", "Write", false},
        {"btErase", "QPushButton", "Erase", false},
        {"btBlankCheck", "QPushButton", "Blank Check", false},
        {"btUpload", "QPushButton", "Upload", false},
        {"btProgram", "QPushButton", "Program", false},
        {"btVerify", "QPushButton", "Verify", false},
        {"btReset", "QPushButton", "Reset", false},
    };
    for (const auto& row : table) {
        QTest::newRow(row.name) << row.name << row.kind << row.caption << row.enabled;
    }
}

QString captionOf(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text();
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        return group->title();
    }
    if (auto* list = qobject_cast<QComboBox*>(widget)) {
        return list->currentText();
    }
    return QString();
}

void MainFormLayoutTest::controlsHaveTheirKindCaptionAndInitialState() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    MainFormRig rig;
    rig.form.show();
    auto* widget = rig.control<QWidget>(name.toLatin1().constData());
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), kind);
    QCOMPARE(captionOf(widget), caption);
    QCOMPARE(widget->isEnabled(), enabled);
    QVERIFY(widget->isVisible());
}

void MainFormLayoutTest::sectorListHoldsZeroToSevenWithZeroSelected() {
    MainFormRig rig;
    QStringList items;
    for (int i = 0; i < rig.sectorList()->count(); ++i) {
        items << rig.sectorList()->itemText(i);
    }
    QCOMPARE(items, QStringList({"0", "1", "2", "3", "4", "5", "6", "7"}));
    QCOMPARE(rig.sectorList()->currentIndex(), 0);
    QVERIFY(!rig.sectorList()->isEditable());
    QVERIFY(rig.control<QRadioButton>("rbMain")->isChecked());
    QVERIFY(!rig.control<QRadioButton>("rbBoot")->isChecked());
}

void MainFormLayoutTest::statusBarHasOnePanelReadingNotConnected() {
    MainFormRig rig;
    auto* statusBar = rig.control<QStatusBar>("sbStatus");
    const auto panels = statusBar->findChildren<QLabel*>();
    QCOMPARE(panels.size(), 1);
    QCOMPARE(panels.first()->text(), QStringLiteral("Not connected to the board..."));
    QCOMPARE(rig.status(), QStringLiteral("Not connected to the board..."));
}

void MainFormLayoutTest::windowIsFixedWithoutMaximiseBox() {
    MainFormRig rig;
    rig.form.show();
    QCOMPARE(rig.form.size(), QSize(415, 258));
    QCOMPARE(rig.form.minimumSize(), QSize(415, 258));
    QCOMPARE(rig.form.maximumSize(), QSize(415, 258));
    const Qt::WindowFlags flags = rig.form.windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QCOMPARE(rig.form.windowTitle(), QStringLiteral("Loadstar"));
}

void MainFormLayoutTest::everyControlLiesInsideTheWindow() {
    MainFormRig rig;
    rig.form.show();
    const QRect client = rig.form.rect();
    for (QWidget* widget : rig.form.findChildren<QWidget*>()) {
        if (widget->objectName().isEmpty() || !widget->isVisible()) {
            continue;
        }
        const QRect area(widget->mapTo(&rig.form, QPoint(0, 0)), widget->size());
        QVERIFY2(client.contains(area), qPrintable(widget->objectName()));
        QVERIFY2(widget->parentWidget()->rect().contains(widget->geometry()),
                 qPrintable(widget->objectName()));
    }
    // Controls of one parent do not overlap.
    const auto siblings = rig.form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* a : siblings) {
        for (QWidget* b : siblings) {
            if (a != b && !a->objectName().isEmpty() && !b->objectName().isEmpty()) {
                QVERIFY2(!a->geometry().intersects(b->geometry()),
                         qPrintable(a->objectName() + " / " + b->objectName()));
            }
        }
    }
}

// The width a caption needs: its text and the style's margins and frame.
int neededWidth(QAbstractButton* button, const QString& text) {
    QStyleOptionButton option;
    option.initFrom(button);
    const int margin =
        button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button) +
        2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
    int indicator = 0;
    if (qobject_cast<QRadioButton*>(button) != nullptr) {
        indicator =
            button->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, &option, button) +
            button->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, button);
    }
    return button->fontMetrics().horizontalAdvance(text) + margin + indicator;
}

void MainFormLayoutTest::everyCaptionFitsItsControl() {
    MainFormRig rig;
    rig.form.show();
    for (QAbstractButton* button : rig.form.findChildren<QAbstractButton*>()) {
        QVERIFY2(neededWidth(button, button->text()) <= button->width(),
                 qPrintable(button->objectName()));
        QVERIFY2(button->fontMetrics().height() <= button->height(),
                 qPrintable(button->objectName()));
    }
    // The captions the toggles take later fit as well.
    QVERIFY(neededWidth(rig.button("btConnect"), "Disconnect") <= rig.button("btConnect")->width());
    QVERIFY(neededWidth(rig.button("btStopMirror"), "Start Mirror") <=
            rig.button("btStopMirror")->width());
    for (QLabel* label : rig.form.findChildren<QLabel*>()) {
        if (label->objectName() == "lbDisplayMirror" || label->objectName() == "sbStatusPanel") {
            continue;
        }
        const QRect needed = label->fontMetrics().boundingRect(
            label->contentsRect(), Qt::TextWordWrap | Qt::AlignLeft, label->text());
        QVERIFY2(needed.width() <= label->contentsRect().width(), qPrintable(label->objectName()));
        QVERIFY2(needed.height() <= label->contentsRect().height(),
                 qPrintable(label->objectName()));
    }
    auto* group = rig.control<QGroupBox>("gbFlashSelect");
    QVERIFY(group->fontMetrics().horizontalAdvance(group->title()) < group->width());
    // The longest status texts of the window fit the status line.
    auto* panel = rig.control<QLabel>("sbStatusPanel");
    for (const char* text :
         {"Connection to the board has been closed.", "Error while programming of the sector.",
          "Program Sector done. Time consumed is 123456 ms."}) {
        QVERIFY2(panel->fontMetrics().horizontalAdvance(QString::fromLatin1(text)) <
                     rig.form.width() - 8,
                 text);
    }
}

void MainFormLayoutTest::mirrorLabelShowsTwoLinesOfTheBoardDisplay() {
    MainFormRig rig;
    auto* label = rig.control<QLabel>("lbDisplayMirror");
    QCOMPARE(label->size(), QSize(217, 41));
    QVERIFY(label->font().bold());
    QVERIFY(label->font().fixedPitch() || QFontInfo(label->font()).fixedPitch());
    QVERIFY(!label->wordWrap());
    QVERIFY(2 * label->fontMetrics().height() <= label->height());
    // 17 characters ("mirroring stopped") fit one line.
    QVERIFY(label->fontMetrics().horizontalAdvance(QStringLiteral("mirroring stopped")) <=
            label->width());
    QCOMPARE(label->parentWidget()->objectName(), QStringLiteral("pDisplayMirror"));
    auto* panel = rig.control<QFrame>("pDisplayMirror");
    QCOMPARE(panel->frameShadow(), QFrame::Sunken);
}

void MainFormLayoutTest::tabOrderRunsFromConnectToRunTest() {
    MainFormRig rig;
    const QStringList expected = {
        "btConnect", "btStopMirror", "btClose", "edOffset", "edCount", "edData",       "rbMain",
        "rbBoot",    "cbSector",     "btRead",  "btWrite",  "btErase", "btBlankCheck", "btUpload",
        "btProgram", "btVerify",     "btReset", "btAbout",  "btTest"};
    QStringList order;
    QWidget* widget = rig.button("btConnect");
    do {
        if (expected.contains(widget->objectName())) {
            order << widget->objectName();
        }
        widget = widget->nextInFocusChain();
    } while (widget != rig.button("btConnect") && order.size() < expected.size());
    QCOMPARE(order, expected);
}

void MainFormLayoutTest::mirrorTimerTicksEvery250msAndIsStopped() {
    MainFormRig rig;
    auto* timer = rig.form.findChild<QTimer*>(QStringLiteral("mirrorTimer"));
    QVERIFY(timer != nullptr);
    QCOMPARE(timer->interval(), 250);
    QVERIFY(!timer->isSingleShot());
    QVERIFY(!timer->isActive());
}

void MainFormLayoutTest::openDialogOffersHexBinAndAllFilesWithHexDefault() {
    MainFormRig rig;
    rig.connect();
    rig.click("btProgram");
    QCOMPARE(rig.dialogs.openDialogs.size(), std::size_t{1});
    const auto& dialog = rig.dialogs.openDialogs.front();
    QCOMPARE(dialog.defaultExtension, std::string("hex"));
    QCOMPARE(dialog.filters, (std::vector<std::string>{"IntelHEX format (*.hex)",
                                                       "Binary file (*.bin)", "All Files (*)"}));
}

void MainFormLayoutTest::saveDialogProposesFlashHexWithThreeFilters() {
    MainFormRig rig;
    rig.connect();
    rig.selectBoot();
    rig.click("btUpload");
    QCOMPARE(rig.dialogs.saveDialogs.size(), std::size_t{1});
    const auto& dialog = rig.dialogs.saveDialogs.front();
    QCOMPARE(dialog.defaultExtension, std::string("hex"));
    // Upload replaces the initial "flash.hex" with its own proposal.
    QCOMPARE(dialog.fileName, std::string("KEL520_seg(CSBOOT0)"));
    QCOMPARE(dialog.filters,
             (std::vector<std::string>{"IntelHEX file (*.hex)", "Binary file (*.bin)",
                                       "Memory dump in text file (*.txt)"}));
}

void MainFormLayoutTest::aboutBoxNamesProgramAndVersionWithoutIcon() {
    MainFormRig rig;
    rig.click("btAbout");
    QCOMPARE(rig.dialogs.messages.size(), std::size_t{1});
    const auto& box = rig.dialogs.messages.front();
    QCOMPARE(box.caption, std::string("About the program"));
    QVERIFY(box.text.find("Loadstar") != std::string::npos);
    QVERIFY(box.text.find("v.1.1.2") != std::string::npos);
    QCOMPARE(box.icon, loadstar::MessageIcon::none);
}

QTEST_MAIN(MainFormLayoutTest)
#include "MainFormLayoutTest.moc"
