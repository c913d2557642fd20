// The process-wide random sequence used by the engrave dither: uniform Single
// values in [0, 1). It starts from a fixed state at every program start and is
// never taken from the clock, so the same run gives the same frames.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orv::rnd {

// The start state every process begins with.
inline constexpr std::uint64_t kDefaultSeed = 0;

// Restarts the process-wide sequence at `seed` (the command line's --seed).
void setSeed(std::uint64_t seed);

// The next value of the process-wide sequence.
float next();

// The next `count` values of the sequence, in order, into `out`; the same
// values `count` calls of next() would give.
void fill(float* out, std::size_t count);

}  // namespace orv::rnd
