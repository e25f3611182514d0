#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "ProcessorFeatures.h"
#include "d3dx9math.h"

namespace {

WORD ToHalf(float f) {
  D3DXFLOAT16 h;
  D3DXFloat32To16Array(&h, &f, 1);
  return h.value;
}

float ToFloat(WORD bits) {
  D3DXFLOAT16 h;
  h.value = bits;
  float f;
  D3DXFloat16To32Array(&f, &h, 1);
  return f;
}

// The value of a 16-bit pattern from the format's definition: no infinities or NaNs, exponent
// 31 is an ordinary exponent.
double HalfValue(WORD bits) {
  const int exponent = (bits >> 10) & 31;
  const int fraction = bits & 1023;
  const double magnitude = exponent == 0 ? std::ldexp(fraction, -24) : std::ldexp(1024 + fraction, exponent - 25);
  return (bits & 0x8000) ? -magnitude : magnitude;
}

// Both the portable conversions and the vector ones, where the processor has them.
class Float16Paths : public ::testing::TestWithParam<rastro::VectorLevel> {
 protected:
  void SetUp() override { rastro::OverrideVectorLevel(GetParam()); }
  void TearDown() override { rastro::OverrideVectorLevel(rastro::DetectVectorLevel()); }
};

INSTANTIATE_TEST_SUITE_P(Levels, Float16Paths,
                         ::testing::Values(rastro::VectorLevel::Portable, rastro::VectorLevel::Avx2));

TEST_P(Float16Paths, EveryPatternConvertsToItsExactValue) {
  std::vector<D3DXFLOAT16> halves(65536);
  std::vector<float> floats(65536);
  for (std::uint32_t bits = 0; bits < 65536; ++bits) halves[bits].value = static_cast<WORD>(bits);
  EXPECT_EQ(D3DXFloat16To32Array(floats.data(), halves.data(), 65536), floats.data());
  for (std::uint32_t bits = 0; bits < 65536; ++bits) {
    ASSERT_EQ(static_cast<double>(floats[bits]), HalfValue(static_cast<WORD>(bits))) << std::hex << bits;
    ASSERT_EQ(std::signbit(floats[bits]), (bits & 0x8000) != 0) << std::hex << bits;
  }
}

TEST_P(Float16Paths, EveryPatternSurvivesTheRoundTrip) {
  std::vector<D3DXFLOAT16> halves(65536), back(65536);
  std::vector<float> floats(65536);
  for (std::uint32_t bits = 0; bits < 65536; ++bits) halves[bits].value = static_cast<WORD>(bits);
  D3DXFloat16To32Array(floats.data(), halves.data(), 65536);
  EXPECT_EQ(D3DXFloat32To16Array(back.data(), floats.data(), 65536), back.data());
  for (std::uint32_t bits = 0; bits < 65536; ++bits) ASSERT_EQ(back[bits].value, bits) << std::hex << bits;
}

struct HalfCase {
  float value;
  WORD bits;
};

class Float16Writes : public ::testing::TestWithParam<HalfCase> {};

TEST_P(Float16Writes, RoundToNearestEvenAndHoldAtTheLargestMagnitude) {
  EXPECT_EQ(ToHalf(GetParam().value), GetParam().bits) << GetParam().value;
}

TEST(Float16, NullArraysAreLeftAlone) {
  float f = 1.0f;
  D3DXFLOAT16 h;
  EXPECT_EQ(D3DXFloat32To16Array(nullptr, &f, 1), nullptr);
  EXPECT_EQ(D3DXFloat16To32Array(nullptr, &h, 1), nullptr);
  EXPECT_EQ(D3DXFloat16To32Array(&f, nullptr, 1), &f);
  EXPECT_EQ(f, 1.0f);
}

INSTANTIATE_TEST_SUITE_P(Cases, Float16Writes,
                         ::testing::Values(HalfCase{1.0f, 0x3C00}, HalfCase{-2.0f, 0xC000}, HalfCase{0.5f, 0x3800},
                                           HalfCase{0.0f, 0x0000}, HalfCase{-0.0f, 0x8000},
                                           HalfCase{65536.0f, 0x7C00},   // an ordinary value here, not infinity
                                           HalfCase{131008.0f, 0x7FFF},  // the largest magnitude
                                           HalfCase{1.0e9f, 0x7FFF}, HalfCase{-1.0e9f, 0xFFFF},
                                           HalfCase{std::numeric_limits<float>::infinity(), 0x7FFF},
                                           HalfCase{-std::numeric_limits<float>::infinity(), 0xFFFF},
                                           HalfCase{std::numeric_limits<float>::quiet_NaN(), 0x7FFF},
                                           HalfCase{65520.0f, 0x7C00},             // halfway, to the even neighbour
                                           HalfCase{1.0f + 0x1p-11f, 0x3C00},      // halfway, down to even
                                           HalfCase{1.0f + 3 * 0x1p-11f, 0x3C02},  // halfway, up to even
                                           HalfCase{1.0f + 0x1p-11f + 0x1p-20f, 0x3C01},
                                           HalfCase{0x1p-14f, 0x0400},  // smallest normal
                                           HalfCase{0x1p-24f, 0x0001},  // smallest denormal
                                           HalfCase{0x1p-25f, 0x0000},  // halfway to it, down to even zero
                                           HalfCase{0x1p-25f + 0x1p-35f, 0x0001},
                                           HalfCase{0x1p-25f + 0x1p-48f, 0x0000},  // bits below 2^-37 are dropped
                                           HalfCase{3 * 0x1p-25f, 0x0002},         // halfway between 1 and 2 (x 2^-24)
                                           HalfCase{1023 * 0x1p-24f, 0x03FF},      // largest denormal
                                           HalfCase{0x1p-30f, 0x0000}, HalfCase{-0x1p-30f, 0x8000},
                                           HalfCase{1.0e-30f, 0x0000}, HalfCase{0x1p-149f, 0x0000}));

TEST(Float16, ReadsTheLargeExponentsAsNumbers) {
  EXPECT_EQ(ToFloat(0x7C00), 65536.0f);
  EXPECT_EQ(ToFloat(0x7FFF), 131008.0f);
  EXPECT_EQ(ToFloat(0xFC00), -65536.0f);
  EXPECT_EQ(ToFloat(0x0001), 0x1p-24f);
  EXPECT_EQ(ToFloat(0x03FF), 1023 * 0x1p-24f);
  EXPECT_EQ(ToFloat(0x3555), 0.333251953125f);
}

// The expected 16-bit pattern: in the normal range the nearest value found by search over all
// positive patterns, ties to the even pattern; beyond the largest magnitude the largest. Below
// 2^-14 the conversion first drops whatever lies below 2^-37 and then rounds to the nearest
// multiple of 2^-24, ties to even.
WORD NearestHalfBySearch(float f, const std::vector<double>& values) {
  const double target = std::fabs(static_cast<double>(f));
  const WORD sign = std::signbit(f) ? 0x8000 : 0;
  if (target >= values[0x7FFF]) return sign | 0x7FFF;
  if (target < 0x1p-14) {
    const double units = std::floor(std::ldexp(target, 37));  // multiples of 2^-37
    double whole = std::floor(units / 8192);
    const double rest = units - whole * 8192;
    if (rest > 4096 || (rest == 4096 && std::fmod(whole, 2) == 1)) whole += 1;
    return sign | static_cast<WORD>(whole);
  }
  auto upper = std::lower_bound(values.begin(), values.begin() + 0x8000, target);
  const auto high = static_cast<WORD>(upper - values.begin());
  if (values[high] == target || high == 0) return sign | high;
  const WORD low = high - 1;
  const double below = target - values[low], above = values[high] - target;
  if (below < above) return sign | low;
  if (above < below) return sign | high;
  return sign | ((low & 1) ? high : low);
}

TEST_P(Float16Paths, WritesMatchANearestValueSearchOverWideSamples) {
  std::vector<double> values(0x8000);
  for (WORD bits = 0; bits < 0x8000; ++bits) values[bits] = HalfValue(bits);
  std::vector<float> samples;
  std::mt19937 random(1234);
  std::uniform_int_distribution<std::uint32_t> anyBits;
  for (int i = 0; i < 200000; ++i) {
    // Float bit patterns spread over the exponents that matter (2^-30 to 2^18), both signs.
    std::uint32_t bits = anyBits(random);
    const std::uint32_t exponent = 97 + (bits >> 9) % 48;
    bits = (bits & 0x807FFFFFu) | (exponent << 23);
    samples.push_back(std::bit_cast<float>(bits));
  }
  // Every halfway point and its neighbours, both signs.
  for (WORD bits = 0; bits < 0x7FFF; ++bits) {
    const float middle = static_cast<float>((values[bits] + values[bits + 1]) / 2);
    for (float f : {std::nextafter(middle, 0.0f), middle, std::nextafter(middle, 1.0e6f)}) {
      samples.push_back(f);
      samples.push_back(-f);
    }
  }
  std::vector<D3DXFLOAT16> halves(samples.size());
  D3DXFloat32To16Array(halves.data(), samples.data(), static_cast<UINT>(samples.size()));
  for (size_t i = 0; i < samples.size(); ++i) {
    ASSERT_EQ(halves[i].value, NearestHalfBySearch(samples[i], values)) << std::hexfloat << samples[i];
  }
}

TEST(Float16, TypeConvertsBothWays) {
  D3DXFLOAT16 h(0.25f);
  EXPECT_EQ(h.value, 0x3400);
  EXPECT_EQ(static_cast<float>(h), 0.25f);
  EXPECT_TRUE(h == D3DXFLOAT16(0.25f));
  EXPECT_TRUE(h != D3DXFLOAT16(-0.25f));
}

}  // namespace
