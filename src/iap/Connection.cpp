#include "Connection.h"

namespace loadstar {

int connectBoard(BoardCommands& board) {
    SerialLink& link = board.link();
    if (link.isPortOpen() != 0) {
        return 2;
    }
    if (link.openPort() != 1) {
        return 0;
    }
    if (board.identifyBoard()) {
        return 1;
    }
    showError(board.ui(), connectionFailedMessage);
    link.closePort();
    return 0;
}

}  // namespace loadstar
