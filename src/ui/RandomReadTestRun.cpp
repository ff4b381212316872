#include "RandomReadTestRun.h"

#include <QAbstractButton>
#include <QString>

#include "TtestForm.h"

namespace {

QString fromText(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

}  // namespace

void runRandomReadTest(RandomReadTestContext& context) {
    TtestForm& form = context.testForm;
    QAbstractButton& btStopMirror = context.btStopMirror;
    loadstar::UserInterface& ui = context.ui;

    loadstar::RandomReadTestHooks hooks;
    hooks.stopMirror = [&btStopMirror] {
        // Exactly this caption, case included; the mirror's handler does the stopping.
        if (btStopMirror.text() == QStringLiteral("Stop Mirror")) {
            btStopMirror.click();
        }
    };
    hooks.clearLog = [&form] { form.clearLog(); };
    hooks.appendLogLine = [&form](const std::string& line) { form.appendLogLine(fromText(line)); };
    hooks.setDescription = [&form](const std::string& text) {
        form.setDescription(fromText(text));
    };
    hooks.setButtonsForRun = [&form] { form.setButtonsForRun(); };
    hooks.showWindow = [&form] { form.showTestWindow(); };
    hooks.setStatistics = [&form](const std::string& text) { form.setStatistics(fromText(text)); };
    hooks.processPendingEvents = [&ui] { ui.processPendingEvents(); };

    context.randomReadTest.run(context.board, hooks);
}
