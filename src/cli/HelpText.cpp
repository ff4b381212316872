#include "cli/HelpText.h"

#include <sstream>
#include <vector>

namespace loadstar::cli {

namespace {

std::size_t leadingBlanks(const std::string& line) {
    const std::size_t first = line.find_first_not_of(' ');
    return first == std::string::npos ? 0 : first;
}

// Where the words of a continued line start.
std::size_t continuationIndent(const std::string& line, std::size_t descriptionColumn) {
    const bool padded = line.size() > descriptionColumn && line.compare(0, 2, "  ") == 0 &&
                        line[descriptionColumn - 1] == ' ' && line[descriptionColumn] != ' ';
    return padded ? descriptionColumn : leadingBlanks(line);
}

void wrapLine(const std::string& line, std::size_t width, std::size_t descriptionColumn,
              std::string& out) {
    if (line.size() <= width) {
        out += line + '\n';
        return;
    }
    const std::string indent(continuationIndent(line, descriptionColumn), ' ');
    std::string current = line;
    while (current.size() > width) {
        std::size_t cut = current.rfind(' ', width);
        const std::size_t floor = current.find_first_not_of(' ', indent.size());
        if (cut == std::string::npos || floor == std::string::npos || cut <= floor) {
            cut = current.find(' ', width);  // one long word: keep it whole
            if (cut == std::string::npos) {
                break;
            }
        }
        std::size_t end = cut;
        while (end > 0 && current[end - 1] == ' ') {
            --end;
        }
        out += current.substr(0, end) + '\n';
        const std::size_t next = current.find_first_not_of(' ', cut);
        if (next == std::string::npos) {
            current.clear();
            break;
        }
        current = indent + current.substr(next);
    }
    if (!current.empty()) {
        out += current + '\n';
    }
}

std::string choicesOf(const CLI::Option& option) {
    // IsMember shows its choices in the type name: "TEXT:{main,boot}".
    const std::string type = option.get_type_name();
    const std::size_t open = type.find('{');
    const std::size_t close = type.find('}', open);
    if (open == std::string::npos || close == std::string::npos) {
        return "-";
    }
    return type.substr(open + 1, close - open - 1);
}

void listOptions(const CLI::App& app, const std::string& command, std::ostringstream& out) {
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_group().empty() || option->get_positional()) {
            continue;
        }
        std::string names;
        for (const auto& name : option->get_snames()) {
            names += (names.empty() ? "-" : ",-") + name;
        }
        for (const auto& name : option->get_lnames()) {
            names += (names.empty() ? "--" : ",--") + name;
        }
        out << command << ' ' << names << ' ' << (option->get_type_name().empty() ? 0 : 1) << ' '
            << choicesOf(*option) << '\n';
    }
}

}  // namespace

std::string wrapHelpText(const std::string& text, std::size_t width,
                         std::size_t descriptionColumn) {
    std::string out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        wrapLine(line, width, descriptionColumn, out);
    }
    if (!text.empty() && text.back() != '\n' && !out.empty()) {
        out.pop_back();
    }
    return out;
}

std::string WrappingFormatter::make_help(const CLI::App* app, std::string name,
                                         CLI::AppFormatMode mode) const {
    return wrapHelpText(CLI::Formatter::make_help(app, std::move(name), mode), helpWidth,
                        descriptionColumn);
}

std::string optionTable(const CLI::App& app) {
    std::ostringstream out;
    listOptions(app, "-", out);
    for (const CLI::App* command : app.get_subcommands({})) {
        listOptions(*command, command->get_name(), out);
    }
    return out.str();
}

}  // namespace loadstar::cli
