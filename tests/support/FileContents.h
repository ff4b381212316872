#pragma once

#include <string>

namespace loadstar::testing {

// Everything the file at `path` holds, byte for byte; empty when it is missing or unreadable.
[[nodiscard]] std::string contentsOf(const std::string& path);

}  // namespace loadstar::testing
