#include "link/Deadline.h"

#include <gtest/gtest.h>

namespace loadstar {
namespace {

using namespace std::chrono_literals;

// Waits are never cut short, also where the system's sleep rounds down to the millisecond.
TEST(Deadline, RemainingRoundsUpAndAWaitNeverEndsEarly) {
    const Deadline soon(Deadline::Clock::now() + 1500us);
    EXPECT_GE(Deadline::Clock::now() + soon.remaining(), soon.end());
    const Deadline past(Deadline::Clock::now() - 5ms);
    EXPECT_EQ(past.remaining().count(), 0);
    for (const std::chrono::microseconds span : {0us, 300us, 1500us, 16000us, 31000us}) {
        const Deadline deadline(span);
        deadline.waitOut();
        EXPECT_TRUE(deadline.expired()) << span.count() << " us";
    }
}

}  // namespace
}  // namespace loadstar
