#include "FaultInjector.h"

#include <gtest/gtest.h>

#include "BoardModel.h"
#include "FrameBytes.h"

namespace loadstar::emulator {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::frameOf;
using testing::textOf;

// The replies a board gives to `count` identification frames, one frame at a time.
std::vector<std::string> repliesTo(BoardModel& board, int count) {
    std::vector<std::string> replies;
    for (int i = 0; i < count; ++i) {
        for (const auto& reply : board.receive(frameOf("BRD"))) {
            replies.push_back(textOf(reply.bytes));
        }
    }
    return replies;
}

TEST(FaultInjectorTest, SilentBoardHearsAndAnswersNothing) {
    BoardModel board;
    board.setFaults({.silent = true});
    EXPECT_TRUE(board.receive(frameOf("PG 05")).empty());
    EXPECT_EQ(board.page(), 0) << "the command was not carried out";
    EXPECT_EQ(board.countOf("PG "), 1) << "but the frame is recorded";
    board.setFaults({});
    EXPECT_EQ(repliesTo(board, 1), std::vector<std::string>{"BRD KEL520"});
}

TEST(FaultInjectorTest, DropsEveryNthReplyButCarriesTheCommandOut) {
    BoardModel board;
    board.setFaults({.dropEvery = 3});
    EXPECT_EQ(repliesTo(board, 9).size(), 6u);
    EXPECT_TRUE(board.receive(frameOf("PG 01")).size() == 1);
    EXPECT_TRUE(board.receive(frameOf("PG 02")).size() == 1);
    EXPECT_TRUE(board.receive(frameOf("PG 04")).empty())
        << "the twelfth reply: 12 is a multiple of 3";
    EXPECT_EQ(board.page(), 4);
}

TEST(FaultInjectorTest, DelaysRepliesByTheSetTime) {
    BoardModel board;
    board.setFaults({.delay = std::chrono::milliseconds(45)});
    const auto replies = board.receive(frameOf("BRD"));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].delay, std::chrono::milliseconds(45));
    EXPECT_EQ(textOf(replies[0].bytes), "BRD KEL520");
}

TEST(FaultInjectorTest, UnknownTagReplacesTheCommandsTag) {
    struct Case {
        const char* payload;
        const char* reply;
    };
    const Case cases[] = {{"BRD", "XYZ KEL520"}, {"PG 03", "XYZ 03"}, {"RST", "XYZ OK"}};
    BoardModel board;
    board.setFaults({.unknownTag = true});
    for (const auto& c : cases) {
        const auto replies = board.receive(frameOf(c.payload));
        ASSERT_EQ(replies.size(), 1u) << c.payload;
        EXPECT_EQ(textOf(replies[0].bytes), c.reply);
    }
}

TEST(FaultInjectorTest, CorruptionIsReproducibleBySeedAndChangesBytes) {
    auto run = [](std::uint32_t seed) {
        BoardModel board;
        board.setFaults({.corruptRate = 0.3, .seed = seed});
        return repliesTo(board, 50);
    };
    const auto first = run(11);
    EXPECT_EQ(first, run(11)) << "same seed, same replies";
    EXPECT_NE(first, run(12)) << "another seed, other replies";
    int changed = 0;
    for (const auto& reply : first) {
        ASSERT_EQ(reply.size(), 10u);
        for (std::size_t i = 0; i < reply.size(); ++i) {
            changed += reply[i] != std::string("BRD KEL520")[i] ? 1 : 0;
        }
    }
    // 500 bytes at a rate of 0.3: far from none and far from all.
    EXPECT_GT(changed, 75);
    EXPECT_LT(changed, 225);
}

TEST(FaultInjectorTest, RateOneChangesEveryByteAndRateZeroNone) {
    FaultInjector all{FaultSettings{.corruptRate = 1.0}};
    const auto hit = all.apply(bytesOf("RRD 8000 01    A"));
    ASSERT_TRUE(hit.has_value());
    const std::string original = "RRD 8000 01    A";
    for (std::size_t i = 0; i < original.size(); ++i) {
        EXPECT_NE(hit->bytes[i], static_cast<std::uint8_t>(original[i])) << i;
    }
    FaultInjector none{FaultSettings{}};
    EXPECT_EQ(textOf(none.apply(bytesOf(original))->bytes), original);
}

TEST(FaultInjectorTest, ControlCommandsChangeTheSettings) {
    struct Case {
        const char* line;
        FaultSettings expected;
    };
    const FaultSettings start{.silent = true, .dropEvery = 2, .seed = 9};
    const Case cases[] = {
        {"silent off", {.dropEvery = 2, .seed = 9}},
        {"silent on", start},
        {"drop 5", {.silent = true, .dropEvery = 5, .seed = 9}},
        {"delay 40",
         {.silent = true, .dropEvery = 2, .delay = std::chrono::milliseconds(40), .seed = 9}},
        {"corrupt 0.25", {.silent = true, .dropEvery = 2, .corruptRate = 0.25, .seed = 9}},
        {"unknown-tag on", {.silent = true, .dropEvery = 2, .unknownTag = true, .seed = 9}},
        {"  clear \r", {.seed = 9}},
    };
    for (const auto& c : cases) {
        FaultSettings settings = start;
        EXPECT_EQ(applyControlCommand(settings, c.line), "") << c.line;
        EXPECT_EQ(settings, c.expected) << c.line;
    }
}

TEST(FaultInjectorTest, BadControlCommandsAreRefusedAndChangeNothing) {
    for (const char* line :
         {"", "silent", "silent maybe", "drop -1", "drop x", "delay 1.5", "corrupt 2",
          "corrupt -0.1", "corrupt nan", "unknown-tag", "clear now", "reboot"}) {
        FaultSettings settings{.dropEvery = 4};
        EXPECT_NE(applyControlCommand(settings, line), "") << line;
        EXPECT_EQ(settings, FaultSettings{.dropEvery = 4}) << line;
    }
}

}  // namespace
}  // namespace loadstar::emulator
