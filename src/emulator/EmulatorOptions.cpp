#include "emulator/EmulatorOptions.h"

#include <CLI/CLI.hpp>

#include <charconv>

#include "link/ComPortName.h"
#include "version/LoadstarVersion.h"

namespace loadstar::emulator {

namespace {

constexpr int exitBadOption = 2;

// A chance from 0 to 1 written in decimal; NaN passes a range check, so it is refused here.
std::string checkChance(const std::string& text) {
    double value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(value >= 0 && value <= 1)) {
        return "Value " + text + " is not a number from 0 to 1";
    }
    return {};
}

struct RawOptions {
    std::string link;
    bool noLink = false;
    int delayMs = 0;
    int lateMs = 0;
    int latencyMs = 0;
    int duplicateAfterMs = 0;
    int pauseMs = 0;
    int resetMs = 0;
    int eraseMs = 0;
};

// The line's and the board's faults beyond the classic ones: each as its control line has it.
void addLineFaultOptions(CLI::App& app, EmulatorOptions& options, RawOptions& raw) {
    constexpr int mostMs = 600'000;
    constexpr int mostCount = 1'000'000;
    app.add_option("--duplicate-every", options.faults.duplicateEvery,
                   "Send every Nth reply a second time (0: none)")
        ->check(CLI::Range(0, mostCount));
    app.add_option("--duplicate-after-ms", raw.duplicateAfterMs,
                   "How long after the first has left the line the second copy starts")
        ->check(CLI::Range(0, mostMs));
    app.add_option("--insert-rate", options.faults.insertRate,
                   "Chance (0..1), per reply byte, that a stray byte follows it")
        ->check(CLI::Validator(checkChance, "CHANCE"));
    app.add_option("--drop-byte-rate", options.faults.dropByteRate,
                   "Chance (0..1) that a reply byte is lost")
        ->check(CLI::Validator(checkChance, "CHANCE"));
    app.add_option("--pause-every", options.faults.pauseEvery,
                   "Make every Nth reply pause in its middle for --pause-ms (0: none)")
        ->check(CLI::Range(0, mostCount));
    app.add_option("--pause-ms", raw.pauseMs, "How long a --pause-every reply pauses")
        ->check(CLI::Range(0, mostMs));
    app.add_option("--trailing", options.faults.trailing,
                   "Bytes sent behind every reply (\\r, \\n, \\t stand for their characters)");
    app.add_option("--reset-after", options.faults.resetAfter,
                   "Reset once after the Nth frame: deaf for --reset-ms, then on main sector 0")
        ->check(CLI::Range(0, mostCount));
    app.add_option("--reset-ms", raw.resetMs, "How long the board is deaf after --reset-after")
        ->check(CLI::Range(0, mostMs));
    app.add_option("--erase-ms", raw.eraseMs,
                   "How long an erase takes; frames that come meanwhile wait for it")
        ->check(CLI::Range(0, mostMs));
}

void addFaultOptions(CLI::App& app, EmulatorOptions& options, RawOptions& raw) {
    app.add_flag("--silent", options.faults.silent, "The board answers nothing");
    app.add_option("--drop-every", options.faults.dropEvery, "Lose every Nth reply (0: none)")
        ->check(CLI::Range(0, 1'000'000));
    app.add_option("--delay-ms", raw.delayMs, "Start each reply this many ms late")
        ->check(CLI::Range(0, 600'000));
    app.add_option("--late-every", options.faults.lateEvery,
                   "Make every Nth reply late by --late-ms more (a slow board; 0: none)")
        ->check(CLI::Range(0, 1'000'000));
    app.add_option("--late-ms", raw.lateMs, "How much later each --late-every reply starts")
        ->check(CLI::Range(0, 600'000));
    app.add_option("--corrupt-rate", options.faults.corruptRate,
                   "Chance (0..1) that a reply byte arrives changed")
        ->check(CLI::Validator(checkChance, "CHANCE"));
    app.add_flag("--corrupt-bits", options.faults.corruptOneBit,
                 "A changed reply byte has one bit flipped, as on a real line (default: any other "
                 "value)");
    app.add_flag("--unknown-tag", options.faults.unknownTag,
                 "Answer with the tag XYZ, which the host never accepts");
    app.add_option("--ignore", options.faults.ignoredCommand,
                   "Ignore frames whose payload begins with this (EM, WFP, RRD, ...): no reply");
    app.add_option("--seed", options.faults.seed,
                   "Seed of the fault generator (reproducible runs)");
}

void addOptions(CLI::App& app, EmulatorOptions& options, RawOptions& raw) {
    app.add_option("--model", options.model, "Board model to answer identification with")
        ->check(CLI::IsMember({"KEL520", "KEL620"}));
    auto* link = app.add_option(
        "--link", raw.link,
        "Publish the port as this link (default: COM1 in " + perUserDeviceFolder() + ")");
    auto* noLink = app.add_flag("--no-link", raw.noLink, "Publish no link; only print the device");
    link->excludes(noLink);
    app.add_option("--flash-file", options.flashFile,
                   "Load the flash from FILE at start and save it there on exit");
    app.add_option("--baud", options.baud,
                   "Line speed: frames reach the board and replies come back at this pace, as "
                   "through a USB adapter (0: unpaced)")
        ->check(CLI::Range(0, 4'000'000));
    app.add_option("--latency-ms", raw.latencyMs,
                   "Hold each reply burst back this long, as a USB adapter's latency timer does "
                   "(16 on common adapters; 0: none)")
        ->check(CLI::Range(0, 1'000));
    app.add_option(
        "--control", options.controlPipe,
        "Named pipe taking control lines while running: silent on|off, drop N, "
        "delay MS, late-every N, late-ms MS, corrupt R, unknown-tag on|off, "
        "latency MS, ignore COMMAND|off, duplicate-every N, duplicate-after-ms MS, "
        "insert-rate R, drop-byte-rate R, pause-every N, pause-ms MS, trailing TEXT|off, "
        "reset-after N, reset-ms MS, erase-ms MS, clear");
    addFaultOptions(app, options, raw);
    addLineFaultOptions(app, options, raw);
}

}  // namespace

std::variant<EmulatorOptions, int> parseEmulatorOptions(int argc, char** argv) {
    CLI::App app(
        "Emulates a KEL520/KEL620 board on a pseudo-terminal. Prints the device path as the first "
        "line on stdout, then answers framed commands until SIGTERM or SIGINT.",
        "kel-emulator");
    app.set_version_flag("--version", std::string("kel-emulator ") + loadstarVersion);
    EmulatorOptions options;
    RawOptions raw;
    addOptions(app, options, raw);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : exitBadOption;
    }
    if (!raw.noLink) {
        options.linkPath = raw.link.empty() ? perUserDeviceFolder() + "/COM1" : raw.link;
    }
    options.faults.delay = std::chrono::milliseconds(raw.delayMs);
    options.faults.lateDelay = std::chrono::milliseconds(raw.lateMs);
    options.faults.latency = std::chrono::milliseconds(raw.latencyMs);
    options.faults.duplicateAfter = std::chrono::milliseconds(raw.duplicateAfterMs);
    options.faults.pause = std::chrono::milliseconds(raw.pauseMs);
    options.faults.resetSilence = std::chrono::milliseconds(raw.resetMs);
    options.faults.eraseTime = std::chrono::milliseconds(raw.eraseMs);
    options.faults.trailing = unescapedControlText(options.faults.trailing);
    return options;
}

}  // namespace loadstar::emulator
