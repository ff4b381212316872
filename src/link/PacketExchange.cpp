#include "link/PacketExchange.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

namespace loadstar {

namespace {

using Clock = std::chrono::steady_clock;
using Duration = Clock::duration;
using namespace std::chrono_literals;

constexpr int frameBufferSize = 1000;
constexpr int selectionRetries = 10;
constexpr char retryTimeoutText[] = "RETRY Timeout";
// However much keeps coming, the line is let settle no longer than this beyond its time: a device
// that never stops talking cannot hold the caller.
constexpr auto longestSettle = 2000ms;
// Reads that find nothing although the port said input was there: a port in this state is taken
// as failed rather than asked forever.
constexpr int mostEmptyReads = 100;

// Tested in this order; each is compared over its own length, the trailing blank included.
constexpr std::array<const char*, 14> replyTags = {"WFT ", "WFP ", "WRC ", "WRD ", "RRC ",
                                                   "RRD ", "RST ", "BRD ", "MIR ", "PG ",
                                                   "VM ",  "LCD ", "EM ",  "EB "};

// How long a reply of a known length is still listened to after its last expected byte. The board
// sends a reply's bytes back to back, so a byte that belongs to it follows within one character
// time, and a USB adapter passes the reply's last bytes on in one transfer. Four character times
// (2.1 ms at 19200 baud) and a millisecond for the host's wake-up catch a reply that is longer
// than learned, at a cost of about 1.5 % of a READ FLASH exchange; never more than 5 ms.
Duration guardAfterLength(int baud) {
    const auto characters = std::chrono::duration_cast<Duration>(lineTime(4, baud));
    return std::min<Duration>(characters + 1ms, 5ms);
}

struct Reception {
    int count = 0;
    bool portFailed = false;
    bool stopped = false;
    bool endedAtLength = false;
    Clock::time_point firstByte{};
    Clock::time_point lastByte{};
};

// One call of exchangePacket.
class Exchange {
  public:
    Exchange(SerialPort* port, LineState& line, std::span<const std::uint8_t> payload,
             std::span<const std::uint8_t> frame)
        : port_(port),
          line_(line),
          clock_(*line.clock),
          payload_(payload),
          frame_(frame),
          form_(classifyPayload(payload)) {}

    // The accepted reply's length, or nothing when the retries ran out.
    std::optional<int> run(std::uint8_t* received, int replyMax, int maxRetries);

  private:
    [[nodiscard]] bool stopRequested() const {
        return line_.stopRequested && line_.stopRequested();
    }
    void prepareLine();
    bool discardWaitingInput();
    std::optional<Clock::time_point> settle(Clock::time_point until);
    Clock::time_point sendFrame();
    Reception receive(std::uint8_t* received, Clock::time_point windowOpens, bool resent);
    bool sendSelectionAgain();
    void takeAccepted(const Reception& reception, Clock::time_point window, int attempts,
                      bool answeredTwice);
    [[nodiscard]] int lengthBeforeAnotherAnswer(const std::uint8_t* received, int n) const;

