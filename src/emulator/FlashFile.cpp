#include "FlashFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "UniqueFd.h"

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

bool writeAll(int fd, const std::uint8_t* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(fd, buffer + done, count - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

FlashFileResult loadFlashFile(const std::string& path, FlashMemory& flash) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
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
        return failure(path, "is not a regular file");
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
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    UniqueFd file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file.valid()) {
        return failure(path, "cannot be written: " + systemReason());
    }
    const auto& image = flash.image();
    if (!writeAll(file.get(), image.data(), image.size()) || ::fsync(file.get()) != 0) {
        const std::string reason = systemReason();
        ::unlink(temporary.c_str());
        return failure(path, "cannot be written: " + reason);
    }
    if (!file.close()) {
        const std::string reason = systemReason();
        ::unlink(temporary.c_str());
        return failure(path, "cannot be written: " + reason);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = systemReason();
        ::unlink(temporary.c_str());
        return failure(path, "cannot be replaced: " + reason);
    }
    return {true, {}};
}

}  // namespace loadstar::emulator
