// The high-resolution performance counter: a monotonic tick count and its frequency.
#pragma once

#include <cstdint>

namespace rastro {

class SteadyClock {
 public:
  virtual ~SteadyClock() = default;
  virtual std::int64_t Ticks() = 0;
  virtual std::int64_t Frequency() = 0;  // ticks per second
};

// The machine's monotonic clock in nanoseconds.
SteadyClock& SystemClock();

}  // namespace rastro
