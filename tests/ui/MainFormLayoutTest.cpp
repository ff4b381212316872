// The main window as it opens: its captions and states, tab order and dialogs, and that every
// caption fits its control at 415 x 258.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QtTest>

#include "MainFormRig.h"

using loadstar::testing::MainFormRig;

class MainFormLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void controlsFollowInTabOrderWithTheirCaptionAndState();
    void everyCaptionFitsItsControlInsideTheWindow();
    void dialogsAndAboutBoxHaveTheirTexts();
};

void MainFormLayoutTest::controlsFollowInTabOrderWithTheirCaptionAndState() {
    MainFormRig rig;
    const QStringList expected = {"btConnect Connect on",
                                  "btStopMirror Stop Mirror off",
                                  "btClose Close on",
                                  "edOffset 8000 off",
                                  "edCount 10 off",
                                  "edData  off",
                                  "rbMain Main off",
                                  "rbBoot Boot off",
                                  "cbSector 0 off",
                                  "btRead Read off",
                                  "btWrite Write off",
                                  "btErase Erase off",
                                  "btBlankCheck Blank Check off",
                                  "btUpload Upload off",
                                  "btProgram Program off",
                                  "btVerify Verify off",
                                  "btReset Reset off",
                                  "btAbout About program on",
                                  "btTest Run test off"};
    QStringList order;
    QWidget* widget = rig.button("btConnect");
    do {
        QString text;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            text = button->text();
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            text = edit->text();
        } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
            text = list->currentText();
        } else {
            continue;
        }
        order << widget->objectName() + " " + text + (widget->isEnabled() ? " on" : " off");
    } while ((widget = widget->nextInFocusChain()) != rig.button("btConnect") &&
             order.size() < expected.size());
    QCOMPARE(order, expected);
    QVERIFY(rig.control<QRadioButton>("rbMain")->isChecked());
    QCOMPARE(rig.sectorList()->count(), 8);
    QCOMPARE(rig.control<QLabel>("lbMirrorAdvice")->text(),
             QStringLiteral("Try to stop the mirroring during time-consuming operations."));
    QCOMPARE(rig.status(), QStringLiteral("Not connected to the board..."));
    QCOMPARE(rig.form.windowTitle(), QStringLiteral("Loadstar"));
    QVERIFY(!(rig.form.windowFlags() & Qt::WindowMaximizeButtonHint));
}

// The width a button's caption needs: its text, the style's margins and frame, a radio's circle.
int neededWidth(QAbstractButton* button, const QString& text) {
    QStyleOptionButton option;
    option.initFrom(button);
    const QStyle* style = button->style();
    int width = button->fontMetrics().horizontalAdvance(text) +
                style->pixelMetric(QStyle::PM_ButtonMargin, &option, button) +
                2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
    if (qobject_cast<QRadioButton*>(button) != nullptr) {
        width += style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, &option, button) +
                 style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, button);
    }
    return width;
}

void MainFormLayoutTest::everyCaptionFitsItsControlInsideTheWindow() {
    MainFormRig rig;
    rig.form.show();
    QCOMPARE(rig.form.size(), QSize(415, 258));
    QCOMPARE(rig.form.maximumSize(), QSize(415, 258));
    for (QWidget* widget : rig.form.findChildren<QWidget*>()) {
        if (!widget->objectName().isEmpty() && widget->isVisible()) {
            const QRect area(widget->mapTo(&rig.form, QPoint(0, 0)), widget->size());
            QVERIFY2(rig.form.rect().contains(area), qPrintable(widget->objectName()));
        }
    }
    for (QAbstractButton* button : rig.form.findChildren<QAbstractButton*>()) {
        QVERIFY2(neededWidth(button, button->text()) <= button->width(),
                 qPrintable(button->objectName()));
    }
    // The captions the toggles take later fit as well.
    QVERIFY(neededWidth(rig.button("btConnect"), "Disconnect") <= rig.button("btConnect")->width());
    QVERIFY(neededWidth(rig.button("btStopMirror"), "Start Mirror") <=
            rig.button("btStopMirror")->width());
    for (QLabel* label : rig.form.findChildren<QLabel*>()) {
        const QRect needed = label->fontMetrics().boundingRect(
            label->contentsRect(), Qt::TextWordWrap | Qt::AlignLeft, label->text());
        QVERIFY2(needed.width() <= label->contentsRect().width(), qPrintable(label->objectName()));
        QVERIFY2(needed.height() <= label->contentsRect().height(),
                 qPrintable(label->objectName()));
    }
    // The mirror shows the board's two lines; the longest status text fits the status line.
    auto* mirror = rig.control<QLabel>("lbDisplayMirror");
    QVERIFY(2 * mirror->fontMetrics().height() <= mirror->height());
    QVERIFY(mirror->fontMetrics().horizontalAdvance("mirroring stopped") <= mirror->width());
    QVERIFY(rig.control<QLabel>("sbStatusPanel")
                ->fontMetrics()
                .horizontalAdvance("Program Sector done. Time consumed is 123456 ms.") <
            rig.form.width() - 8);
}

void MainFormLayoutTest::dialogsAndAboutBoxHaveTheirTexts() {
    MainFormRig rig;
    rig.click("btAbout");
    QCOMPARE(rig.dialogs.messages.size(), std::size_t{1});
    QCOMPARE(rig.dialogs.messages.front().caption, std::string("About the program"));
    QVERIFY(rig.dialogs.messages.front().text.find("Loadstar") != std::string::npos);
    QVERIFY(rig.dialogs.messages.front().text.find("v.1.1.2") != std::string::npos);
    QCOMPARE(rig.dialogs.messages.front().icon, loadstar::MessageIcon::none);
    rig.connect();
    rig.click("btProgram");
    QCOMPARE(rig.dialogs.openDialogs.at(0).defaultExtension, std::string("hex"));
    QCOMPARE(rig.dialogs.openDialogs.at(0).filters,
             (std::vector<std::string>{"IntelHEX format (*.hex)", "Binary file (*.bin)",
                                       "All Files (*)"}));
    rig.click("rbBoot");
    rig.click("btUpload");
    // Upload replaces the initial "flash.hex" with its own proposal.
    QCOMPARE(rig.dialogs.saveDialogs.at(0).fileName, std::string("KEL520_seg(CSBOOT0)"));
    QCOMPARE(rig.dialogs.saveDialogs.at(0).defaultExtension, std::string("hex"));
    QCOMPARE(rig.dialogs.saveDialogs.at(0).filters,
             (std::vector<std::string>{"IntelHEX file (*.hex)", "Binary file (*.bin)",
                                       "Memory dump in text file (*.txt)"}));
}

QTEST_MAIN(MainFormLayoutTest)
#include "MainFormLayoutTest.moc"
