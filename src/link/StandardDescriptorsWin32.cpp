#include "link/StandardDescriptors.h"

#include <fcntl.h>
#include <io.h>

namespace loadstar {

// The C runtime's descriptors 0-2 have no handle behind them in a program started without a
// console (or with one of them closed); files the program opens with the C library could then take
// their numbers. They get the null device instead.
bool keepStandardDescriptorsOpen(unsigned* reopened) {
    if (reopened != nullptr) {
        *reopened = 0;
    }
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (::_get_osfhandle(descriptor) >= 0) {
            continue;
        }
        const int opened = ::_open("NUL", _O_RDWR | _O_BINARY);
        if (opened < 0) {
            return false;
        }
        if (opened != descriptor) {
            const bool moved = ::_dup2(opened, descriptor) == 0;
            ::_close(opened);
            if (!moved) {
                return false;
            }
        }
        if (reopened != nullptr) {
            *reopened |= 1u << descriptor;
        }
    }
    return true;
}

}  // namespace loadstar
