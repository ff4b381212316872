// The test log window on its own: layout, buttons, keys, closing and Save Log.

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "CalendarTime.h"
#include "ProcessFlags.h"
#include "TtestForm.h"

using loadstar::processFlags;
using loadstar::testing::localTime;

class TtestFormTest : public QObject {
    Q_OBJECT

  private:
    TtestForm* form = nullptr;
    QStringList proposedNames;
    QString saveAnswer;
    QStringList errors;

    template <typename Widget>
    Widget* control(const char* name) {
        auto* widget = form->findChild<Widget*>(QString::fromLatin1(name));
        if (widget == nullptr) {
            qFatal("no control %s", name);
        }
        return widget;
    }

    QByteArray readFile(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return "<missing>";
        }
        return file.readAll();
    }

  private slots:
    void init() {
        processFlags() = loadstar::ProcessFlags{};
        form = new TtestForm;
        proposedNames.clear();
        errors.clear();
        saveAnswer.clear();
        form->setSaveFileChooser([this](const QString& proposed) {
            proposedNames << proposed;
            return saveAnswer;
        });
        form->setErrorReporter([this](const QString& message) { errors << message; });
    }

    void cleanup() {
        delete form;
        form = nullptr;
        processFlags() = loadstar::ProcessFlags{};
    }

    void windowHasItsCaptionSizeAndBorder() {
        QCOMPARE(form->windowTitle(), QStringLiteral("Flash Random Read Test"));
        QCOMPARE(form->size(), QSize(507, 296));
        QCOMPARE(form->minimumSize(), QSize(507, 296));
        QCOMPARE(form->maximumSize(), QSize(507, 296));
        const Qt::WindowFlags flags = form->windowFlags();
        QVERIFY(flags.testFlag(Qt::Window));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!form->isVisible());  // created hidden
        QVERIFY(!form->testAttribute(Qt::WA_QuitOnClose));
    }

    void controlsStandWhereTheLayoutSays_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("btEndTest") << "btEndTest" << QRect(432, 264, 65, 25) << "End Test";
        QTest::newRow("btStartAgain") << "btStartAgain" << QRect(360, 232, 65, 25) << "Start again";
        QTest::newRow("btSaveLog") << "btSaveLog" << QRect(360, 264, 65, 25) << "Save Log";
        QTest::newRow("lbStat") << "lbStat" << QRect(360, 120, 60, 17) << "Statistics:";
        QTest::newRow("lbDesc") << "lbDesc" << QRect(360, 16, 72, 17) << "Description:";
    }

    void controlsStandWhereTheLayoutSays() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        auto* widget = form->findChild<QWidget*>(name);
        QVERIFY(widget != nullptr);
        QCOMPARE(widget->geometry(), geometry);
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            QCOMPARE(button->text(), text);
            QVERIFY(button->isEnabled());  // both buttons enabled at program start
        } else {
            auto* label = qobject_cast<QLabel*>(widget);
            QVERIFY(label != nullptr);
            QCOMPARE(label->text(), text);
            QVERIFY(label->font().bold());
        }
    }

    void logIsAnEditableWrappingMemo() {
        auto* memo = control<QPlainTextEdit>("logMemo");
        QCOMPARE(memo->geometry(), QRect(8, 9, 337, 280));
        QVERIFY(!memo->isReadOnly());
        QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        form->appendLogLine("first");
        form->appendLogLine("");
        form->appendLogLine("third");
        QCOMPARE(form->logLines(), QStringList({"first", "", "third"}));
        form->clearLog();
        QCOMPARE(form->logLines(), QStringList());
    }

    void labelsGrowToFitTheirText() {
        form->setDescription("This test reads blocks of\ndata, of variable size,");
        auto* description = control<QLabel>("lbDescription");
        QCOMPARE(description->pos(), QPoint(360, 32));
        QVERIFY(description->height() > 13);
        form->setStatistics("Total cycles: 123456\nSelectFlash failed: 0 times\n");
        auto* statistics = control<QLabel>("lbStatistics");
        QCOMPARE(statistics->pos(), QPoint(360, 136));
        QVERIFY(statistics->width() > 50);
        QCOMPARE(form->statisticsText(),
                 QStringLiteral("Total cycles: 123456\nSelectFlash failed: 0 times\n"));
    }

    void endTestStopsAndSwapsTheButtons() {
        form->setButtonsForRun();
        QVERIFY(form->isEndTestEnabled());
        QVERIFY(!form->isStartAgainEnabled());
        QTest::mouseClick(control<QPushButton>("btEndTest"), Qt::LeftButton);
        QVERIFY(processFlags().stopTest);
        QVERIFY(!form->isEndTestEnabled());
        QVERIFY(form->isStartAgainEnabled());
    }

    void startAgainClicksRunTest() {
        QPushButton btTest("Run test");
        int clicks = 0;
        connect(&btTest, &QPushButton::clicked, this, [&clicks] { ++clicks; });
        QTest::mouseClick(control<QPushButton>("btStartAgain"), Qt::LeftButton);
        QCOMPARE(clicks, 0);  // no "Run test" wired yet
        form->setRunTestButton(&btTest);
        QTest::mouseClick(control<QPushButton>("btStartAgain"), Qt::LeftButton);
        QCOMPARE(clicks, 1);
        btTest.setEnabled(false);  // disconnected: Run test takes no click
        QTest::mouseClick(control<QPushButton>("btStartAgain"), Qt::LeftButton);
        QCOMPARE(clicks, 1);
    }

    void closingHidesAndAsksTheRunToStop() {
        form->showTestWindow();
        QVERIFY(form->isVisible());
        QVERIFY(form->close());
        QVERIFY(!form->isVisible());
        QVERIFY(processFlags().stopTest);
        form->showTestWindow();  // lives on: the next run shows it again
        QVERIFY(form->isVisible());
    }

    void keyWithoutRunHidesTheWindow_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("key");
        QTest::newRow("letter in the log") << "logMemo" << int(Qt::Key_Q);
        QTest::newRow("Escape in the log") << "logMemo" << int(Qt::Key_Escape);
        QTest::newRow("letter on a button") << "btSaveLog" << int(Qt::Key_X);
        QTest::newRow("letter on the window") << "testForm" << int(Qt::Key_A);
    }

    void keyWithoutRunHidesTheWindow() {
        QFETCH(QString, target);
        QFETCH(int, key);
        form->showTestWindow();
        QWidget* widget = target == "testForm" ? form : form->findChild<QWidget*>(target);
        QTest::keyClick(widget, static_cast<Qt::Key>(key));
        QVERIFY(!form->isVisible());
        QVERIFY(processFlags().stopTest);  // through FormClose
        QVERIFY(proposedNames.isEmpty());
    }

    void keyDuringRunStopsItAndLeavesTheWindowOpen_data() { keyWithoutRunHidesTheWindow_data(); }

    void keyDuringRunStopsItAndLeavesTheWindowOpen() {
        QFETCH(QString, target);
        QFETCH(int, key);
        form->showTestWindow();
        form->setButtonsForRun();
        processFlags().testRunning = true;
        QWidget* widget = target == "testForm" ? form : form->findChild<QWidget*>(target);
        QTest::keyClick(widget, static_cast<Qt::Key>(key));
        QVERIFY(form->isVisible());
        QVERIFY(processFlags().stopTest);
        QVERIFY(form->isEndTestEnabled());
        QVERIFY(!form->isStartAgainEnabled());
    }

    void tabKeepsMovingTheFocus() {
        form->showTestWindow();
        processFlags().testRunning = true;
        QTest::keyClick(control<QPushButton>("btEndTest"), Qt::Key_Tab);
        QVERIFY(!processFlags().stopTest);
        QVERIFY(form->isVisible());
    }

    void saveLogWritesEveryLineWithCrLfAndReplacesTheFile() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        saveAnswer = dir.filePath("run.log");
        QFile old(saveAnswer);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older and much longer log that must disappear entirely\r\n");
        old.close();
        form->appendLogLine("The format is: SelectFlash(flash,sector)[OK/failed],");
        form->appendLogLine("");
        form->appendLogLine("Total of 44 bytes read successfully");
        QTest::mouseClick(control<QPushButton>("btSaveLog"), Qt::LeftButton);
        QCOMPARE(errors, QStringList());
        QCOMPARE(readFile(saveAnswer),
                 QByteArray("The format is: SelectFlash(flash,sector)[OK/failed],\r\n\r\n"
                            "Total of 44 bytes read successfully\r\n"));
        // Nothing but the log is left in the folder.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"run.log"}));
    }

    void saveLogKeepsTheUsersEdits() {
        QTemporaryDir dir;
        saveAnswer = dir.filePath("edited.log");
        form->appendLogLine("line one");
        auto* memo = control<QPlainTextEdit>("logMemo");
        memo->moveCursor(QTextCursor::End);
        QTest::keyClicks(memo, " and more");
        QTest::mouseClick(control<QPushButton>("btSaveLog"), Qt::LeftButton);
        QCOMPARE(readFile(saveAnswer), QByteArray("line one and more\r\n"));
    }

    void saveLogCancelledWritesNothing() {
        QTemporaryDir dir;
        form->appendLogLine("x");
        saveAnswer.clear();
        QTest::mouseClick(control<QPushButton>("btSaveLog"), Qt::LeftButton);
        QCOMPARE(proposedNames.size(), 1);
        QCOMPARE(errors, QStringList());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
    }

    void saveLogThatCannotBeWrittenSaysSo_data() {
        QTest::addColumn<QString>("relativePath");
        QTest::newRow("missing folder") << "no/such/folder/run.log";
        QTest::newRow("name is a folder") << "folder";
    }

    void saveLogThatCannotBeWrittenSaysSo() {
        QFETCH(QString, relativePath);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        saveAnswer = dir.filePath(relativePath);
        form->appendLogLine("x");
        form->setButtonsForRun();
        QTest::mouseClick(control<QPushButton>("btSaveLog"), Qt::LeftButton);
        QCOMPARE(errors, QStringList({"Cannot create file " + saveAnswer}));
        QVERIFY(!QFileInfo(saveAnswer).isFile());
        QVERIFY(!processFlags().stopTest);  // a run in progress goes on
        QVERIFY(form->isEndTestEnabled());
    }

    void saveLogProposesTheDateAndTime() {
        auto now = localTime(6, 12, 2026, 8, 5, 9);
        form->setClock([&now] { return now; });
        QTest::mouseClick(control<QPushButton>("btSaveLog"), Qt::LeftButton);
        now += std::chrono::milliseconds(900);  // the same second
        QTest::mouseClick(control<QPushButton>("btSaveLog"), Qt::LeftButton);
        now = localTime(17, 1, 2027, 19, 45, 0);
        QTest::mouseClick(control<QPushButton>("btSaveLog"), Qt::LeftButton);
        QCOMPARE(proposedNames,
                 QStringList({"RS232_test_6-Dec-2026_08-05-09", "RS232_test_6-Dec-2026_08-05-09",
                              "RS232_test_17-Jan-2027_19-45-00"}));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TtestFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TtestFormTest.moc"
