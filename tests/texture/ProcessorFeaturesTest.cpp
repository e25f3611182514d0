#include "ProcessorFeatures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "TestEnvironment.h"

namespace rastro {
namespace {

using testing::ScopedEnvironment;

TEST(ProcessorFeatures, DisableMmxSettingSelectsThePortablePaths) {
  {
    ScopedEnvironment env("DisableMMX", "1");
    EXPECT_EQ(DetectVectorLevel(), VectorLevel::Portable);
  }
  {
    ScopedEnvironment env("DisableMMX", "0");
#if defined(__x86_64__)
    EXPECT_NE(DetectVectorLevel(), VectorLevel::Portable);  // every x86-64 processor has SSE2
#endif
  }
  {
    ScopedEnvironment env("DisableMMX", "on");  // text, not a DWORD: does not count
#if defined(__x86_64__)
    EXPECT_NE(DetectVectorLevel(), VectorLevel::Portable);
#endif
  }
}

// What the kernel reports the processor can do, read independently of the loader's own check.
bool KernelReportsFlag(const std::string& flag) {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (!line.starts_with("flags")) continue;
    std::istringstream words(line.substr(line.find(':') + 1));
    std::string word;
    while (words >> word) {
      if (word == flag) return true;
    }
    return false;
  }
  return false;
}

TEST(ProcessorFeatures, OverrideCannotExceedTheProcessor) {
  const VectorLevel most = DetectVectorLevel();
  OverrideVectorLevel(VectorLevel::Portable);
  EXPECT_EQ(ActiveVectorLevel(), VectorLevel::Portable);
#if defined(__x86_64__)
  OverrideVectorLevel(VectorLevel::Sse2);
  EXPECT_EQ(ActiveVectorLevel(), VectorLevel::Sse2);
  OverrideVectorLevel(VectorLevel::Avx2);
  EXPECT_EQ(ActiveVectorLevel(), KernelReportsFlag("avx2") ? VectorLevel::Avx2 : VectorLevel::Sse2);
#else
  OverrideVectorLevel(VectorLevel::Avx2);
  EXPECT_EQ(ActiveVectorLevel(), VectorLevel::Portable);
#endif
  OverrideVectorLevel(most);
  EXPECT_EQ(ActiveVectorLevel(), most);
}

}  // namespace
}  // namespace rastro
