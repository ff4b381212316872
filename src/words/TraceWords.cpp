#include "words/TraceWords.h"

#include <array>
#include <cstddef>

namespace loadstar {

std::string commandKindName(CommandKind kind) {
    constexpr std::array<const char*, commandKinds> names = {
        "READ FLASH", "WRITE FLASH",         "SET PAGE",
        "SET VM",     "SECTOR ERASE (main)", "SECTOR ERASE (boot)",
        "RESET",      "identification",      "display mirror",
        "other"};
    return names[static_cast<std::size_t>(kind)];
}

std::string knowledgeNoteWords(const KnowledgeNote& note) {
    using Change = KnowledgeNote::Change;
    switch (note.change) {
        case Change::lengthLearned:
            return commandKindName(note.command) + " replies now taken as " +
                   std::to_string(note.length) + " bytes long";
        case Change::lengthsVary:
            return commandKindName(note.command) +
                   " replies vary in length: they end at silence from now on";
        case Change::repliesRunOn:
            return commandKindName(note.command) +
                   " replies go on past their length: they end at silence from now on";
        case Change::pauseWidened:
            break;
    }
    return "a reply paused " + std::to_string(note.gap.count()) + " ms: replies end at " +
           std::to_string(note.silence.count()) + " ms of silence from now on";
}

}  // namespace loadstar
