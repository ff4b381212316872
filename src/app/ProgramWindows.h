#pragma once

#include <string>

#include "link/SerialLink.h"
#include "ui/TmainForm.h"
#include "ui/TtestForm.h"
#include "ui/UserDialogs.h"

namespace loadstar {

// The program's two windows: the main window, made first so that it is the application's main
// window, and the random read test's log window, hidden until a test shows it.
//
// An accepted close of the main window hides the test window and ends the event loop; the loop
// returns once the handler that was running, if any, has returned, and the windows are destroyed
// only with this object, after the loop has ended.
class ProgramWindows {
  public:
    ProgramWindows(UserDialogs& dialogs, SerialLink::PortFactory makePort,
                   std::string devicePath = {});

    // Shows the main window and brings it to the front.
    void show();

    [[nodiscard]] TmainForm& mainForm() { return mainForm_; }
    [[nodiscard]] TtestForm& testForm() { return testForm_; }

  private:
    TmainForm mainForm_;
    TtestForm testForm_;
};

}  // namespace loadstar
