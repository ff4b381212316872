#include "app/LoadstarOptions.h"

#include <CLI/CLI.hpp>

#include <memory>

#include "cli/HelpText.h"
#include "version/LoadstarVersion.h"

namespace loadstar {

namespace {

constexpr int exitBadOption = 2;

}  // namespace

std::variant<LoadstarOptions, int> parseLoadstarOptions(int argc, char** argv) {
    CLI::App app(
        "loadstar: the window that programs the flash of a KEL520/KEL620 board over RS-232. "
        "Connect talks to COM1 ($XDG_RUNTIME_DIR/loadstar/COM1, /tmp/loadstar-<uid>/COM1, "
        "/dev/COM1 or /dev/ttyS0, the first that exists) at 19200 baud. The toolkit's own options "
        "(-platform, -style, ...) are "
        "passed on.",
        "loadstar");
    app.formatter(std::make_shared<cli::WrappingFormatter>());
    app.set_version_flag("--version", std::string("loadstar ") + loadstarVersion);
    app.allow_extras();
    LoadstarOptions options;
    app.add_option("--port", options.port,
                   "Serial device that Connect opens instead of COM1; LOADSTAR_PORT is used when "
                   "not given, else the device last chosen in the window")
        ->envname("LOADSTAR_PORT");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : exitBadOption;
    }
    return options;
}

}  // namespace loadstar
