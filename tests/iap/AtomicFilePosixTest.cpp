// AtomicFile on Linux: what it keeps, what it follows, what it refuses and how it says so. The
// links, folders and files another user could plant are in tests/emulator/PlantedObjectsTest.cpp,
// against every program that saves. Every file here lies in the test's own folder; the pipe, the
// pseudo-terminal and the socket stand in for devices, which are never aimed at.

#include "iap/AtomicFile.h"

#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/Descriptor.h"
#include "support/TempDir.h"
#include "words/FileFaultWords.h"

namespace loadstar {
namespace {

namespace fs = std::filesystem;

bool writeWhole(const std::string& path, const std::string& content) {
    AtomicFile file(path);
    return file.create() && file.write(content) && file.commit();
}

std::string plant(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

unsigned permissionsOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST(AtomicFilePosix, KeepsPermissionsAndFollowsTheUsersOwnLinks) {
    testing::TempDir folder;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    {
        AtomicFile file(folder.file("new.hex"));
        ASSERT_TRUE(file.create() && file.write("content\n"));
        EXPECT_EQ(permissionsOf(file.writingPath()), 0600u) << "private until complete";
        ASSERT_TRUE(file.commit());
    }
    EXPECT_EQ(permissionsOf(folder.file("new.hex")), 0666u & ~mask);
    const std::string target = folder.write("old.bin", "old content");
    ::chmod(target.c_str(), 0640);
    ASSERT_TRUE(writeWhole(target, "new"));
    EXPECT_EQ(permissionsOf(target), 0640u);

    fs::create_directory(folder.file("sub"));
    fs::create_symlink("../old.bin", folder.file("sub/link.bin"));
    ASSERT_TRUE(writeWhole(folder.file("sub/link.bin"), "through the link"));
    EXPECT_TRUE(fs::is_symlink(folder.file("sub/link.bin")));
    EXPECT_EQ(folder.read("old.bin"), "through the link");
    // A dangling link gets its target made, and stays a link.
    fs::create_symlink(folder.file("sub/made.hex"), folder.file("dangling.hex"));
    ASSERT_TRUE(writeWhole(folder.file("dangling.hex"), "made"));
    EXPECT_TRUE(fs::is_symlink(folder.file("dangling.hex")));
    EXPECT_EQ(folder.read("sub/made.hex"), "made");
    // The temporary name fits the 255 bytes a name may have, however long the target's.
    const std::string longName(251, 'n');
    ASSERT_TRUE(writeWhole(folder.file(longName), "long"));
    EXPECT_EQ(folder.read(longName), "long");
    EXPECT_EQ(folder.fileCount(), 5) << "no temporary file left behind";
}

TEST(AtomicFilePosix, RefusesWhatItCannotCreateOrReplace) {
    testing::TempDir folder;
    fs::create_directory(folder.file("folder.hex"));
    // Stand-ins for devices: a pseudo-terminal reached through a link, and a socket.
    int master = -1;
    int slave = -1;
    char slaveName[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, slaveName, nullptr, nullptr), 0);
    const testing::Descriptor masterEnd(master);
    const testing::Descriptor slaveEnd(slave);
    fs::create_symlink(slaveName, folder.file("terminal.hex"));
    const testing::Descriptor listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = folder.file("socket.hex");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address),
              0);
    using Kind = FileFaultKind;
    const std::pair<std::string, FileFault> refused[] = {
        {folder.file("missing/sector.hex"),
         {.kind = Kind::folderError, .error = ENOENT, .folder = folder.file("missing")}},
        {folder.file("folder.hex"), {.kind = Kind::notRegularFile}},
        {folder.file("new/"), {.kind = Kind::system, .error = EISDIR}},
        {"", {.kind = Kind::system, .error = EISDIR}},
        {folder.file("terminal.hex"), {.kind = Kind::notRegularFile, .path = slaveName}},
        {socketPath, {.kind = Kind::notRegularFile}}};
    for (const auto& [target, fault] : refused) {
        AtomicFile file(target);
        EXPECT_FALSE(file.create()) << target;
        EXPECT_EQ(file.fault(), fault) << target << ": " << fileFaultWords(file.fault());
        EXPECT_FALSE(file.write("x"));
        EXPECT_FALSE(file.commit());
    }
    EXPECT_EQ(folder.fileCount(), 3);
}

// What create() says for `path` as a user without special rights: the test's own user, or
// "nobody" when the tests run as root (whom no permission bit stops). Empty when it succeeded.
std::string createAsOrdinaryUser(const std::string& path) {
    if (::geteuid() != 0) {
        AtomicFile file(path);
        return file.create() ? std::string() : fileFaultWords(file.fault());
    }
    int result[2];
    EXPECT_EQ(::pipe(result), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(result[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(2);
        }
        std::string said;
        {
            AtomicFile file(path);  // the temporary file is removed again
            said = file.create() ? std::string() : fileFaultWords(file.fault());
        }
        const bool written =
            ::write(result[1], said.data(), said.size()) == static_cast<ssize_t>(said.size());
        ::_exit(written ? 0 : 2);
    }
    ::close(result[1]);
    std::string said;
    char buffer[256];
    for (ssize_t got; (got = ::read(result[0], buffer, sizeof buffer)) > 0;) {
        said.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(result[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "could not become nobody";
    return said;
}

// "Permission denied" names the folder when the folder refuses a new file, and names no other
// thing when the file itself refuses; a file its user may not write stays.
TEST(AtomicFilePosix, PermissionDeniedNamesWhatRefused) {
    testing::TempDir base;
    ::chmod(base.path().c_str(), 0711);  // an ordinary user may pass through, not look or write
    const std::string closed = base.file("closed");
    const std::string open = base.file("open");
    fs::create_directory(closed);
    fs::create_directory(open);
    ::chmod(closed.c_str(), 0555);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(open.c_str(), 65534, 65534), 0);  // the ordinary user's own folder
    }
    const std::string readonly = open + "/readonly.hex";
    plant(readonly, "kept");
    ::chmod(readonly.c_str(), 0444);
    ::chmod(plant(open + "/writable.hex", "replaced").c_str(), 0666);

    EXPECT_EQ(createAsOrdinaryUser(closed + "/new.hex"),
              "Permission denied by the folder " + closed);
    EXPECT_EQ(createAsOrdinaryUser(readonly), "Permission denied");
    EXPECT_EQ(createAsOrdinaryUser(open + "/writable.hex"), "");
    EXPECT_EQ(testing::contentsOf(readonly), "kept");
    EXPECT_EQ(std::distance(fs::directory_iterator(open), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace loadstar
