#pragma once

#include <string>
#include <variant>

namespace loadstar {

// What the window takes on its command line. Without options it starts as it always has, on COM1.
struct LoadstarOptions {
    std::string port;  // --port, else LOADSTAR_PORT; empty: none given
};

// Reads --port DEVICE (or LOADSTAR_PORT), --help and --version. Arguments it does not know (the
// toolkit's own, such as -platform or -style) are left for the toolkit. The options, or the exit
// code when the program ends here: 0 after the help or the version (on stdout), 2 after a bad
// option (on stderr). Needs no display, so that help and version work anywhere.
std::variant<LoadstarOptions, int> parseLoadstarOptions(int argc, char** argv);

}  // namespace loadstar
