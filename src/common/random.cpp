#include "common/random.h"

namespace orv::rnd {
namespace {

// Counter-based: value n is a 64-bit mix of (seed, n). Draws carry no chain
// from one to the next, so a bulk fill pipelines well.
std::uint64_t gSeed = kDefaultSeed;
std::uint64_t gCounter = 0;

inline float valueAt(std::uint64_t seed, std::uint64_t n) {
    std::uint64_t z = seed + (n + 1) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    // Top 24 bits: k / 2^24 is exact in Single and always below 1.
    return static_cast<float>(z >> 40) * (1.0f / 16777216.0f);
}

}  // namespace

void setSeed(std::uint64_t seed) {
    gSeed = seed;
    gCounter = 0;
}

float next() { return valueAt(gSeed, gCounter++); }

void fill(float* out, std::size_t count) {
    const std::uint64_t seed = gSeed;
    const std::uint64_t base = gCounter;
    for (std::size_t i = 0; i < count; ++i) out[i] = valueAt(seed, base + i);
    gCounter = base + count;
}

}  // namespace orv::rnd
