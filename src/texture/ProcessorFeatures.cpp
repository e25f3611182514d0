#include "ProcessorFeatures.h"

#include <atomic>

#include "RegistryValues.h"

namespace rastro {

namespace {

bool DisabledBySetting() {
  DWORD disable = 0;
  return ReadDirect3DRegistryValue(REG_DWORD, "DisableMMX", &disable, sizeof disable) && disable != 0;
}

VectorLevel ProcessorLevel() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return VectorLevel::Avx2;
  if (__builtin_cpu_supports("sse2")) return VectorLevel::Sse2;
#endif
  return VectorLevel::Portable;
}

// -1 until first asked.
std::atomic<int> chosenLevel{-1};

}  // namespace

VectorLevel DetectVectorLevel() { return DisabledBySetting() ? VectorLevel::Portable : ProcessorLevel(); }

VectorLevel ActiveVectorLevel() {
  int level = chosenLevel.load(std::memory_order_relaxed);
  if (level < 0) {
    level = static_cast<int>(DetectVectorLevel());
    chosenLevel.store(level, std::memory_order_relaxed);
  }
  return static_cast<VectorLevel>(level);
}

void OverrideVectorLevel(VectorLevel level) {
  VectorLevel most = ProcessorLevel();
  if (static_cast<int>(level) > static_cast<int>(most)) level = most;
  chosenLevel.store(static_cast<int>(level), std::memory_order_relaxed);
}

bool ProcessorHasMmx() {
  static const bool hasMmx = [] {
    if (DisabledBySetting()) return false;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("mmx") != 0;
#else
    return false;
#endif
  }();
  return hasMmx;
}

}  // namespace rastro
