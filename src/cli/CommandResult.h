#pragma once

#include <cstdio>
#include <string>

namespace loadstar::cli {

// Every sector command, and erase, ends with one line that a script can rely on,
// "<command>: <result>", on stdout (on stderr when stdout carries the data, as with `upload -`, or
// when stdout cannot be written), and an exit status that agrees with it (ExitCode.h). Messages go
// to stderr.
void printResult(const std::string& line, std::FILE* out = stdout);

// `status`, or exitFailure after a message when it claims success or a difference but something
// written to stdout did not get through (a reader that stopped, a full disk): the output the
// script relied on is incomplete.
int checkStandardOutput(int status);

// The exit status for a sector pass's result code (1 done, -1 cancelled, 0 failed) and the number
// of bytes it found different.
int exitStatusFor(int result, long differences = 0);

// "interrupted" for -1, "failed" for 0.
std::string unfinishedText(int result);

// A board address as the messages write it: "0xA002".
std::string boardAddressText(int address);

}  // namespace loadstar::cli
