#include "emulator/FlashFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "iap/AtomicFile.h"
#include "link/UniqueDescriptor.h"
#include "words/FileFaultWords.h"

namespace loadstar::emulator {

namespace {

FlashFileResult failure(const std::string& path, const std::string& what) {
    return {false, "flash file " + path + ": " + what};
}

std::string systemReason() {
    return std::strerror(errno);
}

bool readAll(int fd, std::uint8_t* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd, buffer + done, count - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace

FlashFileResult loadFlashFile(const std::string& path, FlashMemory& flash) {
    // The file is saved there again when the emulator stops: a place where it cannot be saved, or
    // must not be (a link or a folder that another user could have planted, a pipe, a device), is
    // refused now, before the board runs with it. The trial leaves nothing behind.
    if (AtomicFile trial(path); !trial.create()) {
        return failure(path, "cannot be saved there: " + fileFaultWords(trial.fault()));
    }
    // Without blocking, so that a pipe put there meanwhile cannot hang the start; only a regular
    // file is read.
    UniqueDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
        if (errno == ENOENT) {
            return {true, {}};  // no file yet: the board is erased
        }
        return failure(path, "cannot be opened: " + systemReason());
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        return failure(path, "cannot be examined: " + systemReason());
    }
    if (!S_ISREG(status.st_mode)) {
        return failure(path, "is not a regular file (a pipe or a device is never read)");
    }
    if (static_cast<std::size_t>(status.st_size) != FlashMemory::imageSize) {
        return failure(path, "has " + std::to_string(status.st_size) + " bytes, but a flash file " +
                                 "holds exactly " + std::to_string(FlashMemory::imageSize) +
                                 " (main flash 8 x 32 KB, then boot flash 4 x 8 KB)");
    }
    std::vector<std::uint8_t> image(FlashMemory::imageSize);
    if (!readAll(file.get(), image.data(), image.size())) {
        return failure(path, "cannot be read: " + systemReason());
    }
    (void)flash.setImage(image);
    return {true, {}};
}

FlashFileResult saveFlashFile(const std::string& path, const FlashMemory& flash) {
    const auto& image = flash.image();
    AtomicFile file(path);
    if (!file.create() ||
        !file.write({reinterpret_cast<const char*>(image.data()), image.size()}) ||
        !file.commit()) {
        return failure(path, "cannot be written: " + fileFaultWords(file.fault()));
    }
    return {true, {}};
}

}  // namespace loadstar::emulator
