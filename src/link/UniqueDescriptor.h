#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace loadstar {

// Owns one POSIX file descriptor and closes it when it goes, unless it was released.
class UniqueDescriptor {
  public:
    UniqueDescriptor() = default;
    explicit UniqueDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~UniqueDescriptor() { (void)close(); }
    UniqueDescriptor(UniqueDescriptor&& other) noexcept
        : descriptor_(std::exchange(other.descriptor_, -1)) {}
    UniqueDescriptor& operator=(UniqueDescriptor&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.descriptor_, -1));
        }
        return *this;
    }
    UniqueDescriptor(const UniqueDescriptor&) = delete;
    UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;

    [[nodiscard]] int get() const { return descriptor_; }
    [[nodiscard]] bool valid() const { return descriptor_ >= 0; }
    // Gives the descriptor up without closing it.
    int release() { return std::exchange(descriptor_, -1); }
    // Closes the one held, if any, and holds `descriptor` instead.
    void reset(int descriptor = -1) {
        (void)close();
        descriptor_ = descriptor;
    }
    // Closes now; false when the system reported an error (the descriptor is gone either way:
    // after EINTR Linux has closed it already, so it is not closed a second time).
    bool close() {
        if (descriptor_ < 0) {
            return true;
        }
        return ::close(std::exchange(descriptor_, -1)) == 0 || errno == EINTR;
    }

  private:
    int descriptor_ = -1;
};

}  // namespace loadstar
