#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <vector>

#include "cli/CliSession.h"

namespace loadstar::cli {

// A subcommand and what running it does; the result is the process's exit code (ExitCode.h).
struct Command {
    CLI::App* subcommand;
    std::function<int()> run;
};
using CommandList = std::vector<Command>;

// Each group adds its subcommands to `app`; `options` is filled in by the parse before any runs.
void addMemoryCommands(CLI::App& app, const CliOptions& options, CommandList& commands);

}  // namespace loadstar::cli
