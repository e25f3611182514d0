#include "ProcessorFeatures.h"

#include <gtest/gtest.h>

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

TEST(ProcessorFeatures, OverrideCannotExceedTheProcessor) {
  const VectorLevel most = DetectVectorLevel();
  OverrideVectorLevel(VectorLevel::Portable);
  EXPECT_EQ(ActiveVectorLevel(), VectorLevel::Portable);
  OverrideVectorLevel(VectorLevel::Avx2);
  EXPECT_LE(static_cast<int>(ActiveVectorLevel()), static_cast<int>(VectorLevel::Avx2));
  OverrideVectorLevel(most);
  EXPECT_EQ(ActiveVectorLevel(), most);
}

}  // namespace
}  // namespace rastro
