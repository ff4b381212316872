#include "Deadline.h"

#include <thread>

namespace loadstar {

std::chrono::milliseconds Deadline::remaining() const {
    const auto left = end_ - Clock::now();
    if (left <= Clock::duration::zero()) {
        return std::chrono::milliseconds::zero();
    }
    return std::chrono::ceil<std::chrono::milliseconds>(left);
}

void Deadline::waitOut() const {
    while (!expired()) {
        std::this_thread::sleep_for(remaining());
    }
}

}  // namespace loadstar
