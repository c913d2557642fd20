// The millisecond counter that image procedures time themselves with.
#pragma once

#include <cstdint>

namespace orv {

// A monotonic millisecond counter. The process uses the steady clock unless a
// test installs its own.
class MillisecondClock {
  public:
    virtual ~MillisecondClock() = default;
    virtual std::int64_t nowMs() const = 0;
};

// The clock in force for the whole process.
const MillisecondClock& processClock();

// Installs `clock` for the whole process; nullptr restores the steady clock.
void setProcessClock(const MillisecondClock* clock);

// Two readings of the process clock; elapsed time as a 32-bit signed count of
// milliseconds (saturated, never wrapped).
class Stopwatch {
  public:
    Stopwatch() : start_(processClock().nowMs()) {}
    std::int32_t elapsedMs() const;

  private:
    std::int64_t start_;
};

}  // namespace orv
