#include "ui/RandomReadTestRun.h"

#include <QString>

#include "ui/TtestForm.h"
#include "words/RandomReadTestWords.h"

namespace {

QString fromText(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

}  // namespace

void runRandomReadTest(RandomReadTestContext& context) {
    TtestForm& form = context.testForm;

    loadstar::RandomReadTestHooks hooks;
    // The main window owns the mirror and decides; the run only asks.
    hooks.stopMirror = [&form] { form.requestMirrorStop(); };
    hooks.clearLog = [&form] { form.clearLog(); };
    hooks.showDescription = [&form] {
        form.setDescription(
            QStringLiteral("This test reads blocks of\ndata, of variable size,\nfrom randomly "
                           "choosen \nFlash sector and offset."));
    };
    hooks.setButtonsForRun = [&form] { form.setButtonsForRun(); };
    hooks.showWindow = [&form] { form.showTestWindow(); };
    loadstar::wordRandomReadLog(
        hooks, [&form](const std::string& line) { form.appendLogLine(fromText(line)); },
        [&form](const std::string& text) { form.setStatistics(fromText(text)); });
    hooks.processPendingEvents = context.processPendingEvents;

    hooks.setRunning = [&form](bool running) { form.setTestRunning(running); };

    context.randomReadTest.run(context.board, hooks, form.stopTest());
}
