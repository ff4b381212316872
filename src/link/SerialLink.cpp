#include "link/SerialLink.h"

#include <cstring>

#include "link/ComPortName.h"
#include "link/PacketExchange.h"

namespace loadstar {

SerialLink::SerialLink(ErrorReporter reportError, PortFactory makePort)
    : reportError_(std::move(reportError)), makePort_(std::move(makePort)) {}

int SerialLink::openPort() {
    if (portOpen_ != 0) {
        return -1;
    }
    portName_ = "COM1";
    baudRate_ = lineSpeed;
    // The previous port object, closed already, is released here.
    port_ = makePort_();
    resetLineState();
    const std::string device = devicePath_.empty() ? resolveComPort() : devicePath_;
    if (serialOpen(*port_, device.c_str(), queueSize, queueSize, baudRate_) == 1) {
        portOpen_ = 1;
        lastOpenFault_ = {};
        return 1;
    }
    lastOpenFault_ = port_->lastFault();
    portOpen_ = 0;
    if (reportError_) {
        reportError_();
    }
    return 0;
}

void SerialLink::resetLineState() {
    line_ = LineState{};
    line_.clock = clock_;
    line_.stopRequested = stopRequested_;
    line_.note = note_;
}

void SerialLink::setClock(LinkClock& clock) {
    clock_ = &clock;
    line_.clock = clock_;
}

void SerialLink::setStopRequest(std::function<bool()> stopRequested) {
    stopRequested_ = std::move(stopRequested);
    line_.stopRequested = stopRequested_;
}

void SerialLink::setKnowledgeNotes(ReplyKnowledge::Note note) {
    note_ = std::move(note);
    line_.note = note_;
}

int SerialLink::closePort() {
    if (portOpen_ != 0) {
        portOpen_ = 0;
        (void)serialClose(*port_);
    }
    return 1;
}

int SerialLink::exchangePacket(const std::uint8_t* payload, int payloadLength,
                               std::uint8_t* replyBuffer, int replyMax, int* replyLength,
                               int maxRetries) {
    return loadstar::exchangePacket(port_.get(), payload, payloadLength, replyBuffer, replyMax,
                                    replyLength, maxRetries, &line_);
}

int SerialLink::exchangePacket(const char* payloadText, std::uint8_t* replyBuffer, int replyMax,
                               int* replyLength, int maxRetries) {
    return exchangePacket(reinterpret_cast<const std::uint8_t*>(payloadText), 0, replyBuffer,
                          replyMax, replyLength, maxRetries);
}

}  // namespace loadstar
