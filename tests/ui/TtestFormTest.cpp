// The test log window on its own: its frame, buttons, keys, closing and Save Log.

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "CalendarTime.h"
#include "ProcessFlags.h"
#include "TtestForm.h"

using loadstar::processFlags;

class TtestFormTest : public QObject {
    Q_OBJECT

  private:
    TtestForm* form = nullptr;
    QStringList proposedNames;
    QString saveAnswer;
    QStringList errors;
    QTemporaryDir dir;

    void click(const char* name) {
        QTest::mouseClick(form->findChild<QPushButton*>(name), Qt::LeftButton);
    }
    static QByteArray contentsOf(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : "<missing>";
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
        processFlags() = loadstar::ProcessFlags{};
    }

    void windowHasItsCaptionSizeAndBorder() {
        QCOMPARE(form->windowTitle(), QStringLiteral("Flash Random Read Test"));
        QCOMPARE(form->size(), QSize(507, 296));
        QCOMPARE(form->maximumSize(), QSize(507, 296));
        QVERIFY(!form->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!form->isVisible());
        QVERIFY(form->isEndTestEnabled());
        QVERIFY(form->isStartAgainEnabled());
    }

    void endTestStopsAndSwapsTheButtons() {
        form->setButtonsForRun();
        QVERIFY(!form->isStartAgainEnabled());
        click("btEndTest");
        QVERIFY(processFlags().stopTest);
        QVERIFY(!form->isEndTestEnabled());
        QVERIFY(form->isStartAgainEnabled());
    }

    void startAgainClicksAnEnabledRunTest() {
        QPushButton btTest("Run test");
        int clicks = 0;
        connect(&btTest, &QPushButton::clicked, this, [&clicks] { ++clicks; });
        form->setRunTestButton(&btTest);
        click("btStartAgain");
        QCOMPARE(clicks, 1);
        btTest.setEnabled(false);  // disconnected: Run test takes no click
        click("btStartAgain");
        QCOMPARE(clicks, 1);
    }

    void closingHidesAndAsksTheRunToStop() {
        form->showTestWindow();
        QVERIFY(form->close());
        QVERIFY(!form->isVisible());
        QVERIFY(processFlags().stopTest);
        form->showTestWindow();  // lives on: the next run shows it again
        QVERIFY(form->isVisible());
    }

    void keyHidesTheWindowOrStopsTheRun_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("stays");
        QTest::addColumn<bool>("stops");
        QTest::newRow("letter in the log, no run")
            << "logMemo" << int(Qt::Key_Q) << false << false << true;
        QTest::newRow("Escape on a button, no run")
            << "btSaveLog" << int(Qt::Key_Escape) << false << false << true;
        QTest::newRow("letter in the log, run")
            << "logMemo" << int(Qt::Key_Q) << true << true << true;
        QTest::newRow("Escape on the window, run")
            << "" << int(Qt::Key_Escape) << true << true << true;
        QTest::newRow("Tab, run") << "btEndTest" << int(Qt::Key_Tab) << true << true << false;
    }

    void keyHidesTheWindowOrStopsTheRun() {
        QFETCH(QString, target);
        QFETCH(int, key);
        QFETCH(bool, running);
        QFETCH(bool, stays);
        QFETCH(bool, stops);
        form->showTestWindow();
        form->setButtonsForRun();
        processFlags().testRunning = running;
        QWidget* widget = target.isEmpty() ? form : form->findChild<QWidget*>(target);
        QTest::keyClick(widget, static_cast<Qt::Key>(key));
        QCOMPARE(form->isVisible(), stays);
        QCOMPARE(processFlags().stopTest, stops);
        QVERIFY(form->isEndTestEnabled());  // a key leaves the buttons as they are
    }

    void saveLogWritesTheLinesAsTheyStandWithCrLfAndReplacesTheFile() {
        form->appendLogLine("The format is: SelectFlash(flash,sector)[OK/failed],");
        form->appendLogLine("");
        form->appendLogLine("Total of 44");
        click("btSaveLog");  // dismissed: nothing written
        QCOMPARE(proposedNames.size(), 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());

        saveAnswer = dir.filePath("run.log");
        QFile old(saveAnswer);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older and much longer log that must disappear entirely\r\n");
        old.close();
        auto* memo = form->findChild<QPlainTextEdit*>("logMemo");
        memo->moveCursor(QTextCursor::End);
        QTest::keyClicks(memo, " bytes");  // the user's edit is saved too
        click("btSaveLog");
        QCOMPARE(errors, QStringList());
        QCOMPARE(contentsOf(saveAnswer),
                 QByteArray("The format is: SelectFlash(flash,sector)[OK/failed],\r\n\r\n"
                            "Total of 44 bytes\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"run.log"}));
        QFile::remove(saveAnswer);
    }

    void saveLogThatCannotBeWrittenSaysSo_data() {
        QTest::addColumn<QString>("relativePath");
        QTest::newRow("missing folder") << "no/such/folder/run.log";
        QTest::newRow("name is a folder") << "folder";
    }

    void saveLogThatCannotBeWrittenSaysSo() {
        QFETCH(QString, relativePath);
        QDir(dir.path()).mkdir("folder");
        saveAnswer = dir.filePath(relativePath);
        form->appendLogLine("x");
        form->setButtonsForRun();
        click("btSaveLog");
        QCOMPARE(errors, QStringList({"Cannot create file " + saveAnswer}));
        QVERIFY(!QFileInfo(saveAnswer).isFile());
        QVERIFY(!processFlags().stopTest);  // a run in progress goes on
        QVERIFY(form->isEndTestEnabled());
    }

    void saveLogProposesTheDateAndTime() {
        form->setClock([] { return loadstar::testing::localTime(17, 1, 2027, 19, 45, 0); });
        click("btSaveLog");
        QCOMPARE(proposedNames, QStringList({"RS232_test_17-Jan-2027_19-45-00"}));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TtestFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TtestFormTest.moc"
