// A check of a fuzz target: when it does not hold, the input is reported as a
// crash (libFuzzer keeps it; the replay fails).
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                              \
    do {                                                                                   \
        if (condition) break;                                                              \
        std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
        std::abort();                                                                      \
    } while (0)
