#pragma once

#include <CLI/CLI.hpp>

#include <cstddef>
#include <string>

namespace loadstar::cli {

// The help's width: a terminal's 80 columns.
inline constexpr std::size_t helpWidth = 80;

// Breaks every line of `text` longer than `width` at blanks. A continued line is indented as far
// as the description in it starts: at `descriptionColumn` for an option's or a command's line
// (the name padded to that column), else as far as the line itself is indented. A word longer
// than the room stays whole.
std::string wrapHelpText(const std::string& text, std::size_t width, std::size_t descriptionColumn);

// CLI11's help, wrapped to helpWidth.
class WrappingFormatter : public CLI::Formatter {
  public:
    WrappingFormatter() { column_width(descriptionColumn); }
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override;

    static constexpr std::size_t descriptionColumn = 26;
};

// Every option of `app` and of each of its commands, one line each, for the completion tests:
// "<command or -> <names, comma-separated> <value: 0 or 1> <choices, comma-separated or ->".
// Hidden options are left out.
std::string optionTable(const CLI::App& app);

}  // namespace loadstar::cli
