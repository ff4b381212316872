#include "link/Deadline.h"

namespace loadstar {

std::chrono::milliseconds Deadline::remaining() const {
    const auto left = end_ - clock_->now();
    if (left <= Clock::duration::zero()) {
        return std::chrono::milliseconds::zero();
    }
    return std::chrono::ceil<std::chrono::milliseconds>(left);
}

}  // namespace loadstar
