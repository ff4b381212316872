#include "Deadline.h"

#include <gtest/gtest.h>

namespace loadstar {
namespace {

using namespace std::chrono_literals;

TEST(Deadline, RemainingRoundsUpSoAWaitNeverEndsEarlyAndStopsAtZero) {
    const Deadline soon(Deadline::Clock::now() + 1500us);
    const auto left = soon.remaining();
    EXPECT_GE(Deadline::Clock::now() + left, soon.end());
    const Deadline past(Deadline::Clock::now() - 5ms);
    EXPECT_EQ(past.remaining().count(), 0);
    EXPECT_TRUE(past.expired());
}

TEST(Deadline, WaitOutNeverEndsEarly) {
    for (const std::chrono::microseconds span : {0us, 300us, 1500us, 16000us, 31000us}) {
        const Deadline deadline(span);
        deadline.waitOut();
        EXPECT_TRUE(deadline.expired()) << span.count() << " us";
    }
}

}  // namespace
}  // namespace loadstar
