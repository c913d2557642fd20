// The random sequence of the engrave dither: uniform Single values in [0, 1).
// A sequence starts from a fixed state and is never taken from the clock, so
// the same run gives the same frames. The tool keeps one for its whole run;
// each command-line run makes its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orv::rnd {

// The start state of the tool's sequence.
inline constexpr std::uint64_t kDefaultSeed = 0;

// Every value is k / 2^24 for a whole k in 0 .. 2^24 - 1 (exact in Single).
inline constexpr float kStep = 1.0f / 16777216.0f;

// Eight interleaved 32-bit xorshift generators: value n of the sequence is the
// next output of lane n mod 8. The lanes are independent, so a bulk fill runs
// them side by side.
class Sequence {
  public:
    explicit Sequence(std::uint64_t seed = kDefaultSeed);

    // The next value.
    float next() { return static_cast<float>(nextStep()) * kStep; }

    // The next `count` values, in order, into `out`; the same values `count`
    // calls of next() would give.
    void fill(float* out, std::size_t count);

    // The same as fill(), as the whole numbers k of the values k / 2^24.
    void fillSteps(std::uint32_t* out, std::size_t count);

  private:
    static constexpr std::size_t kLanes = 8;
    std::uint32_t nextStep();

    std::array<std::uint32_t, kLanes> lane_{};
    std::uint64_t drawn_ = 0;  // values handed out since the start
};

}  // namespace orv::rnd
