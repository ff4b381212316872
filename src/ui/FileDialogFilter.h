#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace loadstar {

// A file dialog filter in the form "description|patterns|description|patterns" turned into Qt's
// name filters, same entries in the same order: "IntelHEX format (*.hex)|*.hex" becomes
// "IntelHEX format (*.hex)". The description's own parenthesis is replaced by the patterns, so
// what is shown is what is matched; "*.*" (every file on the system the form comes from) becomes
// "*", and patterns separated by ';' by blanks. A description without patterns is dropped.
std::vector<std::string> qtNameFilters(std::string_view filter);

}  // namespace loadstar
