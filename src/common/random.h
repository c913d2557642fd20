// The process-wide random sequence used by the engrave dither: uniform Single
// values in [0, 1). It starts from a fixed state at every program start and is
// never taken from the clock, so the same run gives the same frames.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orv::rnd {

// The start state every process begins with.
inline constexpr std::uint64_t kDefaultSeed = 0;

// Every value is k / 2^24 for a whole k in 0 .. 2^24 - 1 (exact in Single).
inline constexpr float kStep = 1.0f / 16777216.0f;

// Restarts the process-wide sequence at `seed` (the command line's --seed).
void setSeed(std::uint64_t seed);

// The next value of the process-wide sequence.
float next();

// The next `count` values of the sequence, in order, into `out`; the same
// values `count` calls of next() would give.
void fill(float* out, std::size_t count);

// The same as fill(), as the whole numbers k of the values k / 2^24.
void fillSteps(std::uint32_t* out, std::size_t count);

}  // namespace orv::rnd
