// Stored integers must be trunc(v * max + offset) of the exact product and sum, which is what
// 32-bit float arithmetic rounding toward zero gives. Round-to-nearest arithmetic differs near
// every quantisation edge, so these tests sweep the floats closest to each edge, for every
// offset, through every vector level the processor offers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "CodecTestSupport.h"
#include "FormatCatalogue.h"
#include "ProcessorFeatures.h"

namespace rastro {
namespace {

using testing::DitherOffset;
using testing::LoadLittleEndian;
using testing::TestImage;

// trunc(v * max + offset) in exact arithmetic. The product of a float and a 16-bit integer
// fits the 64-bit significand of long double, and so does the sum whenever it can reach an
// integer; far smaller products cannot move the result.
std::int64_t ExactQuantize(float v, std::int64_t max, float offset, std::int64_t low, std::int64_t high) {
  const long double x = static_cast<long double>(v) * static_cast<long double>(max) + static_cast<long double>(offset);
  if (!(x > static_cast<long double>(low))) return low;
  if (x >= static_cast<long double>(high)) return high;
  return static_cast<std::int64_t>(x);  // truncates toward zero
}

// The float `steps` steps away from `value` (negative: downward).
float Step(float value, int steps) {
  for (; steps > 0; --steps) value = std::nextafter(value, 4.0f);
  for (; steps < 0; ++steps) value = std::nextafter(value, -4.0f);
  return value;
}

struct Channel {
  int shift;
  int bits;
  bool isSigned;
};

struct SweepCase {
  const char* name;
  D3DFORMAT format;
  unsigned bytes;
  std::vector<Channel> channels;  // in the order R, G, B, A
  int edgeStep;                   // test every edgeStep-th quantisation edge
};

void PrintTo(const SweepCase& c, std::ostream* os) { *os << c.name; }

std::vector<VectorLevel> LevelsToTest() {
  std::vector<VectorLevel> levels = {VectorLevel::Portable};
  const VectorLevel most = DetectVectorLevel();
  if (most >= VectorLevel::Sse2) levels.push_back(VectorLevel::Sse2);
  if (most >= VectorLevel::Avx2) levels.push_back(VectorLevel::Avx2);
  return levels;
}

class QuantizationSweep : public ::testing::TestWithParam<SweepCase> {
 protected:
  void TearDown() override { OverrideVectorLevel(DetectVectorLevel()); }
};

// Every channel of every pixel takes a value a few floats away from one of the edges
// (n - d) / max of that pixel's own offset d; the sweep goes on until each edge has been
// visited with each offset.
TEST_P(QuantizationSweep, StoresTheTruncatedExactSum) {
  const SweepCase& c = GetParam();
  constexpr UINT kWidth = 1024;
  constexpr int kStepsAround = 3;  // floats on each side of an edge
  for (VectorLevel level : LevelsToTest()) {
    OverrideVectorLevel(level);
    for (bool dither : {false, true}) {
      std::vector<std::int64_t> maxima, firsts, edgeCounts;
      std::int64_t mostCases = 0;
      for (const Channel& channel : c.channels) {
        const std::int64_t max = channel.isSigned ? (1ll << (channel.bits - 1)) - 1 : (1ll << channel.bits) - 1;
        const std::int64_t first = channel.isSigned ? -max : 1;
        const std::int64_t edges = (max - first) / c.edgeStep + 1;
        maxima.push_back(max);
        firsts.push_back(first);
        edgeCounts.push_back(edges);
        mostCases = std::max(mostCases, edges * (2 * kStepsAround + 1));
      }
      const UINT offsetsPerRow = dither ? 4 : 1;
      const UINT rows =
          static_cast<UINT>((mostCases * (dither ? 16 : 1) / offsetsPerRow + kWidth - 1) / kWidth * offsetsPerRow) + 4;
      TestImage image(c.format, c.bytes, kWidth, rows);
      image.region.Dither = dither ? TRUE : FALSE;
      auto codec = image.Codec();
      ASSERT_NE(codec, nullptr);

      std::vector<std::int64_t> visits(17, 0);  // per offset: 16 matrix entries, and 0.5
      std::uint64_t roundingDiffers = 0;
      std::vector<FloatRgba> row(kWidth);
      for (UINT y = 0; y < rows; ++y) {
        for (UINT x = 0; x < kWidth; ++x) {
          const float offset = dither ? DitherOffset(x, y, 0) : 0.5f;
          const int slot = dither ? static_cast<int>(offset * 16) : 16;
          const std::int64_t visit = visits[slot]++;
          float v[4] = {0, 0, 0, 0};
          for (size_t ch = 0; ch < c.channels.size(); ++ch) {
            const std::int64_t cases = edgeCounts[ch] * (2 * kStepsAround + 1);
            const std::int64_t index = (visit + static_cast<std::int64_t>(ch) * 5) % cases;
            const std::int64_t n = firsts[ch] + (index / (2 * kStepsAround + 1)) * c.edgeStep;
            const int steps = static_cast<int>(index % (2 * kStepsAround + 1)) - kStepsAround;
            v[ch] = Step((static_cast<float>(n) - offset) / static_cast<float>(maxima[ch]), steps);
          }
          row[x] = {v[0], v[1], v[2], v[3]};
        }
        codec->WriteRow(y, 0, row.data());
        for (UINT x = 0; x < kWidth; ++x) {
          const std::uint64_t stored = LoadLittleEndian(image.Pixel(x, y, 0, c.bytes), c.bytes);
          const float offset = dither ? DitherOffset(x, y, 0) : 0.5f;
          const float v[4] = {row[x].R, row[x].G, row[x].B, row[x].A};
          for (size_t ch = 0; ch < c.channels.size(); ++ch) {
            const Channel& channel = c.channels[ch];
            const std::uint64_t mask = (1ull << channel.bits) - 1;
            const std::int64_t max = maxima[ch];
            const std::int64_t expected = channel.isSigned ? ExactQuantize(v[ch], max, offset, -max - 1, max)
                                                           : ExactQuantize(v[ch], max, offset, 0, max);
            const std::uint64_t got = (stored >> channel.shift) & mask;
            ASSERT_EQ(got, static_cast<std::uint64_t>(expected) & mask)
                << c.name << " level " << static_cast<int>(level) << (dither ? " dithered" : "") << " value "
                << std::hexfloat << v[ch] << " offset " << offset;
            // Count the values where round-to-nearest float arithmetic would have stored
            // something else, to show that the sweep reaches them.
            const float nearest = v[ch] * static_cast<float>(max) + offset;
            if (static_cast<std::int64_t>(nearest) != expected && std::fabs(nearest) < static_cast<float>(max)) {
              ++roundingDiffers;
            }
          }
        }
      }
      for (int slot = dither ? 0 : 16; slot < (dither ? 16 : 17); ++slot) EXPECT_GE(visits[slot], mostCases) << slot;
      EXPECT_GT(roundingDiffers, 0u) << c.name << ": the sweep never reached a value where rounding matters";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, QuantizationSweep,
    ::testing::Values(
        SweepCase{"A8R8G8B8", D3DFMT_A8R8G8B8, 4, {{16, 8, false}, {8, 8, false}, {0, 8, false}, {24, 8, false}}, 1},
        SweepCase{"X8R8G8B8", D3DFMT_X8R8G8B8, 4, {{16, 8, false}, {8, 8, false}, {0, 8, false}}, 1},
        SweepCase{"A8B8G8R8", D3DFMT_A8B8G8R8, 4, {{0, 8, false}, {8, 8, false}, {16, 8, false}, {24, 8, false}}, 1},
        SweepCase{"R5G6B5", D3DFMT_R5G6B5, 2, {{11, 5, false}, {5, 6, false}, {0, 5, false}}, 1},
        SweepCase{"X1R5G5B5", D3DFMT_X1R5G5B5, 2, {{10, 5, false}, {5, 5, false}, {0, 5, false}}, 1},
        SweepCase{"A4R4G4B4", D3DFMT_A4R4G4B4, 2, {{8, 4, false}, {4, 4, false}, {0, 4, false}, {12, 4, false}}, 1},
        SweepCase{"A2R10G10B10",
                  D3DFMT_A2R10G10B10,
                  4,
                  {{20, 10, false}, {10, 10, false}, {0, 10, false}, {30, 2, false}},
                  1},
        SweepCase{"A16B16G16R16",
                  D3DFMT_A16B16G16R16,
                  8,
                  {{0, 16, false}, {16, 16, false}, {32, 16, false}, {48, 16, false}},
                  61},
        SweepCase{"Q8W8V8U8", D3DFMT_Q8W8V8U8, 4, {{0, 8, true}, {8, 8, true}, {16, 8, true}, {24, 8, true}}, 1},
        SweepCase{"V16U16", D3DFMT_V16U16, 4, {{0, 16, true}, {16, 16, true}}, 37}),
    [](const auto& test) { return std::string(test.param.name); });

// Luminance is a weighted sum computed in the same rounding before it is quantised; the
// reference here is that sum done by the processor in round-toward-zero, one operation at a
// time, and the truncated result.
TEST(QuantizationLuminance, MatchesRoundTowardZeroArithmetic) {
  for (VectorLevel level : LevelsToTest()) {
    OverrideVectorLevel(level);
    constexpr UINT kWidth = 1024;
    TestImage image(D3DFMT_L8, 1, kWidth, 64);
    auto codec = image.Codec();
    std::vector<FloatRgba> row(kWidth);
    std::uint32_t seed = 7;
    for (UINT y = 0; y < 64; ++y) {
      for (UINT x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const float g = static_cast<float>(seed >> 8) / 16777216.0f;
        // Grey values near the edges, and random colours.
        row[x] = (x & 1) ? FloatRgba{g, g, g, 1}
                         : FloatRgba{std::nextafter((static_cast<float>(x % 255) + 0.5f) / 255.0f, y & 2 ? 0.0f : 1.0f),
                                     (static_cast<float>(x % 255) + 0.5f) / 255.0f,
                                     (static_cast<float>(x % 255) + 0.5f) / 255.0f, 1};
      }
      codec->WriteRow(y, 0, row.data());
      const int previous = std::fegetround();
      std::fesetround(FE_TOWARDZERO);
      for (UINT x = 0; x < kWidth; ++x) {
        volatile float r = row[x].R, g = row[x].G, b = row[x].B;
        volatile float weightedR = 0.2125f * r;
        volatile float weightedG = 0.7154f * g;
        volatile float weightedB = 0.0721f * b;
        volatile float sum = weightedR + weightedG;
        sum = sum + weightedB;
        volatile float scaled = sum * 255.0f;
        volatile float total = scaled + 0.5f;
        const auto expected = static_cast<unsigned>(static_cast<int>(total));
        if (image.bytes[static_cast<size_t>(y) * kWidth + x] != expected) {
          std::fesetround(previous);
          FAIL() << "pixel " << x << " row " << y << " level " << static_cast<int>(level);
        }
      }
      std::fesetround(previous);
    }
  }
  OverrideVectorLevel(DetectVectorLevel());
}

TEST(Quantization, RestoresTheCallersRoundingMode) {
  TestImage image(D3DFMT_A8R8G8B8, 4, 4);
  auto codec = image.Codec();
  const FloatRgba row[4] = {};
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD}) {
    std::fesetround(mode);
    codec->WriteRow(0, 0, row);
    EXPECT_EQ(std::fegetround(), mode);
  }
  std::fesetround(FE_TONEAREST);
}

// Reading gives field / max rounded to nearest on every path, whatever rounding the caller
// has set.
TEST(Quantization, ReadingDoesNotDependOnTheCallersRoundingMode) {
  TestImage image(D3DFMT_A8R8G8B8, 4, 64);
  for (size_t i = 0; i < image.bytes.size(); ++i) image.bytes[i] = static_cast<BYTE>(i * 37 + 11);
  for (VectorLevel level : LevelsToTest()) {
    OverrideVectorLevel(level);
    auto codec = image.Codec();
    for (int mode : {FE_TOWARDZERO, FE_UPWARD, FE_DOWNWARD}) {
      std::vector<FloatRgba> out(64);
      std::fesetround(mode);
      codec->ReadRow(0, 0, out.data());
      std::fesetround(FE_TONEAREST);
      for (UINT x = 0; x < 64; ++x) {
        ASSERT_EQ(out[x].B, static_cast<float>(image.bytes[4 * x]) / 255.0f)
            << x << " level " << static_cast<int>(level);
        ASSERT_EQ(out[x].A, static_cast<float>(image.bytes[4 * x + 3]) / 255.0f) << x;
      }
    }
  }
  OverrideVectorLevel(DetectVectorLevel());
}

// Sixteen-bit fields have no tables: field / 65535 (signed: s / 32767) must still come out
// rounded to nearest.
TEST(Quantization, SixteenBitFieldsReadToNearestInEveryRoundingMode) {
  struct Case {
    const char* name;
    D3DFORMAT format;
    unsigned bytes;
    std::vector<int> shifts;  // of the R, G, B, A fields that the format stores, -1 for none
    bool isSigned;
  };
  const std::vector<Case> cases{
      {"G16R16", D3DFMT_G16R16, 4, {0, 16, -1, -1}, false},
      {"A16B16G16R16", D3DFMT_A16B16G16R16, 8, {0, 16, 32, 48}, false},
      {"V16U16", D3DFMT_V16U16, 4, {0, 16, -1, -1}, true},
      {"Q16W16V16U16", D3DFMT_Q16W16V16U16, 8, {0, 16, 32, 48}, true},
  };
  constexpr UINT kWidth = 256;
  for (const Case& c : cases) {
    TestImage image(c.format, c.bytes, kWidth, 1);
    std::uint32_t seed = 99;
    for (BYTE& b : image.bytes) {
      seed = seed * 1664525u + 1013904223u;
      b = static_cast<BYTE>(seed >> 24);
    }
    for (VectorLevel level : LevelsToTest()) {
      OverrideVectorLevel(level);
      auto codec = image.Codec();
      ASSERT_NE(codec, nullptr) << c.name;
      for (int mode : {FE_TOWARDZERO, FE_UPWARD, FE_DOWNWARD}) {
        std::vector<FloatRgba> out(kWidth);
        std::fesetround(mode);
        codec->ReadRow(0, 0, out.data());
        std::fesetround(FE_TONEAREST);
        for (UINT x = 0; x < kWidth; ++x) {
          const std::uint64_t pixel = LoadLittleEndian(image.Pixel(x, 0, 0, c.bytes), c.bytes);
          const float got[4] = {out[x].R, out[x].G, out[x].B, out[x].A};
          for (int ch = 0; ch < 4; ++ch) {
            if (c.shifts[ch] < 0) continue;
            const auto field = static_cast<std::uint32_t>((pixel >> c.shifts[ch]) & 0xFFFF);
            const float expected =
                c.isSigned ? static_cast<float>(std::max(static_cast<int>(static_cast<std::int16_t>(field)), -32767)) /
                                 32767.0f
                           : static_cast<float>(field) / 65535.0f;
            ASSERT_EQ(got[ch], expected) << c.name << " pixel " << x << " channel " << ch << " mode " << mode
                                         << " level " << static_cast<int>(level);
          }
        }
      }
    }
  }
  OverrideVectorLevel(DetectVectorLevel());
}

// Every format the loader knows reads the same bits whatever rounding mode the caller left
// set, on every vector level.
TEST(Quantization, EveryFormatReadsTheSameInEveryRoundingMode) {
  constexpr UINT kWidth = 64;
  constexpr UINT kHeight = 4;
  PALETTEENTRY palette[256];
  for (int i = 0; i < 256; ++i) {
    palette[i] = {static_cast<BYTE>(i * 7), static_cast<BYTE>(i * 13), static_cast<BYTE>(i * 29), static_cast<BYTE>(i)};
  }
  UINT formatsRead = 0;
  for (UINT i = 0; i < FormatCatalogueSize(); ++i) {
    const FormatInfo& info = FormatCatalogue()[i];
    const bool block = info.Format == D3DFMT_DXT1 || info.Format == D3DFMT_DXT2 || info.Format == D3DFMT_DXT3 ||
                       info.Format == D3DFMT_DXT4 || info.Format == D3DFMT_DXT5;
    const UINT rowPitch = block ? kWidth / 4 * (info.Format == D3DFMT_DXT1 ? 8 : 16) : kWidth * info.BitsPerPixel / 8;
    TestImage image(info.Format, rowPitch, kWidth, block ? 1 : kHeight, 1, 0, 0);
    image.region.Extent.Bottom = image.region.Region.Bottom = kHeight;
    image.region.Palette = palette;
    std::uint32_t seed = 12345 + i;
    for (BYTE& b : image.bytes) {
      seed = seed * 1664525u + 1013904223u;
      b = static_cast<BYTE>(seed >> 24);
    }
    for (VectorLevel level : LevelsToTest()) {
      OverrideVectorLevel(level);
      auto codec = image.Codec();
      if (!codec) continue;  // a format the loader only names
      const UINT rows = block ? 4 : kHeight;
      std::vector<FloatRgba> nearest(kWidth), other(kWidth);
      for (UINT y = 0; y < rows; ++y) {
        codec->ReadRow(y, 0, nearest.data());
        for (int mode : {FE_TOWARDZERO, FE_UPWARD, FE_DOWNWARD}) {
          std::fesetround(mode);
          codec->ReadRow(y, 0, other.data());
          std::fesetround(FE_TONEAREST);
          for (UINT x = 0; x < kWidth; ++x) {
            ASSERT_EQ(std::memcmp(&nearest[x], &other[x], sizeof(FloatRgba)), 0)
                << "format " << std::hex << info.Format << std::dec << " pixel " << x << " row " << y << " mode "
                << mode << " level " << static_cast<int>(level) << ": " << std::hexfloat << nearest[x].R << ","
                << nearest[x].G << "," << nearest[x].B << "," << nearest[x].A << " against " << other[x].R << ","
                << other[x].G << "," << other[x].B << "," << other[x].A;
          }
        }
      }
      ++formatsRead;
    }
  }
  EXPECT_GE(formatsRead, 50u);
  OverrideVectorLevel(DetectVectorLevel());
}

}  // namespace
}  // namespace rastro
