#pragma once

#include <cstdio>
#include <cstdlib>

// An invariant of a fuzz target: when it does not hold, the input is a finding. Aborts, so that
// libFuzzer keeps the input, whatever NDEBUG says.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
