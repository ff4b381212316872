#include "Deadline.h"

#include <gtest/gtest.h>

namespace loadstar {
namespace {

using namespace std::chrono_literals;

TEST(Deadline, RemainingRoundsUpAndStopsAtZero) {
    const Deadline soon(Deadline::Clock::now() + 1500us);
    const auto left = soon.remaining();
    EXPECT_GE(left.count(), 1);
    EXPECT_LE(left.count(), 2);
    const Deadline past(Deadline::Clock::now() - 5ms);
    EXPECT_EQ(past.remaining().count(), 0);
    EXPECT_TRUE(past.expired());
}

TEST(Deadline, RestartMovesTheEnd) {
    Deadline deadline(Deadline::Clock::now() - 1ms);
    ASSERT_TRUE(deadline.expired());
    deadline.restart(1h);
    EXPECT_FALSE(deadline.expired());
    EXPECT_GT(deadline.remaining(), 59min);
}

}  // namespace
}  // namespace loadstar
