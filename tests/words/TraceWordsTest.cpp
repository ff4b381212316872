#include "words/TraceWords.h"

#include <gtest/gtest.h>

namespace loadstar {
namespace {

TEST(TraceWords, SayWhatTheLinkLearnedOfTheReplies) {
    using Change = KnowledgeNote::Change;
    using std::chrono::milliseconds;
    const struct {
        KnowledgeNote note;
        const char* words;
    } rows[] = {
        {{Change::lengthLearned, CommandKind::readFlash, 4},
         "READ FLASH replies now taken as 4 bytes long"},
        {{Change::lengthsVary, CommandKind::eraseBoot},
         "SECTOR ERASE (boot) replies vary in length: they end at silence from now on"},
        {{Change::repliesRunOn, CommandKind::identify},
         "identification replies go on past their length: they end at silence from now on"},
        {{Change::pauseWidened, CommandKind::other, 0, milliseconds(41), milliseconds(61)},
         "a reply paused 41 ms: replies end at 61 ms of silence from now on"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(knowledgeNoteWords(row.note), row.words);
    }
}

}  // namespace
}  // namespace loadstar
