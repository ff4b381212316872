#include "ui/FileDialogFilter.h"

namespace loadstar {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

// "IntelHEX format (*.hex)" without its " (*.hex)".
std::string_view withoutPatternNote(std::string_view description) {
    description = trimmed(description);
    if (!description.empty() && description.back() == ')') {
        const std::size_t open = description.rfind('(');
        if (open != std::string_view::npos) {
            return trimmed(description.substr(0, open));
        }
    }
    return description;
}

std::string qtPatterns(std::string_view patterns) {
    std::string result;
    for (const auto pattern : split(patterns, ';')) {
        const std::string_view one = trimmed(pattern);
        if (one.empty()) {
            continue;
        }
        if (!result.empty()) {
            result += ' ';
        }
        result += one == "*.*" ? std::string("*") : std::string(one);
    }
    return result;
}

}  // namespace

std::vector<std::string> qtNameFilters(std::string_view filter) {
    std::vector<std::string> filters;
    const auto parts = split(filter, '|');
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        const std::string patterns = qtPatterns(parts[i + 1]);
        if (patterns.empty()) {
            continue;
        }
        filters.push_back(std::string(withoutPatternNote(parts[i])) + " (" + patterns + ")");
    }
    return filters;
}

}  // namespace loadstar
