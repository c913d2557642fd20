#include "common/clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>

namespace orv {
namespace {

class SteadyClock final : public MillisecondClock {
  public:
    std::int64_t nowMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
};

const SteadyClock kSteady;
std::atomic<const MillisecondClock*> gClock{&kSteady};

}  // namespace

const MillisecondClock& processClock() { return *gClock.load(std::memory_order_relaxed); }

void setProcessClock(const MillisecondClock* clock) {
    gClock.store(clock ? clock : &kSteady, std::memory_order_relaxed);
}

std::int32_t Stopwatch::elapsedMs() const {
    const std::int64_t d = processClock().nowMs() - start_;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        d, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace orv
