#include "common/random.h"

namespace orv::rnd {
namespace {

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

}  // namespace

Sequence::Sequence(std::uint64_t seed) {
    for (std::size_t i = 0; i < kLanes; ++i) {
        std::uint32_t v = static_cast<std::uint32_t>(mix64(seed * kLanes + i) >> 32);
        lane_[i] = v ? v : 0x6C8E9CF5u;  // xorshift must never hold 0
    }
}

std::uint32_t Sequence::nextStep() {
    std::uint32_t& lane = lane_[drawn_ % kLanes];
    lane = step(lane);
    ++drawn_;
    return lane >> 8;
}

void Sequence::fillSteps(std::uint32_t* out, std::size_t count) {
    std::size_t i = 0;
    while (i < count && drawn_ % kLanes != 0) out[i++] = nextStep();
    const std::size_t bodyStart = i;
    std::array<std::uint32_t, kLanes> lanes = lane_;
    for (; i + kLanes <= count; i += kLanes) {
        for (std::size_t j = 0; j < kLanes; ++j) {
            lanes[j] = step(lanes[j]);
            out[i + j] = lanes[j] >> 8;
        }
    }
    lane_ = lanes;
    drawn_ += i - bodyStart;
    while (i < count) out[i++] = nextStep();
}

void Sequence::fill(float* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = next();
}

}  // namespace orv::rnd
