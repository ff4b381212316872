#pragma once

#include "iap/BoardCommands.h"

namespace loadstar {

// How a connect ended.
enum class ConnectResult {
    alreadyOpen,    // the port was open already; nothing was sent
    connected,      // a KELX20 board answered
    notOpened,      // the port could not be opened (the link has reported why)
    notIdentified,  // no KEL520/KEL620 answered; the port is closed again
};

// Opens the port and checks the board's identification, as Connect does.
ConnectResult connectBoard(BoardCommands& board);

}  // namespace loadstar
