#pragma once

#include <functional>
#include "iap/BoardCommands.h"
#include "iap/RandomReadTest.h"

class TtestForm;

// Everything the random read test run touches, gathered by the main window's btTestClick.
struct RandomReadTestContext {
    TtestForm& testForm;
    loadstar::BoardCommands& board;
    // The run's event pump at the top of every cycle: repaints the main window, then lets every
    // pending event run.
    std::function<void()> processPendingEvents;
    // The generator and the runs in progress; owned by the main window for the life of the
    // program, so that a second run continues the sequence.
    loadstar::RandomReadTest& randomReadTest;
};

// The whole body of btTestClick: the start steps, the cycles until the stop-test flag is found
// set, the summary. Returns after the summary; when a run is in progress already (this call comes
// from its event pump), returns after the new run's start steps and the run in progress carries
// the new one on (see RandomReadTest::run).
void runRandomReadTest(RandomReadTestContext& context);
