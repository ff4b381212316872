#pragma once

#include <string>

#include "link/ReplyKnowledge.h"

namespace loadstar {

// The name of a command in a trace: "READ FLASH", "SECTOR ERASE (main)", "identification".
std::string commandKindName(CommandKind kind);

// What the link has learned of the board's replies, for a line trace: "READ FLASH replies vary in
// length: they end at silence from now on".
std::string knowledgeNoteWords(const KnowledgeNote& note);

}  // namespace loadstar
