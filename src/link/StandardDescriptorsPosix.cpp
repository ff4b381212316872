#include "link/StandardDescriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace loadstar {

bool keepStandardDescriptorsOpen(unsigned* reopened) {
    if (reopened != nullptr) {
        *reopened = 0;
    }
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // open() takes the lowest free number, which is this one: those below it are open by now.
        // Not close-on-exec: a child started later gets it as its own standard stream.
        int opened = -1;
        do {
            opened = ::open("/dev/null", O_RDWR | O_NOCTTY);
        } while (opened < 0 && errno == EINTR);
        if (opened != descriptor) {
            if (opened >= 0) {
                ::close(opened);
            }
            return false;
        }
        if (reopened != nullptr) {
            *reopened |= 1u << descriptor;
        }
    }
    return true;
}

}  // namespace loadstar