    SerialPort* port_;
    LineState& line_;
    LinkClock& clock_;
    std::span<const std::uint8_t> payload_;
    std::span<const std::uint8_t> frame_;
    CommandForm form_;
    Clock::time_point firstWindow_{};
    bool portFailed_ = false;
    // When this exchange's late answer came while the selection was being sent again.
    std::optional<Clock::time_point> lateAnswerAt_;
};

// Reads and drops what the port holds now. False when the port failed. Bounded, so a device that
// never stops talking cannot hold the caller here.
bool Exchange::discardWaitingInput() {
    std::array<std::uint8_t, 256> scratch{};
    for (int round = 0; round < 64; ++round) {
        const int got = serialRead(*port_, scratch.data(), static_cast<int>(scratch.size()));
        if (got < 0) {
            portFailed_ = true;
            return false;
        }
        if (got == 0) {
            return true;
        }
    }
    return true;
}

// Leaves the line quiet until `until`, dropping whatever comes, and as long as bytes keep coming
// (each one followed by a silence limit). Returns when the first dropped byte came, if one did.
// Ends at once on a failed port or a stop request.
std::optional<Clock::time_point> Exchange::settle(Clock::time_point until) {
    std::optional<Clock::time_point> firstArrival;
    const auto hardEnd = std::max(until, clock_.now()) + longestSettle;
    for (auto quietUntil = until;;) {
        const auto now = clock_.now();
        if (now >= quietUntil || now >= hardEnd || portFailed_ || stopRequested()) {
            return firstArrival;
        }
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(std::min(quietUntil, hardEnd) - now);
        const InputWait wait = port_->waitForInput(left);
        if (wait == InputWait::failed) {
            portFailed_ = true;
        } else if (wait == InputWait::timeout && clock_.now() < quietUntil) {
            return firstArrival;  // a port whose waits take no time (an in-process stand-in)
        } else if (wait == InputWait::ready) {
            firstArrival = firstArrival.value_or(clock_.now());
            (void)discardWaitingInput();
            quietUntil = std::max(quietUntil, clock_.now() + line_.knowledge.silenceLimit());
        }
    }
}

// Before the first frame: bytes already waiting can only answer an earlier frame; after an
// exchange that sent its frame more than once, its late answers are waited out first. Whether one
// came tells which copy that exchange's reply answered, and so its answer delay.
void Exchange::prepareLine() {
    if (line_.endedAtLength && port_->waitForInput(0ms) == InputWait::ready) {
        line_.knowledge.noteBytesAfterEnd(*line_.endedAtLength, line_.note);
    }
    line_.endedAtLength.reset();
    const auto lateAnswer = settle(line_.lateAnswersUntil);
    line_.lateAnswersUntil = {};
    if (auto& sample = line_.pendingSample; sample.pending) {
        sample.pending = false;
        line_.knowledge.delays(sample.form)
            .sample(lateAnswer ? sample.sinceFirstCopy : sample.sinceLastCopy);
    }
    (void)discardWaitingInput();
}

// Writes the frame and returns when its reply window opens: once the port has drained it, and
// not before the frame's own line time since the write began. A frame that could not be written
// has no line time: its window opens at once.
Clock::time_point Exchange::sendFrame() {
    const auto writeBegan = clock_.now();
    const int written =
        port_ != nullptr ? serialWrite(*port_, frame_.data(), static_cast<int>(frame_.size())) : -1;
    const auto onWire = written > 0 ? lineTime(written, port_->lineSpeed()) : Duration{};
    return std::max(clock_.now(), writeBegan + onWire);
}

// Takes one reply into `received`: its first byte must come within the first-byte window after
// the window opens; it ends a guard time after its learned length, or at a silence, or when the
// buffer is full (the rest stays in the port).
Reception Exchange::receive(std::uint8_t* received, Clock::time_point windowOpens, bool resent) {
    Reception reception;
    const int expected = line_.knowledge.expectedLength(form_);
    const Duration silence = line_.knowledge.silenceLimit();
    const Duration guard = guardAfterLength(port_->lineSpeed());
    auto deadline = windowOpens + line_.knowledge.firstByteWindow(form_, resent);
    for (int emptyReads = 0; reception.count < replyCapacity;) {
        const auto now = clock_.now();
        if (now >= deadline) {
            break;
        }
        if (stopRequested()) {
            reception.stopped = true;
            break;
        }
        const InputWait wait =
            port_->waitForInput(std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
        if (wait == InputWait::timeout) {
            break;
        }
        if (wait == InputWait::interrupted) {
            continue;  // a signal: the stop request decides, else the wait goes on
        }
        const int got = wait == InputWait::ready ? serialRead(*port_, received + reception.count,
                                                              replyCapacity - reception.count)
                                                 : -1;
        if (got < 0 || (got == 0 && ++emptyReads > mostEmptyReads)) {
            reception.portFailed = true;  // the reply ends with what came
            break;
        }
        if (got == 0) {
            continue;
        }
        const auto arrived = clock_.now();
        reception.firstByte = reception.count == 0 ? arrived : reception.firstByte;
        reception.lastByte = arrived;
        reception.count += got;
        reception.endedAtLength = expected > 0 && reception.count == expected;
        deadline = arrived + (reception.endedAtLength ? guard : silence);
    }
    return reception;
}

// Sends the last acknowledged flash selection again; false when the board did not take it.
bool Exchange::sendSelectionAgain() {
    if (line_.vmPayload.empty() || line_.pagePayload.empty()) {
        return true;  // nothing selected on this connection yet
    }
    const std::vector<std::uint8_t> vm = line_.vmPayload;
    const std::vector<std::uint8_t> page = line_.pagePayload;
    return exchangePacket(port_, vm.data(), static_cast<int>(vm.size()), nullptr, 0, nullptr,
                          selectionRetries, &line_) == 1 &&
           exchangePacket(port_, page.data(), static_cast<int>(page.size()), nullptr, 0, nullptr,
                          selectionRetries, &line_) == 1;
}

// After a resend, the answers to two copies can follow each other so closely that no silence
// parts them: the reply ends where the command's own tag begins again (behind a READ FLASH
// reply's data, which may hold anything).
int Exchange::lengthBeforeAnotherAnswer(const std::uint8_t* received, int n) const {
    const auto tag = form_.ownTag;
    const int tagLength = static_cast<int>(tag.size());
    const int from =
        form_.kind == CommandKind::readFlash ? readReplyHeaderLength + form_.dataCount : 1;
    for (int at = std::max(from, 1); tagLength > 0 && at + tagLength <= n; ++at) {
        if (std::memcmp(received + at, tag.data(), tag.size()) == 0) {
            return at;
        }
    }
    return n;
}

// Learns the answer delay (at once when the frame went out once or two answers came; else once
// the line has settled) and remembers the selection the board has taken.
void Exchange::takeAccepted(const Reception& reception, Clock::time_point window, int attempts,
                            bool answeredTwice) {
    const Duration sinceFirst = reception.firstByte - firstWindow_;
    if (lateAnswerAt_) {
        // learnt already, when the late answer came
    } else if (attempts == 1 || answeredTwice) {
        line_.knowledge.delays(form_).sample(sinceFirst);
    } else {
        line_.pendingSample = {true, form_, sinceFirst, reception.firstByte - window};
    }
    line_.endedAtLength =
        reception.endedAtLength ? std::optional<CommandKind>(form_.kind) : std::nullopt;
    const std::vector<std::uint8_t> payload(payload_.begin(), payload_.end());
    if (form_.kind == CommandKind::setVm) {
        line_.vmPayload = payload;
    } else if (form_.kind == CommandKind::setPage) {
        line_.pagePayload = payload;
    } else if (form_.kind == CommandKind::reset) {
        line_.vmPayload.clear();  // the board is back on its own selection
        line_.pagePayload.clear();
    }
}

std::optional<int> Exchange::run(std::uint8_t* received, int replyMax, int maxRetries) {
    if (port_ != nullptr) {
        prepareLine();
    } else {
        portFailed_ = true;
    }
    int attempts = 0;
    bool anyAnswer = false;
    Clock::time_point window{};
    Duration lateness{};
    std::optional<int> accepted;
    int lastCut = 0;  // the length of the last attempt's reply when it was a cut READ FLASH reply
    for (int failures = 0; !accepted && failures <= maxRetries && !stopRequested(); ++attempts) {
        lastCut = 0;
        if (attempts > 0 && form_.actsOnTheSelection() && !portFailed_) {
            line_.strayReply.seen = false;
            if (!sendSelectionAgain()) {
                break;
            }
            // The answer to an earlier copy that came meanwhile was not taken, but tells how late
            // the board answers.
            const auto& stray = line_.strayReply;
            if (!lateAnswerAt_ && stray.seen && stray.start.rfind(form_.ownTag, 0) == 0 &&
                stray.at > firstWindow_) {
                lateAnswerAt_ = stray.at;
                // Learnt at once, so the copy sent next is waited for as long.
                line_.knowledge.delays(form_).sample(stray.at - firstWindow_);
            }
        }
        window = sendFrame();
        firstWindow_ = attempts == 0 ? window : firstWindow_;
        const Reception reception =
            portFailed_ ? Reception{0, true} : receive(received, window, attempts > 0);
        if (reception.stopped) {
            break;
        }
        if (reception.portFailed) {
            portFailed_ = true;
            clock_.sleepUntil(window + replySilence);  // it takes its time
        }
        int n = reception.count;
        anyAnswer = anyAnswer || n > 0;
        const bool answeredTwice = attempts > 0 && lengthBeforeAnotherAnswer(received, n) < n;
        if (answeredTwice) {
            n = lengthBeforeAnotherAnswer(received, n);  // the rest answers another copy
        }
        if (n == 0) {
            ++failures;
            continue;
        }
        const ReplyVerdict verdict =
            line_.knowledge.judge(form_, {received, static_cast<std::size_t>(n)}, line_.note);
        if (verdict == ReplyVerdict::accepted) {
            accepted = replyMax > 0 ? std::min(n, replyMax) : n;
            received[*accepted] = 0;
            lateness = (lateAnswerAt_ ? *lateAnswerAt_ : reception.firstByte) - firstWindow_;
            takeAccepted(reception, window, attempts + 1, answeredTwice);
            continue;
        }
        ++failures;
        lastCut = verdict == ReplyVerdict::cut ? n : 0;
        line_.strayReply = {true,
                            std::string(reinterpret_cast<const char*>(received),
                                        static_cast<std::size_t>(std::min(n, 4))),
                            reception.firstByte};
        if (verdict != ReplyVerdict::untagged && !portFailed_) {
            // The rest of this reply, or the answer it stood in front of, is let come and go.
            const auto rest = settle(std::max(clock_.now() + line_.knowledge.silenceLimit(),
                                              window + line_.knowledge.firstByteWindow(form_)));
            const bool shortReply =
                verdict == ReplyVerdict::cut ||
                (verdict == ReplyVerdict::wrongLength && n < line_.knowledge.expectedLength(form_));
            if (rest && shortReply) {
                line_.knowledge.notePause(*rest - reception.lastByte, line_.note);
            }
        }
    }
    // A READ FLASH answered short to the last: that is what the board has to say. The caller, which
    // never takes the missing bytes, tells its user.
    if (!accepted && lastCut > 0 && !stopRequested()) {
        accepted = replyMax > 0 ? std::min(lastCut, replyMax) : lastCut;
        received[*accepted] = 0;
    }
    // Answers to the earlier copies may still be on their way: as late after the last copy as the
    // board can be, or as this reply was after the first. A board that answered nothing is
    // silent, not late, and a failed port brings nothing.
    if (attempts > 1 && anyAnswer && !portFailed_) {
        line_.lateAnswersUntil =
            window + std::max(line_.knowledge.firstByteWindow(form_), lateness) + replySilence;
    }
    return accepted;
}

}  // namespace

std::chrono::microseconds lineTime(int bytes, int baud) {
    if (baud <= 0 || bytes <= 0) {
        return std::chrono::microseconds::zero();
    }
    constexpr long long bitsPerByte = 10;
    constexpr long long microsecondsPerSecond = 1'000'000;
    const long long bits = static_cast<long long>(bytes) * bitsPerByte * microsecondsPerSecond;
    return std::chrono::microseconds((bits + baud - 1) / baud);
}

int buildPacket(std::uint8_t* frame, int payloadLength) {
    const int length = payloadLength + 6;
    frame[0] = 0x21;
    frame[1] = static_cast<std::uint8_t>(length / 256);
    frame[2] = static_cast<std::uint8_t>(length % 256);
    frame[3] = static_cast<std::uint8_t>(0 - frame[1] - frame[2]);
    std::uint8_t sum = 0;
    std::uint8_t exclusive = 0;
    for (int i = 0; i < payloadLength; ++i) {
        sum = static_cast<std::uint8_t>(sum + frame[4 + i]);
        exclusive = static_cast<std::uint8_t>(exclusive ^ frame[4 + i]);
    }
    frame[4 + payloadLength] = sum;
    frame[5 + payloadLength] = exclusive;
    return length;
}

bool startsWithReplyTag(const std::uint8_t* reply, int n) {
    return std::any_of(replyTags.begin(), replyTags.end(), [&](const char* tag) {
        const auto tagLength = static_cast<int>(std::strlen(tag));
        return n >= tagLength && std::memcmp(reply, tag, static_cast<std::size_t>(tagLength)) == 0;
    });
}

int exchangePacket(SerialPort* port, const std::uint8_t* payload, int payloadLength,
                   std::uint8_t* replyBuffer, int replyMax, int* replyLength, int maxRetries,
                   LineState* line) {
    if (payloadLength == 0 && payload != nullptr) {
        payloadLength = static_cast<int>(std::strlen(reinterpret_cast<const char*>(payload)));
    }
    // A payload that does not fit the 1000-byte frame buffer cannot be framed; it fails like a
    // silent board rather than writing past the buffer.
    const bool fits = payloadLength >= 0 && payloadLength <= frameBufferSize - 6;
    std::array<std::uint8_t, replyCapacity + 1> received{};
    std::optional<int> accepted;
    if (fits) {
        std::array<std::uint8_t, frameBufferSize> frame{};
        std::copy_n(payload, payloadLength, frame.begin() + 4);
        const int frameLength = buildPacket(frame.data(), payloadLength);
        LineState ownLine;  // a caller without a line state learns nothing across calls
        Exchange exchange(port, line != nullptr ? *line : ownLine,
                          {payload, static_cast<std::size_t>(payloadLength)},
                          {frame.data(), static_cast<std::size_t>(frameLength)});
        accepted = exchange.run(received.data(), replyMax, maxRetries);
    }

    // The caller's buffer holds replyMax bytes: exactly that many are copied, never more.
    const int copyLength = std::clamp(replyMax, 0, replyCapacity + 1);
    if (accepted) {
        if (replyBuffer != nullptr) {
            std::copy_n(received.begin(), copyLength, replyBuffer);
        }
        if (replyLength != nullptr) {
            *replyLength = *accepted;
        }
        return 1;
    }
    if (replyBuffer != nullptr) {
        // The time-out text is cut to fit a buffer smaller than itself.
        const int textLength = std::min<int>(sizeof retryTimeoutText, copyLength);
        std::copy_n(retryTimeoutText, textLength, replyBuffer);
    }
    if (replyLength != nullptr) {
        *replyLength = 0;  // also without a reply buffer, as promised
    }
    return 0;
}

}  // namespace loadstar
