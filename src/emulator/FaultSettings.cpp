#include "FaultSettings.h"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>

namespace loadstar::emulator {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool parseSwitch(std::string_view word, bool& value) {
    if (word == "on") {
        value = true;
        return true;
    }
    if (word == "off") {
        value = false;
        return true;
    }
    return false;
}

bool parseCount(std::string_view word, int& value) {
    const auto* end = word.data() + word.size();
    const auto [next, error] = std::from_chars(word.data(), end, value);
    return error == std::errc() && next == end && value >= 0;
}

bool parseMilliseconds(std::string_view word, std::chrono::milliseconds& value) {
    int count = 0;
    if (!parseCount(word, count)) {
        return false;
    }
    value = std::chrono::milliseconds(count);
    return true;
}

bool parseRate(std::string_view word, double& value) {
    const std::string text(word);
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && value >= 0.0 && value <= 1.0;
}

}  // namespace

std::string applyControlCommand(FaultSettings& settings, std::string_view line) {
    line = trimmed(line);
    const auto blank = line.find(' ');
    const std::string_view verb = line.substr(0, blank);
    const std::string_view argument =
        blank == std::string_view::npos ? std::string_view() : trimmed(line.substr(blank + 1));
    FaultSettings changed = settings;
    bool understood = false;
    if (verb == "clear" && argument.empty()) {
        changed = FaultSettings{};
        changed.seed = settings.seed;
        changed.latency = settings.latency;
        understood = true;
    } else if (verb == "silent") {
        understood = parseSwitch(argument, changed.silent);
    } else if (verb == "unknown-tag") {
        understood = parseSwitch(argument, changed.unknownTag);
    } else if (verb == "drop") {
        understood = parseCount(argument, changed.dropEvery);
    } else if (verb == "late-every") {
        understood = parseCount(argument, changed.lateEvery);
    } else if (verb == "delay" || verb == "late-ms" || verb == "latency") {
        auto& target = verb == "delay"     ? changed.delay
                       : verb == "late-ms" ? changed.lateDelay
                                           : changed.latency;
        understood = parseMilliseconds(argument, target);
    } else if (verb == "corrupt") {
        understood = parseRate(argument, changed.corruptRate);
    } else if (verb == "ignore" && !argument.empty()) {
        changed.ignoredCommand = argument == "off" ? std::string() : std::string(argument);
        understood = true;
    }
    if (!understood) {
        return "unknown control command \"" + std::string(line) +
               "\" (known: silent on|off, drop N, delay MS, late-every N, late-ms MS, corrupt R, "
               "unknown-tag on|off, latency MS, ignore COMMAND|off, clear)";
    }
    settings = changed;
    return {};
}

}  // namespace loadstar::emulator
