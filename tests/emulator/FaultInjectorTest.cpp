#include "emulator/FaultInjector.h"

#include <gtest/gtest.h>

#include <bit>

#include "FrameBytes.h"
#include "emulator/BoardModel.h"

namespace loadstar::emulator {
namespace {

using testing::frameOf;
using testing::textOf;

// The replies to `count` frames of `payload`, one frame at a time.
std::vector<std::string> repliesTo(BoardModel& board, int count,
                                   const std::string& payload = "BRD") {
    std::vector<std::string> replies;
    for (int i = 0; i < count; ++i) {
        for (const auto& reply : board.receive(frameOf(payload))) {
            replies.push_back(textOf(reply.bytes));
        }
    }
    return replies;
}

TEST(FaultInjectorTest, EachFaultShapesTheRepliesAsSet) {
    BoardModel board;
    board.setFaults({.silent = true});
    EXPECT_TRUE(repliesTo(board, 1, "PG 05").empty());
    EXPECT_EQ(board.page(), 0) << "a silent board hears nothing";
    board.setFaults({.dropEvery = 3});
    EXPECT_EQ(repliesTo(board, 8, "PG 04").size(), 6u);
    EXPECT_EQ(board.page(), 4) << "a dropped reply's command is carried out";
    board.setFaults({.unknownTag = true});
    EXPECT_EQ(repliesTo(board, 1, "PG 03"), std::vector<std::string>{"XYZ 03"});
    board.setFaults({.ignoredCommand = "PG"});
    EXPECT_TRUE(repliesTo(board, 1, "PG 02").empty());
    EXPECT_EQ(board.page(), 3) << "an ignored command is not carried out";
    EXPECT_EQ(repliesTo(board, 1, "VM 8C"), std::vector<std::string>{"VM 8C"});
    board.setFaults({.delay = std::chrono::milliseconds(5),
                     .lateEvery = 2,
                     .lateDelay = std::chrono::milliseconds(80)});
    std::vector<long long> delays;
    for (int i = 0; i < 4; ++i) {
        delays.push_back(board.receive(frameOf("BRD")).at(0).delay.count());
    }
    EXPECT_EQ(delays, std::vector<long long>({5, 85, 5, 85})) << "every second reply is late";
    board.setFaults({.trailing = "\r\n"});
    EXPECT_EQ(repliesTo(board, 1, "PG 03"), std::vector<std::string>{"PG 03\r\n"});
    board.setFaults({.duplicateEvery = 2, .duplicateAfter = std::chrono::milliseconds(40)});
    EXPECT_EQ(repliesTo(board, 2, "PG 01"), std::vector<std::string>({"PG 01", "PG 01", "PG 01"}));
    board.setFaults({.pauseEvery = 1, .pause = std::chrono::milliseconds(50)});
    const auto paused = board.receive(frameOf("VM 92"));
    ASSERT_EQ(paused.size(), 2u);
    EXPECT_EQ(textOf(paused[0].bytes) + "|" + textOf(paused[1].bytes), "VM| 92");
    EXPECT_EQ(paused[1].afterPrevious, std::chrono::milliseconds(50)) << "the rest comes later";
    for (const auto& [settings, longer] :
         {std::pair{FaultSettings{.seed = 3, .insertRate = 0.5}, true},
          std::pair{FaultSettings{.seed = 3, .dropByteRate = 0.5}, false}}) {
        board.setFaults(settings);
        for (const auto& reply : repliesTo(board, 5)) {
            EXPECT_EQ(reply.size() > 10, longer) << reply;
            EXPECT_NE(reply.size(), 10u) << "half the bytes are hit";
        }
    }
}

// An erase takes its time and the frames that come meanwhile wait for it; a board that resets
// hears nothing for a while, then is back on main sector 0.
TEST(FaultInjectorTest, ErasesAndResetsTakeTheirTime) {
    using std::chrono::milliseconds;
    const auto t = BoardModel::Clock::time_point{} + std::chrono::hours(1);
    BoardModel board;
    board.setFaults({.eraseTime = milliseconds(400)});
    const std::string erase("EM\x80\0", 4);
    EXPECT_EQ(board.receive(frameOf(erase), t).at(0).delay, milliseconds(400));
    EXPECT_EQ(board.receive(frameOf(erase), t + milliseconds(10)).at(0).delay, milliseconds(790))
        << "an erase sent again is queued as another erase";
    EXPECT_EQ(board.receive(frameOf("PG 00"), t + milliseconds(20)).at(0).delay, milliseconds(780));
    BoardModel resetting;
    resetting.setFaults({.resetAfter = 2, .resetSilence = milliseconds(300)});
    EXPECT_EQ(resetting.receive(frameOf("VM 8C"), t).size(), 1u);
    EXPECT_EQ(resetting.receive(frameOf("PG 00"), t).size(), 1u);
    EXPECT_TRUE(resetting.receive(frameOf("PG 00"), t + milliseconds(1)).empty());
    EXPECT_EQ(resetting.vm(), 0x92) << "back on main flash";
    EXPECT_EQ(resetting.receive(frameOf("PG 00"), t + milliseconds(302)).size(), 1u);
}

// A hit byte takes any other value, or with corruptOneBit has exactly one bit flipped.
TEST(FaultInjectorTest, CorruptionIsReproducibleBySeedAtTheSetRate) {
    for (const bool oneBit : {false, true}) {
        auto run = [oneBit](std::uint32_t seed) {
            BoardModel board;
            board.setFaults({.corruptRate = 0.3, .corruptOneBit = oneBit, .seed = seed});
            return repliesTo(board, 50);
        };
        const auto first = run(11);
        EXPECT_EQ(first, run(11)) << "same seed, same replies";
        EXPECT_NE(first, run(12)) << "another seed, other replies";
        int changed = 0;
        int singleBit = 0;
        for (const auto& reply : first) {
            ASSERT_EQ(reply.size(), 10u);
            for (std::size_t i = 0; i < reply.size(); ++i) {
                const auto flipped = static_cast<unsigned>(reply[i] ^ std::string("BRD KEL520")[i]);
                changed += flipped != 0 ? 1 : 0;
                singleBit += std::popcount(flipped & 0xFFu) == 1 ? 1 : 0;
            }
        }
        EXPECT_GT(changed, 75) << "500 bytes at a rate of 0.3";
        EXPECT_LT(changed, 225);
        EXPECT_EQ(singleBit == changed, oneBit) << "one bit flipped in every hit byte";
    }
}

}  // namespace
}  // namespace loadstar::emulator
