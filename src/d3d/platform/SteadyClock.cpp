#include "SteadyClock.h"

#include <time.h>

namespace rastro {

namespace {

class MonotonicClock final : public SteadyClock {
 public:
  std::int64_t Ticks() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  }
  std::int64_t Frequency() override { return 1000000000; }
};

}  // namespace

SteadyClock& SystemClock() {
  static MonotonicClock clock;
  return clock;
}

}  // namespace rastro
