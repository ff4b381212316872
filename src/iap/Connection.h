#pragma once

#include "BoardCommands.h"

namespace loadstar {

inline constexpr char connectionFailedMessage[] =
    "Failed to open connection to Merova demo board.\n\nPlease check if the RS232 link cable is "
    "attached properly,\nand if the demo board is powered on.";

// Opens the port and checks the board's identification, as Connect does.
// 2: the port was open already, nothing sent; 1: a KELX20 board answered; 0: refused (the port
// could not be opened, or the board did not identify itself: the message was shown and the port
// is closed again).
int connectBoard(BoardCommands& board);

}  // namespace loadstar
