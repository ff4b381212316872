#pragma once

#include "cli/CliCommands.h"

namespace loadstar::cli {

// ports: the serial devices of this machine (path, stable by-id name, USB vendor:product and
// description where known, from libserialport) and which one stands for COM1, and why.
void addPortsCommand(CLI::App& app, CommandList& commands);

}  // namespace loadstar::cli
