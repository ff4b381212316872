#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "iap/RegularFile.h"

namespace loadstar {

FileHandle openRegularFileForReading(const std::string& path) {
    struct stat info {};
    // Looked at before the open, so that a device is never opened at all.
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return nullptr;
    }
    // Without blocking, and looked at again once open: the name may have changed in between.
    int descriptor = -1;
    do {
        descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        return nullptr;
    }
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(descriptor);
        return nullptr;
    }
    FileHandle file(::fdopen(descriptor, "rb"));
    if (!file) {
        ::close(descriptor);
    }
    return file;
}

}  // namespace loadstar
