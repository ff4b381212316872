#include "emulator/ClientWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "emulator/SetupError.h"

namespace loadstar::emulator {

ClientWatch::ClientWatch(const std::string& devicePath)
    : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (!fd_.valid() ||
        ::inotify_add_watch(fd_.get(), devicePath.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        throw SetupError("cannot watch " + devicePath + " for clients: " + std::strerror(errno));
    }
}

bool ClientWatch::takeLineChange() {
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd_.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return changed;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if ((event->mask & IN_OPEN) != 0) {
                changed = changed || clients_ == 0;
                ++clients_;
            }
            if ((event->mask & IN_CLOSE) != 0 && clients_ > 0) {
                --clients_;
                changed = changed || clients_ == 0;
            }
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                clients_ = 0;  // the count is lost; start again from the next events
                changed = true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

}  // namespace loadstar::emulator
