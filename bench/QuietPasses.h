#pragma once

#include <string>

#include "iap/Outcome.h"

namespace loadstar::bench {

// Hears the passes' progress silently and keeps the cancel token they are given (never set).
struct QuietPasses : PassObserver {
    void passProgress(const PassProgress&) override {}

    CancelToken cancel;
};

// 1 done (a difference found included), -1 cancelled, 0 failed.
inline int resultOf(const Outcome& outcome) {
    return outcome.failed() ? 0 : outcome.cancelled ? -1 : 1;
}

// What failed, for a table: "step 2, command 3, fault 1"; empty when nothing did.
inline std::string failureOf(const Outcome& outcome) {
    if (!outcome.failed()) {
        return {};
    }
    return "step " + std::to_string(static_cast<int>(outcome.step)) + ", command " +
           std::to_string(static_cast<int>(outcome.failure.command)) + ", fault " +
           std::to_string(static_cast<int>(outcome.failure.fault));
}

}  // namespace loadstar::bench
