// A check of a fuzz target: when it does not hold, the input is reported as a
// crash (libFuzzer keeps it; the replay fails).
#pragma once

#include <cstdio>
#include <cstdlib>

namespace orv::fuzz {

[[noreturn]] inline void checkFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

}  // namespace orv::fuzz

#define FUZZ_CHECK(condition)                                                       \
    do {                                                                            \
        if (!(condition)) ::orv::fuzz::checkFailed(#condition, __FILE__, __LINE__); \
    } while (0)
