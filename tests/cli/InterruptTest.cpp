#include "cli/Interrupt.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>

namespace loadstar::cli {
namespace {

// The first Ctrl-C or SIGTERM is only noted, for the command to stop at its next block; a second
// one ends the process at once, so that nothing can keep the tool from ending. Run in a child,
// which the second signal ends.
TEST(Interrupt, FirstSignalIsNotedAndSecondEndsTheProcess) {
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        const pid_t child = ::fork();
        if (child == 0) {
            const InterruptGuard guard;
            std::raise(signalNumber);
            if (!InterruptGuard::interrupted()) {
                ::_exit(1);
            }
            std::raise(signalNumber);
            ::_exit(2);  // still running after the second signal
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by its own exit, not killed by the signal";
        EXPECT_EQ(WEXITSTATUS(status), 128 + signalNumber);
    }
}

}  // namespace
}  // namespace loadstar::cli
