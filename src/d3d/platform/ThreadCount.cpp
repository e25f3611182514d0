#include "ThreadCount.h"

#include <sched.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace rastro {

namespace {

constexpr unsigned kMostThreads = 256;

unsigned UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  // The affinity mask, not the machine's count: taskset and container limits narrow it.
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count) < kMostThreads ? static_cast<unsigned>(count) : kMostThreads;
  }
  const unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : (count < kMostThreads ? count : kMostThreads);
}

}  // namespace

unsigned RequestedThreadCount() {
  const char* text = std::getenv("RASTROMETER_THREADS");
  if (text && *text) {
    unsigned value = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    if (error == std::errc() && stop == end && value >= 1 && value <= kMostThreads) return value;
  }
  return UsableProcessors();
}

}  // namespace rastro
