#include "app/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "link/ComPortName.h"

namespace loadstar {

namespace {

int flockRetryingInterrupts(int descriptor, int operation) {
    int result = 0;
    do {
        result = ::flock(descriptor, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

// Another copy holds the exclusive lock only for the moment in which it looks whether it is
// alone; wait that moment out, but never hang on it.
bool takeShared(int descriptor) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (flockRetryingInterrupts(descriptor, LOCK_SH | LOCK_NB) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Whether the process listening on `address` runs as this user, asked of the system
// (SO_PEERCRED), not of the process. False when it cannot be asked.
bool heldByThisUser(const sockaddr* address, socklen_t addressLength) {
    const UniqueDescriptor probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!probe.valid() || ::connect(probe.get(), address, addressLength) != 0) {
        return false;
    }
    ucred peer{};
    socklen_t length = sizeof peer;
    return ::getsockopt(probe.get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
           length == sizeof peer && peer.uid == ::getuid();
}

}  // namespace

InstanceLock::InstanceLock(const std::string& name, const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        notice_ = "Cannot create the folder " + folder + " (" + std::strerror(errno) + ").";
    }
    if (isPrivateFolder(folder)) {
        if (lockFileIn(folder, name)) {
            return;
        }
    } else if (notice_.empty()) {
        notice_ =
            "The folder " + folder + " is not private to this user, so no lock file is made in it.";
    }
    if (lockAbstractName(name)) {
        notice_ += " The check for a running copy uses a socket name instead.";
        return;
    }
    notice_ += " The check for a running copy is not available.";
}

bool InstanceLock::lockFileIn(const std::string& folder, const std::string& name) {
    const std::string path = folder + "/" + name + ".lock";
    descriptor_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!descriptor_.valid()) {
        notice_ = "Cannot open the lock file " + path + " (" + std::strerror(errno) + ").";
        return false;
    }
    // Exclusive succeeds only when no other copy holds the lock; then it is turned into the
    // shared lock that every running copy holds.
    if (flockRetryingInterrupts(descriptor_.get(), LOCK_EX | LOCK_NB) == 0) {
        anotherInstanceRuns_ = false;
    } else if (errno == EWOULDBLOCK) {
        anotherInstanceRuns_ = true;
    } else {
        notice_ = "Cannot lock " + path + " (" + std::strerror(errno) + ").";
        descriptor_.reset();
        return false;
    }
    if (!takeShared(descriptor_.get())) {
        notice_ = "Cannot lock " + path + ": another copy keeps it locked exclusively.";
    }
    lockFile_ = path;
    return true;
}

bool InstanceLock::lockAbstractName(const std::string& name) {
    descriptor_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!descriptor_.valid()) {
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // An abstract name starts with a zero byte: it lives only as long as the socket, no file.
    const std::string abstractName = "loadstar-" + std::to_string(::getuid()) + "-" + name;
    const std::size_t length = std::min(abstractName.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, abstractName.data(), length);
    const auto addressLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    const auto* socketAddress = reinterpret_cast<const sockaddr*>(&address);
    if (::bind(descriptor_.get(), socketAddress, addressLength) == 0) {
        // Listening, so that a copy started later can ask who holds the name.
        (void)::listen(descriptor_.get(), SOMAXCONN);
        anotherInstanceRuns_ = false;
        return true;
    }
    if (errno == EADDRINUSE) {
        descriptor_.reset();
        // Any local user can bind any abstract name: it tells of a running copy only when a
        // process of this user holds it.
        anotherInstanceRuns_ = heldByThisUser(socketAddress, addressLength);
        if (!anotherInstanceRuns_) {
            notice_ +=
                " The socket name is held by a process of another user, so no running copy "
                "is looked for.";
        }
        return true;
    }
    descriptor_.reset();
    return false;
}

}  // namespace loadstar
