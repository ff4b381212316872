#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

namespace loadstar::cli {

// With --json, stdout carries one JSON object per command and nothing else: the result lines and
// every other text for a reader move to stderr. Set once, after the command line is read.
void setJsonOutput(bool on);
[[nodiscard]] bool jsonOutput();

// The fields the running command has found for its JSON object, as data where it arises:
// "bytes", "differences", "first_difference", "failing_step", "file", "line", "reason",
// "board_holds", "sectors", ... Filled whether or not --json was given; written only with it.
nlohmann::json& commandReport();

// Writes the command's JSON object on stdout: the report's fields with "schema", "command",
// "result" (from `status`), "exit_status" and "duration_ms" since `start`; the keys every object
// carries are there, null when they do not apply. `status` unchanged.
int writeCommandReport(const std::string& command, int status,
                       std::chrono::steady_clock::time_point start);

// One JSON line on stdout before the command's object, as `mirror --follow` writes for each
// change of the display: "schema", "command" and `fields`. False when stdout did not take it.
bool writeJsonLine(const std::string& command, nlohmann::json fields);

// "ok" (exit 0), "different" (1), "interrupted" (130), "failed" (anything else).
const char* resultName(int status);

// Every sector command, and erase, ends with one line that a script can rely on,
// "<command>: <result>", on stdout (on stderr when stdout carries the data, as with `upload -`, or
// when stdout cannot be written), and an exit status that agrees with it (ExitCode.h). Messages go
// to stderr.
void printResult(const std::string& line, std::FILE* out = stdout);
// "1 byte", "0 bytes", "1500 bytes".
std::string bytesText(long count);

// `status`, or exitFailure after a message when it claims success or a difference but something
// written to stdout did not get through (a reader that stopped, a full disk): the output the
// script relied on is incomplete.
int checkStandardOutput(int status);

// The exit status for a sector pass's result code (1 done, -1 cancelled, 0 failed) and the number
// of bytes it found different.
int exitStatusFor(int result, long differences = 0);

// "interrupted" for -1, "failed" for 0.
std::string unfinishedText(int result);

// Records a board address (or its absence) as the report's "first_difference", a number.
void reportFirstDifference(const std::optional<int>& address);

// A board address as the messages write it: "0xA002".
std::string boardAddressText(int address);

}  // namespace loadstar::cli
