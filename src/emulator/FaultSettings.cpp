#include "emulator/FaultSettings.h"

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

std::string unescapedControlText(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            result += text[i];
            continue;
        }
        const char next = text[++i];
        result += next == 'r' ? '\r' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
    }
    return result;
}

namespace {

// The commands that set one count, time or chance.
bool applyNumber(FaultSettings& changed, std::string_view verb, std::string_view argument,
                 bool& understood) {
    struct CountField {
        std::string_view verb;
        int FaultSettings::*field;
    };
    struct TimeField {
        std::string_view verb;
        std::chrono::milliseconds FaultSettings::*field;
    };
    struct RateField {
        std::string_view verb;
        double FaultSettings::*field;
    };
    static constexpr CountField counts[] = {{"drop", &FaultSettings::dropEvery},
                                            {"late-every", &FaultSettings::lateEvery},
                                            {"duplicate-every", &FaultSettings::duplicateEvery},
                                            {"pause-every", &FaultSettings::pauseEvery},
                                            {"reset-after", &FaultSettings::resetAfter}};
    static constexpr TimeField times[] = {{"delay", &FaultSettings::delay},
                                          {"late-ms", &FaultSettings::lateDelay},
                                          {"latency", &FaultSettings::latency},
                                          {"duplicate-after-ms", &FaultSettings::duplicateAfter},
                                          {"pause-ms", &FaultSettings::pause},
                                          {"reset-ms", &FaultSettings::resetSilence},
                                          {"erase-ms", &FaultSettings::eraseTime}};
    static constexpr RateField rates[] = {{"corrupt", &FaultSettings::corruptRate},
                                          {"insert-rate", &FaultSettings::insertRate},
                                          {"drop-byte-rate", &FaultSettings::dropByteRate}};
    for (const auto& count : counts) {
        if (verb == count.verb) {
            understood = parseCount(argument, changed.*count.field);
            return true;
        }
    }
    for (const auto& time : times) {
        if (verb == time.verb) {
            understood = parseMilliseconds(argument, changed.*time.field);
            return true;
        }
    }
    for (const auto& rate : rates) {
        if (verb == rate.verb) {
            understood = parseRate(argument, changed.*rate.field);
            return true;
        }
    }
    return false;
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
    } else if (applyNumber(changed, verb, argument, understood)) {
        // set above
    } else if (verb == "trailing" && !argument.empty()) {
        changed.trailing = argument == "off" ? std::string() : unescapedControlText(argument);
        understood = true;
    } else if (verb == "ignore" && !argument.empty()) {
        changed.ignoredCommand = argument == "off" ? std::string() : std::string(argument);
        understood = true;
    }
    if (!understood) {
        return "unknown control command \"" + std::string(line) +
               "\" (known: silent on|off, drop N, delay MS, late-every N, late-ms MS, corrupt R, "
               "unknown-tag on|off, latency MS, ignore COMMAND|off, duplicate-every N, "
               "duplicate-after-ms MS, insert-rate R, drop-byte-rate R, pause-every N, "
               "pause-ms MS, trailing TEXT|off, reset-after N, reset-ms MS, erase-ms MS, clear)";
    }
    settings = changed;
    return {};
}

}  // namespace loadstar::emulator
