#include "BoardModel.h"

#include <gtest/gtest.h>

#include "FrameBytes.h"

namespace loadstar::emulator {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::readPayload;
using testing::withAddress;
using testing::writePayload;

// The board's reply to one command as text, "<none>" when it does not answer.
std::string ask(BoardModel& board, const Bytes& payload) {
    const auto reply = board.handlePayload(payload);
    return reply ? testing::textOf(*reply) : "<none>";
}

TEST(BoardModelTest, AnswersEachCommandInItsReplyFormAndIgnoresMalformedOnes) {
    BoardModel board;
    const std::pair<Bytes, std::string> cases[] = {
        {bytesOf("RST"), "RST OK"},
        {bytesOf("PG 00"), "PG 00"},
        {bytesOf("VM 92"), "VM 92"},
        {bytesOf("BRD"), "BRD KEL520"},
        {readPayload(0x8123, 2), "RRD 8123 02    \xFF\xFF"},
        {readPayload(0x8000, 0), "RRD 8000 00    "},
        {writePayload(0x8010, Bytes(15, 0x00)), "WFP 8010 0F    0F B WRITTEN"},
        {withAddress("EM", 0x8000), "EM 8000 ERASED"},
        {withAddress("EB", 0xC000), "EB C000 ERASED"},
        {withAddress("EB", 0x1000), "EB 1000 NOTHING"}};
    for (const auto& [payload, reply] : cases) {
        EXPECT_EQ(ask(board, payload), reply);
    }
    for (const Bytes& payload :
         {bytesOf("XYZ"), bytesOf("RST "), bytesOf("PG 0g"), bytesOf("PG 1"), bytesOf("BRD?"),
          Bytes{'R', 'R', 'D', 0x80}, Bytes{'W', 'F', 'P', 0x80, 0x00, 3, 1, 2}, Bytes{}}) {
        EXPECT_EQ(ask(board, payload), "<none>") << testing::textOf(payload);
    }
}

}  // namespace
}  // namespace loadstar::emulator
