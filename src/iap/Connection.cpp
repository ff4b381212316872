#include "iap/Connection.h"

namespace loadstar {

ConnectResult connectBoard(BoardCommands& board) {
    SerialLink& link = board.link();
    if (link.isPortOpen() != 0) {
        return ConnectResult::alreadyOpen;
    }
    if (link.openPort() != 1) {
        return ConnectResult::notOpened;
    }
    if (board.identifyBoard().ok()) {
        return ConnectResult::connected;
    }
    link.closePort();
    return ConnectResult::notIdentified;
}

}  // namespace loadstar
