#include "common/random.h"

#include <array>

namespace orv::rnd {
namespace {

// Eight interleaved 32-bit xorshift generators: value n of the sequence is the
// next output of lane n mod 8. The lanes are independent, so a bulk fill runs
// them side by side.
constexpr std::size_t kLanes = 8;

struct State {
    std::array<std::uint32_t, kLanes> lane{};
    std::uint64_t drawn = 0;  // values handed out since the seed
};

inline std::uint32_t step(std::uint32_t x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

std::uint64_t mix64(std::uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

State startState(std::uint64_t seed) {
    State s;
    for (std::size_t i = 0; i < kLanes; ++i) {
        std::uint32_t v = static_cast<std::uint32_t>(mix64(seed * kLanes + i) >> 32);
        s.lane[i] = v ? v : 0x6C8E9CF5u;  // xorshift must never hold 0
    }
    return s;
}

State gState = startState(kDefaultSeed);

inline std::uint32_t nextStep() {
    std::uint32_t& lane = gState.lane[gState.drawn % kLanes];
    lane = step(lane);
    ++gState.drawn;
    return lane >> 8;
}

}  // namespace

void setSeed(std::uint64_t seed) { gState = startState(seed); }

float next() { return static_cast<float>(nextStep()) * kStep; }

void fillSteps(std::uint32_t* out, std::size_t count) {
    std::size_t i = 0;
    while (i < count && gState.drawn % kLanes != 0) out[i++] = nextStep();
    const std::size_t bodyStart = i;
    std::array<std::uint32_t, kLanes> lanes = gState.lane;
    for (; i + kLanes <= count; i += kLanes) {
        for (std::size_t j = 0; j < kLanes; ++j) {
            lanes[j] = step(lanes[j]);
            out[i + j] = lanes[j] >> 8;
        }
    }
    gState.lane = lanes;
    gState.drawn += i - bodyStart;
    while (i < count) out[i++] = nextStep();
}

void fill(float* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = next();
}

}  // namespace orv::rnd
