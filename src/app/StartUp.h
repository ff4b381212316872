#pragma once

#include <optional>

#include "ui/UserDialogs.h"

namespace loadstar {

// The name of the instance lock that tells a second copy of the program that one runs.
inline constexpr char instanceLockName[] = "RS232_KEL520_Demo";

// The question a copy asks when another one runs already: "Duplicate instance", Yes and No.
// Nothing when this copy may go on (none runs, or the user said Yes); else its exit code, 1.
std::optional<int> askAboutRunningCopy(bool anotherInstanceRuns, UserDialogs& dialogs);

// The whole program: its options (--port, --help, --version; see LoadstarOptions.h), the display
// check (exit code 2 without one), the instance lock and the "Duplicate instance" question (exit
// code 1 on No), then the windows and the event loop until the main window is closed (exit code
// 0, also after an exception was shown in the exception box).
int runLoadstar(int argc, char** argv);

}  // namespace loadstar
