// Another user of the same machine plants links, pipes and folders where this user saves: nothing
// of theirs steers a save or the board. Every save (upload, backup, the test log, the window's
// saves and the emulator's flash file) goes through AtomicFile, so the table is run against it,
// with one end-to-end row for each program that saves; the control pipe has rules of its own and
// is asked of kel-emulator itself. The other user's objects are made with chown, so those rows need
// the tests to run as root (CI does). Nothing outside the test's own folder is touched.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "iap/AtomicFile.h"
#include "support/EmulatorProcess.h"
#include "support/ProgramRunner.h"
#include "words/FileFaultWords.h"

namespace loadstar {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

constexpr uid_t otherUser = 65534;  // nobody
constexpr char victimContent[] = "precious";

struct Planted {
    const char* what;
    bool byAnotherUser;  // made with chown: root only
    // Plants the object beside the victim file and returns the name the writers are given.
    std::function<std::string(const TempDir&, const std::string& victim)> plant;
    FileFaultKind saveRefusal;  // why every save refuses
    const char* pipeRefusal;    // what kel-emulator says of it as its control pipe
};

std::string makeFolder(const TempDir& folder, const std::string& name, mode_t mode) {
    const std::string path = folder.file(name);
    fs::create_directory(path);
    ::chmod(path.c_str(), mode);
    return path;
}

const Planted plantedObjects[] = {
    {"a link to the victim in a sticky folder every user may write", false,
     [](const TempDir& folder, const std::string& victim) {
         const std::string link = makeFolder(folder, "shared", 01777) + "/sector.hex";
         fs::create_symlink(victim, link);
         return link;
     },
     FileFaultKind::linkInSharedFolder, "is a symbolic link"},
    {"a link to the victim's folder in a sticky folder every user may write", false,
     [](const TempDir& folder, const std::string&) {
         const std::string link = makeFolder(folder, "shared", 01777) + "/board";
         fs::create_directory_symlink(folder.path(), link);
         return link + "/victim";
     },
     FileFaultKind::linkInSharedFolder, "lies in the shared folder"},
    {"a link of another user", true,
     [](const TempDir& folder, const std::string& victim) {
         const std::string link = folder.file("theirs.hex");
         fs::create_symlink(victim, link);
         EXPECT_EQ(::lchown(link.c_str(), otherUser, otherUser), 0);
         return link;
     },
     FileFaultKind::linkOfAnotherUser, "is a symbolic link"},
    {"a pipe every user may write", false,
     [](const TempDir& folder, const std::string&) {
         const std::string pipe = folder.file("pipe.hex");
         EXPECT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
         ::chmod(pipe.c_str(), 0666);
         return pipe;
     },
     FileFaultKind::notRegularFile, "other users may write to it"},
    {"a folder of another user", true,
     [](const TempDir& folder, const std::string&) {
         const std::string theirs = makeFolder(folder, "theirs", 0755);
         const std::string file = folder.write("theirs/sector.hex", victimContent);
         EXPECT_EQ(::chown(theirs.c_str(), otherUser, otherUser), 0);
         return file;
     },
     FileFaultKind::folderOfAnotherUser, "belongs to another user (uid 65534)"},
    {"a folder every user may write", false,
     [](const TempDir& folder, const std::string&) {
         makeFolder(folder, "open", 0777);
         return folder.write("open/sector.hex", victimContent);
     },
     FileFaultKind::folderWritableByAll, "every user may write to the folder"},
};

// Every file under `folder` with its content, links and pipes by kind, for "nothing changed".
std::string inventory(const TempDir& folder) {
    std::string listed;
    for (const auto& entry : fs::recursive_directory_iterator(folder.path())) {
        listed += entry.path().string();
        if (entry.is_symlink()) {
            listed += " -> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            listed += " = " + testing::contentsOf(entry.path().string());
        }
        listed += '\n';
    }
    return listed;
}

TEST(PlantedObjects, NoSaveAndNoControlPipeGoesThroughWhatAnotherUserPlanted) {
    const bool root = ::geteuid() == 0;
    std::string skipped;
    for (const Planted& planted : plantedObjects) {
        if (planted.byAnotherUser && !root) {
            skipped += std::string(skipped.empty() ? "" : "; ") + planted.what;
            continue;
        }
        SCOPED_TRACE(planted.what);
        const TempDir folder;
        const std::string victim = folder.write("victim", victimContent);
        const std::string target = planted.plant(folder, victim);
        const std::string before = inventory(folder);

        AtomicFile save(target);
        EXPECT_FALSE(save.create());
        EXPECT_EQ(save.fault().kind, planted.saveRefusal) << fileFaultWords(save.fault());
        EXPECT_EQ(save.fault().refusingToSave,
                  planted.saveRefusal == FileFaultKind::folderOfAnotherUser ||
                      planted.saveRefusal == FileFaultKind::folderWritableByAll)
            << "a folder is refused as the place to save in";
        const auto control = testing::runProgram(testing::EmulatorProcess::programPath(),
                                                 {"--no-link", "--baud", "0", "--control", target},
                                                 std::chrono::seconds(10));
        EXPECT_EQ(control.exitStatus, 1);
        EXPECT_NE(control.errors.find(planted.pipeRefusal), std::string::npos) << control.errors;
        EXPECT_EQ(control.output, "") << "no board was offered";
        EXPECT_EQ(inventory(folder), before);
        EXPECT_EQ(folder.read("victim"), victimContent);
    }
    if (!skipped.empty()) {
        GTEST_SKIP() << "not root, so no object of another user can be made: skipped " << skipped;
    }
}

// One row end to end for each program that saves: refused before anything else is done.
TEST(PlantedObjects, ProgramsRefuseALinkPlantedInASharedFolder) {
    const TempDir folder;
    const std::string victim = folder.write("victim", victimContent);
    const std::string link = plantedObjects[0].plant(folder, victim);
    const auto flash = testing::runProgram(testing::EmulatorProcess::programPath(),
                                           {"--no-link", "--baud", "0", "--flash-file", link},
                                           std::chrono::seconds(10));
    EXPECT_EQ(flash.exitStatus, 1);
    EXPECT_NE(flash.errors.find("flash file " + link +
                                ": cannot be saved there: refusing to "
                                "follow the link " +
                                link),
              std::string::npos)
        << flash.errors;
    const auto log = testing::runProgram(
        testing::cliPath(),
        {"--port", folder.file("no-board"), "test", "--cycles", "1", "--log", link},
        std::chrono::seconds(10));
    EXPECT_EQ(log.exitStatus, 2);
    EXPECT_NE(log.errors.find("Cannot create file " + link + ": refusing to follow the link"),
              std::string::npos)
        << log.errors;
    EXPECT_EQ(folder.read("victim"), victimContent);
}

}  // namespace
}  // namespace loadstar
