#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "CodecTestSupport.h"
#include "FormatCatalogue.h"
#include "PixelCodec.h"
#include "ProcessorFeatures.h"

namespace rastro {
namespace {

using testing::DitherOffset;
using testing::kDitherMatrix;
using testing::LoadLittleEndian;
using testing::StoreLittleEndian;
using testing::TestImage;

// ---------------------------------------------------------------------------------------------
// Every plain format: write each field's values, check the stored bits, read them back.

enum Channel { R, G, B, A, L };

struct Field {
  Channel channel;
  unsigned shift;
  unsigned bits;
  bool isSigned = false;
};

struct FormatLayout {
  const char* name;
  D3DFORMAT format;
  unsigned bytes;
  std::vector<Field> fields;
  float missingColor = 1.0f;  // what R, G, B read as when the format lacks them
};

// From the published bit layouts of the formats.
const std::vector<FormatLayout>& Layouts() {
  static const std::vector<FormatLayout> layouts = {
      {"R8G8B8", D3DFMT_R8G8B8, 3, {{B, 0, 8}, {G, 8, 8}, {R, 16, 8}}},
      {"A8R8G8B8", D3DFMT_A8R8G8B8, 4, {{B, 0, 8}, {G, 8, 8}, {R, 16, 8}, {A, 24, 8}}},
      {"X8R8G8B8", D3DFMT_X8R8G8B8, 4, {{B, 0, 8}, {G, 8, 8}, {R, 16, 8}}},
      {"R5G6B5", D3DFMT_R5G6B5, 2, {{B, 0, 5}, {G, 5, 6}, {R, 11, 5}}},
      {"X1R5G5B5", D3DFMT_X1R5G5B5, 2, {{B, 0, 5}, {G, 5, 5}, {R, 10, 5}}},
      {"A1R5G5B5", D3DFMT_A1R5G5B5, 2, {{B, 0, 5}, {G, 5, 5}, {R, 10, 5}, {A, 15, 1}}},
      {"A4R4G4B4", D3DFMT_A4R4G4B4, 2, {{B, 0, 4}, {G, 4, 4}, {R, 8, 4}, {A, 12, 4}}},
      {"R3G3B2", D3DFMT_R3G3B2, 1, {{B, 0, 2}, {G, 2, 3}, {R, 5, 3}}},
      {"A8", D3DFMT_A8, 1, {{A, 0, 8}}, 0.0f},
      {"A8R3G3B2", D3DFMT_A8R3G3B2, 2, {{B, 0, 2}, {G, 2, 3}, {R, 5, 3}, {A, 8, 8}}},
      {"X4R4G4B4", D3DFMT_X4R4G4B4, 2, {{B, 0, 4}, {G, 4, 4}, {R, 8, 4}}},
      {"A2B10G10R10", D3DFMT_A2B10G10R10, 4, {{R, 0, 10}, {G, 10, 10}, {B, 20, 10}, {A, 30, 2}}},
      {"A8B8G8R8", D3DFMT_A8B8G8R8, 4, {{R, 0, 8}, {G, 8, 8}, {B, 16, 8}, {A, 24, 8}}},
      {"X8B8G8R8", D3DFMT_X8B8G8R8, 4, {{R, 0, 8}, {G, 8, 8}, {B, 16, 8}}},
      {"G16R16", D3DFMT_G16R16, 4, {{R, 0, 16}, {G, 16, 16}}},
      {"A2R10G10B10", D3DFMT_A2R10G10B10, 4, {{B, 0, 10}, {G, 10, 10}, {R, 20, 10}, {A, 30, 2}}},
      {"A16B16G16R16", D3DFMT_A16B16G16R16, 8, {{R, 0, 16}, {G, 16, 16}, {B, 32, 16}, {A, 48, 16}}},
      {"L8", D3DFMT_L8, 1, {{L, 0, 8}}},
      {"A8L8", D3DFMT_A8L8, 2, {{L, 0, 8}, {A, 8, 8}}},
      {"A4L4", D3DFMT_A4L4, 1, {{L, 0, 4}, {A, 4, 4}}},
      {"L16", D3DFMT_L16, 2, {{L, 0, 16}}},
      {"D16_LOCKABLE", D3DFMT_D16_LOCKABLE, 2, {{L, 0, 16}}},
      {"AL16", FORMAT_AL16, 4, {{L, 0, 16}, {A, 16, 16}}},
      {"R16", FORMAT_R16, 6, {{B, 0, 16}, {G, 16, 16}, {R, 32, 16}}},
      {"V8U8", D3DFMT_V8U8, 2, {{R, 0, 8, true}, {G, 8, 8, true}}},
      {"L6V5U5", D3DFMT_L6V5U5, 2, {{R, 0, 5, true}, {G, 5, 5, true}, {A, 10, 6}}},
      {"X8L8V8U8", D3DFMT_X8L8V8U8, 4, {{R, 0, 8, true}, {G, 8, 8, true}, {A, 16, 8}}},
      {"Q8W8V8U8", D3DFMT_Q8W8V8U8, 4, {{R, 0, 8, true}, {G, 8, 8, true}, {B, 16, 8, true}, {A, 24, 8, true}}},
      {"V16U16", D3DFMT_V16U16, 4, {{R, 0, 16, true}, {G, 16, 16, true}}},
      {"A2W10V10U10", D3DFMT_A2W10V10U10, 4, {{R, 0, 10, true}, {G, 10, 10, true}, {B, 20, 10, true}, {A, 30, 2}}},
      {"Q16W16V16U16",
       D3DFMT_Q16W16V16U16,
       8,
       {{R, 0, 16, true}, {G, 16, 16, true}, {B, 32, 16, true}, {A, 48, 16, true}}},
  };
  return layouts;
}

void PrintTo(const FormatLayout& layout, std::ostream* os) { *os << layout.name; }

float& ChannelOf(FloatRgba& p, Channel c) {
  switch (c) {
    case R: return p.R;
    case G: return p.G;
    case B: return p.B;
    default: return p.A;
  }
}

class PlainFormat : public ::testing::TestWithParam<std::tuple<FormatLayout, VectorLevel>> {
 protected:
  void SetUp() override { OverrideVectorLevel(std::get<1>(GetParam())); }
  void TearDown() override { OverrideVectorLevel(DetectVectorLevel()); }
};

// Unsigned fields store k for k / max; signed fields store s for s / max when s >= 0 and move
// negative values one step toward zero (s + 0.5 truncated). Reading gives stored / max.
TEST_P(PlainFormat, WritesEveryFieldValueAndReadsItBack) {
  const FormatLayout& layout = std::get<0>(GetParam());
  constexpr UINT kWidth = 700;
  TestImage image(layout.format, layout.bytes, kWidth);
  auto codec = image.Codec();
  ASSERT_NE(codec, nullptr);
  EXPECT_EQ(codec->BytesPerPixel(), layout.bytes);

  std::vector<FloatRgba> in(kWidth), out(kWidth);
  std::vector<std::uint64_t> expectedBits(kWidth, 0);
  std::vector<FloatRgba> expectedRead(kWidth);
  for (UINT x = 0; x < kWidth; ++x) {
    in[x] = {0.25f, 0.5f, 0.75f, 1.0f};  // channels the format lacks
    expectedRead[x] = {layout.missingColor, layout.missingColor, layout.missingColor, 1.0f};
    for (size_t f = 0; f < layout.fields.size(); ++f) {
      const Field& field = layout.fields[f];
      // Walk each field through its whole range, fields out of step with each other; the
      // first and last pixels take the extremes.
      if (field.isSigned) {
        const std::int64_t max = (1ll << (field.bits - 1)) - 1;
        std::int64_t s = (static_cast<std::int64_t>(x) * 7919 * (f + 1)) % (2 * max + 1) - max;
        if (x == 0) s = -max;
        if (x == kWidth - 1) s = max;
        const float value = static_cast<float>(s) / static_cast<float>(max);
        const std::int64_t stored = s < 0 ? s + 1 : s;
        expectedBits[x] |= (static_cast<std::uint64_t>(stored) & ((1ull << field.bits) - 1)) << field.shift;
        ChannelOf(in[x], field.channel) = value;
        ChannelOf(expectedRead[x], field.channel) = static_cast<float>(stored) / static_cast<float>(max);
      } else {
        const std::uint64_t max = (1ull << field.bits) - 1;
        std::uint64_t k = (static_cast<std::uint64_t>(x) * 7919 * (f + 1)) % (max + 1);
        if (x == 0) k = 0;
        if (x == kWidth - 1) k = max;
        const float value = static_cast<float>(k) / static_cast<float>(max);
        expectedBits[x] |= k << field.shift;
        if (field.channel == L) {
          in[x].R = in[x].G = in[x].B = value;
          expectedRead[x].R = expectedRead[x].G = expectedRead[x].B = value;
        } else {
          ChannelOf(in[x], field.channel) = value;
          ChannelOf(expectedRead[x], field.channel) = value;
        }
      }
    }
  }

  codec->WriteRow(0, 0, in.data());
  for (UINT x = 0; x < kWidth; ++x) {
    ASSERT_EQ(LoadLittleEndian(image.Pixel(x, 0, 0, layout.bytes), layout.bytes), expectedBits[x])
        << layout.name << " pixel " << x;
  }
  codec->ReadRow(0, 0, out.data());
  for (UINT x = 0; x < kWidth; ++x) {
    ASSERT_EQ(out[x].R, expectedRead[x].R) << layout.name << " pixel " << x;
    ASSERT_EQ(out[x].G, expectedRead[x].G) << layout.name << " pixel " << x;
    ASSERT_EQ(out[x].B, expectedRead[x].B) << layout.name << " pixel " << x;
    ASSERT_EQ(out[x].A, expectedRead[x].A) << layout.name << " pixel " << x;
  }
}

std::string PlainFormatName(const ::testing::TestParamInfo<std::tuple<FormatLayout, VectorLevel>>& info) {
  static const char* const kLevels[] = {"Portable", "Sse2", "Avx2"};
  return std::string(std::get<0>(info.param).name) + "_" + kLevels[static_cast<int>(std::get<1>(info.param))];
}

// Every path the processor offers (a level above the processor's falls back to what it has).
INSTANTIATE_TEST_SUITE_P(Formats, PlainFormat,
                         ::testing::Combine(::testing::ValuesIn(Layouts()),
                                            ::testing::Values(VectorLevel::Portable, VectorLevel::Sse2,
                                                              VectorLevel::Avx2)),
                         PlainFormatName);

// ---------------------------------------------------------------------------------------------
// Single behaviours of the format table.

FloatRgba ReadOne(D3DFORMAT format, unsigned bytes, std::uint64_t bits) {
  TestImage image(format, bytes, 1);
  StoreLittleEndian(image.bytes.data(), bytes, bits);
  auto codec = image.Codec();
  FloatRgba out{-9, -9, -9, -9};
  if (codec) codec->ReadRow(0, 0, &out);
  return out;
}

std::uint64_t WriteOne(D3DFORMAT format, unsigned bytes, FloatRgba pixel, BYTE fill = 0) {
  TestImage image(format, bytes, 1, 1, 1, fill);
  auto codec = image.Codec();
  if (codec) codec->WriteRow(0, 0, &pixel);
  return LoadLittleEndian(image.bytes.data(), bytes);
}

TEST(SignedFields, MostNegativeValueReadsAsMinusOne) {
  EXPECT_EQ(ReadOne(D3DFMT_V8U8, 2, 0x8180).R, -1.0f);
  EXPECT_EQ(ReadOne(D3DFMT_V8U8, 2, 0x8180).G, -1.0f);
  EXPECT_EQ(ReadOne(D3DFMT_V8U8, 2, 0x007F).R, 1.0f);
  EXPECT_EQ(ReadOne(D3DFMT_V8U8, 2, 0x0000).R, 0.0f);
  EXPECT_EQ(ReadOne(D3DFMT_L6V5U5, 2, 0x0010).R, -1.0f);  // -16 in five bits
  EXPECT_EQ(ReadOne(D3DFMT_L6V5U5, 2, 0x0011).R, -1.0f);  // -15
  EXPECT_EQ(ReadOne(D3DFMT_A2W10V10U10, 2 * 2, 0x200).R, -1.0f);
  EXPECT_EQ(ReadOne(D3DFMT_V16U16, 4, 0x8000).R, -1.0f);
  EXPECT_EQ(ReadOne(D3DFMT_V16U16, 4, 0x8001).R, -1.0f);
  EXPECT_EQ(ReadOne(D3DFMT_Q16W16V16U16, 8, 0x8000ull << 48).A, -1.0f);
}

TEST(SignedFields, WritesMoveNegativeValuesTowardZero) {
  EXPECT_EQ(WriteOne(D3DFMT_V8U8, 2, {-1.0f, 1.0f, 0, 0}), 0x7F82u);
  EXPECT_EQ(WriteOne(D3DFMT_V8U8, 2, {0.0f, -0.5f, 0, 0}), 0xC100u);  // -63.5 + 0.5 -> -63
}

TEST(PlainCodec, RoundsOneToTheTopOfTheField) {
  EXPECT_EQ(WriteOne(D3DFMT_A8R8G8B8, 4, {1, 1, 1, 1}), 0xFFFFFFFFu);
  EXPECT_EQ(WriteOne(D3DFMT_A8R8G8B8, 4, {0.5f, 0.5f, 0.5f, 0.5f}), 0x80808080u);  // 128.0
  EXPECT_EQ(WriteOne(D3DFMT_R5G6B5, 2, {1, 1, 1, 1}), 0xFFFFu);
}

TEST(PlainCodec, NoAlphaFormatsReadOpaqueAndStoreZeroInTheUnusedBits) {
  const FloatRgba transparent{0.2f, 0.4f, 0.6f, 0.0f};
  EXPECT_EQ(WriteOne(D3DFMT_X8R8G8B8, 4, transparent, 0xFF) >> 24, 0u);
  EXPECT_EQ(WriteOne(D3DFMT_X8B8G8R8, 4, transparent, 0xFF) >> 24, 0u);
  EXPECT_EQ(WriteOne(D3DFMT_X1R5G5B5, 2, transparent, 0xFF) >> 15, 0u);
  EXPECT_EQ(WriteOne(D3DFMT_X4R4G4B4, 2, transparent, 0xFF) >> 12, 0u);
  EXPECT_EQ(WriteOne(D3DFMT_X8L8V8U8, 4, transparent, 0xFF) >> 24, 0u);
  EXPECT_EQ(ReadOne(D3DFMT_X8R8G8B8, 4, 0x00123456).A, 1.0f);
  EXPECT_EQ(ReadOne(D3DFMT_X8R8G8B8, 4, 0xAB123456).A, 1.0f);
  EXPECT_EQ(ReadOne(D3DFMT_R5G6B5, 2, 0).A, 1.0f);
}

TEST(PlainCodec, MissingChannelsReadTheirDefaults) {
  const FloatRgba a8 = ReadOne(D3DFMT_A8, 1, 0x33);
  EXPECT_EQ(a8.R, 0.0f);
  EXPECT_EQ(a8.G, 0.0f);
  EXPECT_EQ(a8.B, 0.0f);
  EXPECT_EQ(a8.A, 0.2f);
  const FloatRgba g16r16 = ReadOne(D3DFMT_G16R16, 4, 0);
  EXPECT_EQ(g16r16.B, 1.0f);
  EXPECT_EQ(g16r16.A, 1.0f);
  const FloatRgba v8u8 = ReadOne(D3DFMT_V8U8, 2, 0);
  EXPECT_EQ(v8u8.B, 1.0f);
  EXPECT_EQ(v8u8.A, 1.0f);
  EXPECT_EQ(ReadOne(D3DFMT_L6V5U5, 2, 0).B, 1.0f);
  const FloatRgba l8 = ReadOne(D3DFMT_L8, 1, 51);
  EXPECT_EQ(l8.R, 0.2f);
  EXPECT_EQ(l8.G, 0.2f);
  EXPECT_EQ(l8.B, 0.2f);
  EXPECT_EQ(l8.A, 1.0f);
}

TEST(PlainCodec, LuminanceIsWrittenFromWeightedColour) {
  // 0.2125 * 1 + 0.7154 * 0 + 0.0721 * 0 = 0.2125 -> 54.19 + 0.5 -> 54
  EXPECT_EQ(WriteOne(D3DFMT_L8, 1, {1, 0, 0, 1}), 54u);
  EXPECT_EQ(WriteOne(D3DFMT_L8, 1, {0, 1, 0, 1}), 182u);  // 182.43 + 0.5
  EXPECT_EQ(WriteOne(D3DFMT_L8, 1, {0, 0, 1, 1}), 18u);   // 18.39 + 0.5
  EXPECT_EQ(WriteOne(D3DFMT_A8L8, 2, {0, 1, 0, 0.2f}), 0x33B6u);
}

TEST(PlainCodec, QuantisationHoldsStrayValuesInsideTheirField) {
  // Out of range input must not spill into the neighbouring fields.
  EXPECT_EQ(WriteOne(D3DFMT_R5G6B5, 2, {0, 1.5f, 0, 1}), 0x07E0u);
  EXPECT_EQ(WriteOne(D3DFMT_R5G6B5, 2, {0, -0.5f, 0, 1}), 0x0000u);
  EXPECT_EQ(WriteOne(D3DFMT_A8R8G8B8, 4, {std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f, 2}), 0xFF00FF00u);
  EXPECT_EQ(WriteOne(D3DFMT_V8U8, 2, {-3.0f, 3.0f, 0, 0}), 0x7F80u);
}

// ---------------------------------------------------------------------------------------------
// Dithering

TEST(Dither, WritingZeroStoresZeroEverywhere) {
  TestImage image(D3DFMT_A8R8G8B8, 4, 8, 4, 4, 0xEE);
  image.region.Dither = TRUE;
  auto codec = image.Codec();
  std::vector<FloatRgba> zeros(8, FloatRgba{0, 0, 0, 0});
  for (UINT z = 0; z < 4; ++z)
    for (UINT y = 0; y < 4; ++y) codec->WriteRow(y, z, zeros.data());
  for (BYTE b : image.bytes) ASSERT_EQ(b, 0);
}

TEST(Dither, HalfInAFiveBitFieldFollowsTheMatrix) {
  TestImage image(D3DFMT_X1R5G5B5, 2, 8, 4, 4);
  image.region.Dither = TRUE;
  auto codec = image.Codec();
  std::vector<FloatRgba> half(8, FloatRgba{0.5f, 0.5f, 0.5f, 1});
  for (UINT z = 0; z < 4; ++z)
    for (UINT y = 0; y < 4; ++y) codec->WriteRow(y, z, half.data());
  for (UINT z = 0; z < 4; ++z) {
    for (UINT y = 0; y < 4; ++y) {
      for (UINT x = 0; x < 8; ++x) {
        // 15.5 + offset reaches 16 exactly when the offset is at least 0.5, k >= 8.
        const unsigned expected = kDitherMatrix[y][(x + z) & 3] >= 8 ? 16 : 15;
        const auto bits = LoadLittleEndian(image.Pixel(x, y, z, 2), 2);
        ASSERT_EQ(bits & 31, expected) << x << "," << y << "," << z;
        ASSERT_EQ((bits >> 5) & 31, expected);
        ASSERT_EQ((bits >> 10) & 31, expected);
      }
    }
  }
}

// Recover each pixel's offset: 8-bit values 100 + j/16 (j = 0..15) store 101 exactly when
// j/16 + offset reaches 1, so the first j that does gives k = 16 - j.
TEST(Dither, EveryOffsetIsTheMatrixEntryRotatedBySlice) {
  TestImage image(D3DFMT_A8, 1, 8, 4, 4);
  image.region.Dither = TRUE;
  auto codec = image.Codec();
  std::vector<int> firstCarry(8 * 4 * 4, 16);
  for (int j = 15; j >= 0; --j) {
    const float value = (100.0f + static_cast<float>(j) / 16.0f) / 255.0f;
    std::vector<FloatRgba> row(8, FloatRgba{0, 0, 0, value});
    for (UINT z = 0; z < 4; ++z)
      for (UINT y = 0; y < 4; ++y) codec->WriteRow(y, z, row.data());
    for (UINT i = 0; i < firstCarry.size(); ++i) {
      ASSERT_TRUE(image.bytes[i] == 100 || image.bytes[i] == 101);
      if (image.bytes[i] == 101) firstCarry[i] = j;
    }
  }
  for (UINT z = 0; z < 4; ++z)
    for (UINT y = 0; y < 4; ++y)
      for (UINT x = 0; x < 8; ++x)
        EXPECT_EQ(16 - firstCarry[z * 32 + y * 8 + x], kDitherMatrix[y][(x + z) & 3]) << x << "," << y << "," << z;
}

TEST(Dither, OneOffsetServesEveryChannelOfAPixel) {
  TestImage image(D3DFMT_A8R8G8B8, 4, 4, 1);
  image.region.Dither = TRUE;
  auto codec = image.Codec();
  const float v = 100.5f / 255.0f;  // 100.5 + offset carries exactly when offset >= 0.5
  std::vector<FloatRgba> row(4, FloatRgba{v, v, v, v});
  codec->WriteRow(0, 0, row.data());
  for (UINT x = 0; x < 4; ++x) {
    const BYTE expected = kDitherMatrix[0][x] >= 8 ? 101 : 100;
    for (int c = 0; c < 4; ++c) EXPECT_EQ(image.bytes[4 * x + c], expected) << x;
  }
}

// ---------------------------------------------------------------------------------------------
// Region placement

TEST(PlainCodec, RowsAreRelativeToTheRegionCorner) {
  TestImage image(D3DFMT_A8R8G8B8, 4, 4, 4, 3, 0x11);
  image.region.Region = {1, 2, 3, 4, 1, 3};
  auto codec = image.Codec();
  ASSERT_NE(codec, nullptr);
  EXPECT_EQ(codec->Width(), 2u);
  EXPECT_EQ(codec->Height(), 2u);
  EXPECT_EQ(codec->Depth(), 2u);
  EXPECT_TRUE(codec->Flags().RegionRebased);
  EXPECT_EQ(codec->Base(), image.Pixel(1, 2, 1, 4));
  std::vector<FloatRgba> white(2, FloatRgba{1, 1, 1, 1});
  codec->WriteRow(1, 1, white.data());
  for (UINT z = 0; z < 3; ++z)
    for (UINT y = 0; y < 4; ++y)
      for (UINT x = 0; x < 4; ++x) {
        const bool written = z == 2 && y == 3 && (x == 1 || x == 2);
        EXPECT_EQ(LoadLittleEndian(image.Pixel(x, y, z, 4), 4), written ? 0xFFFFFFFFu : 0x11111111u);
      }
  StoreLittleEndian(image.Pixel(2, 2, 1, 4), 4, 0xFF0000FF);
  FloatRgba out[2];
  codec->ReadRow(0, 0, out);
  EXPECT_EQ(out[1].B, 1.0f);
  EXPECT_EQ(out[1].R, 0.0f);
}

TEST(CreatePixelCodec, RefusesUnknownFormatsAndInvertedRegions) {
  TestImage image(D3DFMT_A8R8G8B8, 4, 4, 4);
  EXPECT_NE(image.Codec(), nullptr);
  image.region.Format = D3DFMT_INDEX16;
  EXPECT_EQ(image.Codec(), nullptr);
  image.region.Format = D3DFMT_D24S8;
  EXPECT_EQ(image.Codec(), nullptr);
  image.region.Format = D3DFMT_A8R8G8B8;
  image.region.Region = {3, 0, 2, 1, 0, 1};
  EXPECT_EQ(image.Codec(), nullptr);
  image.region.Region = {0, 2, 1, 1, 0, 1};
  EXPECT_EQ(image.Codec(), nullptr);
  image.region.Region = {0, 0, 1, 1, 1, 0};
  EXPECT_EQ(image.Codec(), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Palettes

TEST(Palette, P8WithoutAPaletteReadsWhite) {
  const FloatRgba p = ReadOne(D3DFMT_P8, 1, 77);
  EXPECT_EQ(p.R, 1.0f);
  EXPECT_EQ(p.G, 1.0f);
  EXPECT_EQ(p.B, 1.0f);
  EXPECT_EQ(p.A, 1.0f);
}

TEST(Palette, ReadsTheEntryWithItsFlagsAsAlpha) {
  std::vector<PALETTEENTRY> palette(256, PALETTEENTRY{0, 0, 0, 0});
  palette[200] = {255, 51, 0, 102};
  TestImage p8(D3DFMT_P8, 1, 1);
  p8.bytes[0] = 200;
  p8.region.Palette = palette.data();
  FloatRgba out;
  p8.Codec()->ReadRow(0, 0, &out);
  EXPECT_EQ(out.R, 1.0f);
  EXPECT_EQ(out.G, 0.2f);
  EXPECT_EQ(out.B, 0.0f);
  EXPECT_EQ(out.A, 0.4f);
  TestImage a8p8(D3DFMT_A8P8, 2, 1);
  a8p8.bytes[0] = 200;
  a8p8.bytes[1] = 255;
  a8p8.region.Palette = palette.data();
  a8p8.Codec()->ReadRow(0, 0, &out);
  EXPECT_EQ(out.G, 0.2f);
  EXPECT_EQ(out.A, 1.0f);  // from the pixel, not the palette
}

TEST(Palette, WritingPicksTheLowestOfEquallyNearEntries) {
  std::vector<PALETTEENTRY> palette(256, PALETTEENTRY{255, 255, 255, 255});
  palette[12] = {255, 0, 0, 255};
  palette[40] = {0, 0, 0, 255};    // as near to half red as entry 12
  palette[41] = {255, 0, 0, 255};  // the same colour as entry 12
  palette[90] = {0, 255, 0, 255};
  TestImage image(D3DFMT_P8, 1, 4);
  image.region.Palette = palette.data();
  auto codec = image.Codec();
  const FloatRgba in[4] = {{0.5f, 0, 0, 1}, {1, 0, 0, 1}, {0, 0.9f, 0, 1}, {1, 1, 1, 1}};
  codec->WriteRow(0, 0, in);
  EXPECT_EQ(image.bytes[0], 12);
  EXPECT_EQ(image.bytes[1], 12);
  EXPECT_EQ(image.bytes[2], 90);
  EXPECT_EQ(image.bytes[3], 0);  // white: entry 0 and all the others not named above
}

TEST(Palette, P8MatchesAlphaButA8P8KeepsItsOwn) {
  std::vector<PALETTEENTRY> palette(256, PALETTEENTRY{255, 255, 255, 255});
  palette[3] = {10, 20, 30, 255};
  palette[7] = {10, 20, 30, 0};
  const FloatRgba clear{10 / 255.0f, 20 / 255.0f, 30 / 255.0f, 0.0f};
  TestImage p8(D3DFMT_P8, 1, 1);
  p8.region.Palette = palette.data();
  p8.Codec()->WriteRow(0, 0, &clear);
  EXPECT_EQ(p8.bytes[0], 7);
  TestImage a8p8(D3DFMT_A8P8, 2, 4);
  a8p8.region.Palette = palette.data();
  a8p8.region.Dither = TRUE;
  const float alpha = 100.5f / 255.0f;
  const FloatRgba half[4] = {{clear.R, clear.G, clear.B, alpha},
                             {clear.R, clear.G, clear.B, alpha},
                             {clear.R, clear.G, clear.B, alpha},
                             {clear.R, clear.G, clear.B, alpha}};
  a8p8.Codec()->WriteRow(0, 0, half);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(a8p8.bytes[2 * x], 3) << x;  // the search ignores alpha
    EXPECT_EQ(a8p8.bytes[2 * x + 1], kDitherMatrix[0][x] >= 8 ? 101 : 100) << x;
  }
}

// Every pixel is searched for (or remembered by its whole value): P8 weighs alpha, so a
// colour repeated with another alpha may need another entry; A8P8 ignores alpha.
TEST(Palette, RepeatedColourWithOtherAlphaIsMatchedByAlphaInP8Only) {
  std::vector<PALETTEENTRY> palette(256, PALETTEENTRY{255, 255, 255, 255});
  palette[3] = {10, 20, 30, 255};
  palette[7] = {10, 20, 30, 0};
  const FloatRgba clear{10 / 255.0f, 20 / 255.0f, 30 / 255.0f, 0.0f};
  const FloatRgba opaque{clear.R, clear.G, clear.B, 1.0f};
  const FloatRgba row[4] = {clear, opaque, opaque, clear};
  TestImage p8(D3DFMT_P8, 1, 4);
  p8.region.Palette = palette.data();
  p8.Codec()->WriteRow(0, 0, row);
  EXPECT_EQ(p8.bytes, (std::vector<BYTE>{7, 3, 3, 7}));
  TestImage a8p8(D3DFMT_A8P8, 2, 4);
  a8p8.region.Palette = palette.data();
  a8p8.Codec()->WriteRow(0, 0, row);
  EXPECT_EQ(a8p8.bytes, (std::vector<BYTE>{3, 0, 3, 255, 3, 255, 3, 0}));
}

// The search over the definition: squared distance summed R, G, B (then A) in 32-bit floats
// rounding toward zero, strictly nearer entries only.
// The palette's floats are the entries over 255, made once in the ordinary rounding.
BYTE ReferenceNearest(const std::vector<PALETTEENTRY>& palette, const FloatRgba& p, bool withAlpha) {
  std::vector<FloatRgba> entries;
  for (const PALETTEENTRY& e : palette)
    entries.push_back({e.peRed / 255.0f, e.peGreen / 255.0f, e.peBlue / 255.0f, e.peFlags / 255.0f});
  const int previous = std::fegetround();
  std::fesetround(FE_TOWARDZERO);
  volatile float best = 3.4028235e38f;
  int index = 0;
  for (int i = 0; i < 256; ++i) {
    volatile float dr = entries[i].R - p.R, dg = entries[i].G - p.G;
    volatile float db = entries[i].B - p.B, da = entries[i].A - p.A;
    volatile float sum = dr * dr;
    sum = sum + dg * dg;
    sum = sum + db * db;
    if (withAlpha) sum = sum + da * da;
    if (sum < best) {
      best = sum;
      index = i;
    }
  }
  std::fesetround(previous);
  return static_cast<BYTE>(index);
}

class PaletteSearch : public ::testing::TestWithParam<VectorLevel> {
 protected:
  void SetUp() override { OverrideVectorLevel(GetParam()); }
  void TearDown() override { OverrideVectorLevel(DetectVectorLevel()); }
};

INSTANTIATE_TEST_SUITE_P(Levels, PaletteSearch, ::testing::Values(VectorLevel::Portable, VectorLevel::Avx2));

// Coarse palettes with repeated entries make many exact ties; the lowest index must win.
TEST_P(PaletteSearch, FindsTheLowestNearestEntryForEveryPixel) {
  std::uint32_t seed = 99;
  auto next = [&seed](int range) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(range));
  };
  for (int round = 0; round < 6; ++round) {
    std::vector<PALETTEENTRY> palette(256);
    for (auto& e : palette) {
      e = {static_cast<BYTE>(next(4) * 85), static_cast<BYTE>(next(4) * 85), static_cast<BYTE>(next(3) * 127),
           static_cast<BYTE>(next(2) * 255)};
    }
    constexpr UINT kWidth = 512;
    std::vector<FloatRgba> row(kWidth);
    for (auto& p : row) {
      p = {next(256) / 255.0f, next(256) / 255.0f, next(256) / 255.0f, next(256) / 255.0f};
      // Colours that no 8-bit format reads, and colours met again, both common.
      if (next(5) == 0) p.G += 0.0013f;
      if (next(3) == 0) p = row[next(8)];
    }
    for (D3DFORMAT format : {D3DFMT_P8, D3DFMT_A8P8}) {
      const UINT bytes = format == D3DFMT_P8 ? 1 : 2;
      TestImage image(format, bytes, kWidth);
      image.region.Palette = palette.data();
      image.Codec()->WriteRow(0, 0, row.data());
      for (UINT x = 0; x < kWidth; ++x) {
        ASSERT_EQ(image.bytes[x * bytes], ReferenceNearest(palette, row[x], format == D3DFMT_P8))
            << "round " << round << " pixel " << x;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// CxV8U8

TEST(CxV8U8, DerivesZFromUnitLength) {
  TestImage image(D3DFMT_CxV8U8, 2, 3);
  const BYTE bytes[] = {0x40, 0x00, 0x80, 0x7F, 0x7F, 0x7F};  // (64, 0), (-128, 127), (127, 127)
  std::copy(bytes, bytes + 6, image.bytes.begin());
  auto codec = image.Codec();
  FloatRgba out[3];
  codec->ReadRow(0, 0, out);
  const float u = 64.0f / 127.0f;
  EXPECT_EQ(out[0].R, u);
  EXPECT_EQ(out[0].G, 0.0f);
  EXPECT_FLOAT_EQ(out[0].B, std::sqrt(1.0f - u * u));
  EXPECT_EQ(out[0].A, 1.0f);
  EXPECT_EQ(out[1].R, -1.0f);
  EXPECT_EQ(out[1].G, 1.0f);
  EXPECT_EQ(out[1].B, 0.0f);  // 1 - 1 - 1 is below zero
  EXPECT_EQ(out[2].B, 0.0f);
}

TEST(CxV8U8, NormalisesBeforeStoringXAndY) {
  // (3, 4, 0) / 5 = (0.6, 0.8): 76.2 + 0.5 and 101.6 + 0.5.
  EXPECT_EQ(WriteOne(D3DFMT_CxV8U8, 2, {3, 4, 0, 1}), 0x664Cu);
  // A unit vector is stored as it is: -1 -> -126.5 -> -126.
  EXPECT_EQ(WriteOne(D3DFMT_CxV8U8, 2, {-1, 0, 0, 1}), 0x0082u);
  // Too short to normalise: zero.
  EXPECT_EQ(WriteOne(D3DFMT_CxV8U8, 2, {1e-30f, 0, 0, 1}), 0x0000u);
  // (0, 0, 2) -> (0, 0, 1)
  EXPECT_EQ(WriteOne(D3DFMT_CxV8U8, 2, {0, 0, 2, 1}), 0x0000u);
}

// ---------------------------------------------------------------------------------------------
// Range conversion between linked codecs

struct Conversion {
  std::unique_ptr<PixelCodec> source, destination;
};

// Moves one row from a source image to a destination image through float RGBA.
void Convert(TestImage& from, TestImage& to) {
  auto source = from.Codec();
  auto destination = to.Codec();
  ASSERT_NE(source, nullptr);
  ASSERT_NE(destination, nullptr);
  ASSERT_EQ(LinkCodecs(*destination, *source), S_OK);
  std::vector<FloatRgba> row(source->Width());
  for (UINT z = 0; z < source->Depth(); ++z)
    for (UINT y = 0; y < source->Height(); ++y) {
      source->ReadRow(y, z, row.data());
      destination->WriteRow(y, z, row.data());
    }
}

TEST(RangeConversion, SignedToUnsignedMapsMinusOneToZero) {
  TestImage bump(D3DFMT_V8U8, 2, 3);
  const BYTE bytes[] = {0x81, 0x7F, 0x00, 0x00, 0x40, 0xC0};  // U, V: (-127, 127), (0, 0), (64, -64)
  std::copy(bytes, bytes + 6, bump.bytes.begin());
  TestImage argb(D3DFMT_A8R8G8B8, 4, 3);
  Convert(bump, argb);
  // R = (u + 1) / 2, G = (v + 1) / 2; B and A read 1 from V8U8 (B converts to 1, A is copied).
  EXPECT_EQ(LoadLittleEndian(argb.Pixel(0, 0, 0, 4), 4), 0xFF00FFFFu);
  EXPECT_EQ(LoadLittleEndian(argb.Pixel(1, 0, 0, 4), 4), 0xFF8080FFu);  // 127.5 + 0.5 = 128
  // 64/127: (0.50394 + 1) / 2 * 255 = 191.75 -> 192; -64/127 -> 63.25 -> 63
  EXPECT_EQ(LoadLittleEndian(argb.Pixel(2, 0, 0, 4), 4), 0xFFC03FFFu);
}

TEST(RangeConversion, UnsignedToSignedMapsHalfToZero) {
  TestImage argb(D3DFMT_A8R8G8B8, 4, 3);
  StoreLittleEndian(argb.Pixel(0, 0, 0, 4), 4, 0x00FF0000);  // R 1, G 0
  StoreLittleEndian(argb.Pixel(1, 0, 0, 4), 4, 0x00808080);  // 128/255 * 2 - 1 = 0.0039 -> 0.998 -> 0
  StoreLittleEndian(argb.Pixel(2, 0, 0, 4), 4, 0x00C04000);
  TestImage bump(D3DFMT_V8U8, 2, 3);
  Convert(argb, bump);
  EXPECT_EQ(LoadLittleEndian(bump.Pixel(0, 0, 0, 2), 2), 0x827Fu);  // +1 -> 127, -1 -> -126
  EXPECT_EQ(LoadLittleEndian(bump.Pixel(1, 0, 0, 2), 2), 0x0000u);
  // 192/255*2-1 = 0.50588 -> 64.75 -> 64 (0x40); 64/255*2-1 = -0.49804 -> -62.75 -> -62 (0xC2)
  EXPECT_EQ(LoadLittleEndian(bump.Pixel(2, 0, 0, 2), 2), 0xC240u);
}

TEST(RangeConversion, FullySignedAlphaMovesToo) {
  TestImage argb(D3DFMT_A8R8G8B8, 4, 1);
  StoreLittleEndian(argb.bytes.data(), 4, 0x00FFFFFF);  // alpha 0
  TestImage q8(D3DFMT_Q8W8V8U8, 4, 1);
  Convert(argb, q8);
  EXPECT_EQ(LoadLittleEndian(q8.bytes.data(), 4), 0x827F7F7Fu);
  // And on: Q8W8V8U8 -> X8L8V8U8 keeps U and V and moves Q (-126/127) into the unsigned L:
  // (1 - 126/127) / 2 * 255 = 1.004 -> 1.
  TestImage x8l8(D3DFMT_X8L8V8U8, 4, 1);
  Convert(q8, x8l8);
  EXPECT_EQ(LoadLittleEndian(x8l8.bytes.data(), 4), 0x00017F7Fu);
}

TEST(RangeConversion, FloatSourcesAreClampedIntoTheDestinationRange) {
  TestImage floats(D3DFMT_A32B32G32R32F, 16, 2);
  const float values[8] = {2.0f, -1.0f, 0.5f, std::numeric_limits<float>::quiet_NaN(), -5, 5, 0.25f, -0.5f};
  std::memcpy(floats.bytes.data(), values, sizeof values);
  TestImage argb(D3DFMT_A8R8G8B8, 4, 2);
  Convert(floats, argb);
  EXPECT_EQ(LoadLittleEndian(argb.Pixel(0, 0, 0, 4), 4), 0xFFFF0080u);  // NaN alpha clamps to 1
  EXPECT_EQ(LoadLittleEndian(argb.Pixel(1, 0, 0, 4), 4), 0x0000FF40u);
  TestImage q8(D3DFMT_Q8W8V8U8, 4, 2);
  Convert(floats, q8);
  // R 2 -> 1 -> 127; G -1 -> -126; B 0.5 -> 64; A NaN -> 1 -> 127
  EXPECT_EQ(LoadLittleEndian(q8.Pixel(0, 0, 0, 4), 4), 0x7F40827Fu);
}

TEST(RangeConversion, FloatDestinationsTakeAnyRowUnchanged) {
  TestImage bump(D3DFMT_V8U8, 2, 1);
  bump.bytes = {0x81, 0x40};
  bump.region.Data = bump.bytes.data();
  TestImage floats(D3DFMT_A32B32G32R32F, 16, 1);
  Convert(bump, floats);
  float values[4];
  std::memcpy(values, floats.bytes.data(), sizeof values);
  EXPECT_EQ(values[0], -1.0f);
  EXPECT_EQ(values[1], 64.0f / 127.0f);
  EXPECT_EQ(values[2], 1.0f);
  EXPECT_EQ(values[3], 1.0f);
}

// ---------------------------------------------------------------------------------------------
// Gamma

std::uint32_t ChannelByte(const TestImage& image, UINT x, int shift) {
  return (LoadLittleEndian(image.bytes.data() + 4 * x, 4) >> shift) & 0xFF;
}

TEST(Gamma, DestinationOnlyEncodesColourWithThe22Curve) {
  TestImage linear(D3DFMT_A32B32G32R32F, 16, 4);
  const float values[16] = {0.5f, 0.2f, 0.04f, 0.5f, 0.9f, 1.0f, 0.0f, 0.25f,
                            0.7f, 0.6f, 0.01f, 1.0f, 0.8f, 0.3f, 0.1f, 0.0f};
  const std::uint32_t alphas[4] = {128, 64, 255, 0};
  std::memcpy(linear.bytes.data(), values, sizeof values);
  TestImage srgb(D3DFMT_A8R8G8B8, 4, 4);
  srgb.region.Srgb = TRUE;
  Convert(linear, srgb);
  for (UINT x = 0; x < 4; ++x) {
    const int shifts[3] = {16, 8, 0};
    for (int c = 0; c < 3; ++c) {
      const double encoded = std::pow(static_cast<double>(values[4 * x + c]), 1 / 2.2) * 255 + 0.5;
      // The table interpolation stays within a thousandth of a step of the exact curve.
      const double fraction = encoded - std::floor(encoded);
      ASSERT_GT(std::min(fraction, 1 - fraction), 0.01) << "pick values away from rounding edges";
      EXPECT_EQ(ChannelByte(srgb, x, shifts[c]), static_cast<std::uint32_t>(encoded)) << x << " " << c;
    }
    EXPECT_EQ(ChannelByte(srgb, x, 24), alphas[x]);  // alpha stays linear
  }
}

// A codec that cannot get the row it converts into says so and leaves the image alone,
// rather than dropping the row silently.
TEST(Gamma, WriteRowReportsARowItCouldNotConvert) {
  struct Case {
    D3DFORMAT format;
    UINT rowPitch;
    UINT height;
  };
  const Case cases[] = {{D3DFMT_A8R8G8B8, 32, 1}, {D3DFMT_R5G6B5, 16, 1}, {D3DFMT_A16B16G16R16F, 64, 1},
                        {D3DFMT_P8, 8, 1},        {D3DFMT_YUY2, 16, 1},   {D3DFMT_DXT1, 16, 4}};
  PALETTEENTRY palette[256] = {};
  const FloatRgba row[8] = {{0.5f, 0.25f, 0.75f, 1.0f}, {0.1f, 0.2f, 0.3f, 0.4f}, {}, {}, {}, {}, {}, {}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    TestImage image(c.format, c.rowPitch, 8, c.height, 1, 0xAB, 0);
    image.region.Srgb = TRUE;
    image.region.Palette = palette;
    auto codec = image.Codec();
    ASSERT_NE(codec, nullptr);
    {
      struct Limit {
        Limit() { PixelCodec::LimitRowAllocationForTesting(4); }
        ~Limit() { PixelCodec::LimitRowAllocationForTesting(SIZE_MAX); }
      } limit;
      EXPECT_EQ(codec->WriteRow(0, 0, row), E_OUTOFMEMORY);
    }
    codec.reset();  // a codec flushes what it holds when it goes
    EXPECT_TRUE(std::all_of(image.bytes.begin(), image.bytes.end(), [](BYTE b) { return b == 0xAB; }));
    auto working = image.Codec();
    ASSERT_NE(working, nullptr);
    EXPECT_EQ(working->WriteRow(0, 0, row), S_OK);
  }
}

TEST(Gamma, SourceOnlyDecodesWithThe22Curve) {
  TestImage srgb(D3DFMT_A8R8G8B8, 4, 1);
  StoreLittleEndian(srgb.bytes.data(), 4, 0x80BA7F10);  // A 128, R 186, G 127, B 16
  srgb.region.Srgb = TRUE;
  auto codec = srgb.Codec();
  FloatRgba out;
  codec->ReadRow(0, 0, &out);
  EXPECT_NEAR(out.R, std::pow(186 / 255.0, 2.2), 2e-4);
  EXPECT_NEAR(out.G, std::pow(127 / 255.0, 2.2), 2e-4);
  EXPECT_NEAR(out.B, std::pow(16 / 255.0, 2.2), 2e-4);
  EXPECT_EQ(out.A, 128 / 255.0f);
}

TEST(Gamma, BothSidesEncodedUseTheSquareRoot) {
  TestImage floats(D3DFMT_A32B32G32R32F, 16, 1);
  const float values[4] = {0.25f, 0.49f, 0.0f, 0.25f};
  std::memcpy(floats.bytes.data(), values, sizeof values);
  floats.region.Srgb = TRUE;  // read as v * v: 0.0625, 0.2401, 0
  TestImage srgb(D3DFMT_A8R8G8B8, 4, 1);
  srgb.region.Srgb = TRUE;
  Convert(floats, srgb);
  // Written as the square root of the squares: 0.25 -> 64.25 -> 64; 0.49 -> 125.45 -> 125
  EXPECT_EQ(LoadLittleEndian(srgb.bytes.data(), 4), 0x40407D00u);
}

TEST(Gamma, OnlyTheLuminanceOfL6V5U5IsEncoded) {
  TestImage floats(D3DFMT_A32B32G32R32F, 16, 1);
  const float values[4] = {0.5f, -0.5f, 0.0f, 0.5f};
  std::memcpy(floats.bytes.data(), values, sizeof values);
  TestImage l6(D3DFMT_L6V5U5, 2, 1);
  l6.region.Srgb = TRUE;
  Convert(floats, l6);
  // U 0.5 -> 8, V -0.5 -> -7 (0x19), L 0.5^(1/2.2) * 63 = 45.97 -> 46
  EXPECT_EQ(LoadLittleEndian(l6.bytes.data(), 2), (46u << 10) | (0x19u << 5) | 8u);
  TestImage x8(D3DFMT_X8L8V8U8, 4, 1);
  x8.region.Srgb = TRUE;
  Convert(floats, x8);
  // No gamma at all: L 128, V -63 (0xC1), U 64
  EXPECT_EQ(LoadLittleEndian(x8.bytes.data(), 4), 0x0080C140u);
}

TEST(Gamma, FloatValuesOutsideTheCurveStayInsideTheTables) {
  TestImage floats(D3DFMT_A32B32G32R32F, 16, 1);
  const float values[4] = {4.0f, -2.0f, std::numeric_limits<float>::infinity(), 1.0f};
  std::memcpy(floats.bytes.data(), values, sizeof values);
  floats.region.Srgb = TRUE;
  auto codec = floats.Codec();
  FloatRgba out;
  codec->ReadRow(0, 0, &out);
  EXPECT_EQ(out.R, 1.0f);
  EXPECT_EQ(out.G, 0.0f);
  EXPECT_EQ(out.B, 1.0f);
}

// ---------------------------------------------------------------------------------------------
// Colour keys

TEST(ColorKey, MatchingPixelsReadAsTransparentBlack) {
  TestImage image(D3DFMT_A8R8G8B8, 4, 3);
  StoreLittleEndian(image.Pixel(0, 0, 0, 4), 4, 0xFFFF00FF);
  StoreLittleEndian(image.Pixel(1, 0, 0, 4), 4, 0xFEFF00FF);  // alpha differs
  StoreLittleEndian(image.Pixel(2, 0, 0, 4), 4, 0xFFFF01FF);
  image.region.ColorKey = 0xFFFF00FF;
  auto codec = image.Codec();
  EXPECT_TRUE(codec->Flags().ColorKeyed);
  FloatRgba out[3];
  codec->ReadRow(0, 0, out);
  EXPECT_EQ(out[0].R, 0.0f);
  EXPECT_EQ(out[0].A, 0.0f);
  EXPECT_EQ(out[1].R, 1.0f);
  EXPECT_EQ(out[2].G, 1 / 255.0f);
}

TEST(ColorKey, KeyIsQuantisedToWhatTheFormatStores) {
  TestImage image(D3DFMT_R5G6B5, 2, 2);
  // 0x808080: 128/255 * 31 + 0.5 -> 16, * 63 + 0.5 -> 32; stored 16, 32, 16 matches the key.
  StoreLittleEndian(image.Pixel(0, 0, 0, 2), 2, (16u << 11) | (32u << 5) | 16u);
  StoreLittleEndian(image.Pixel(1, 0, 0, 2), 2, (16u << 11) | (31u << 5) | 16u);
  image.region.ColorKey = 0xFF808080;
  auto codec = image.Codec();
  EXPECT_EQ(codec->Key().R, 16 / 31.0f);
  EXPECT_EQ(codec->Key().G, 32 / 63.0f);
  EXPECT_EQ(codec->Key().A, 1.0f);
  FloatRgba out[2];
  codec->ReadRow(0, 0, out);
  EXPECT_EQ(out[0].A, 0.0f);
  EXPECT_EQ(out[1].A, 1.0f);
}

TEST(ColorKey, KeyWithoutAlphaMatchesFormatsWithoutAlpha) {
  TestImage image(D3DFMT_X8R8G8B8, 4, 1);
  StoreLittleEndian(image.bytes.data(), 4, 0x00FF00FF);
  image.region.ColorKey = 0x00FF00FF;  // alpha 0 reads back as 1 from X8R8G8B8
  FloatRgba out;
  image.Codec()->ReadRow(0, 0, &out);
  EXPECT_EQ(out.A, 0.0f);
}

TEST(ColorKey, PalettizedKeyBecomesTheNearestEntry) {
  std::vector<PALETTEENTRY> palette(256, PALETTEENTRY{0, 0, 0, 255});
  palette[5] = {250, 0, 250, 255};
  TestImage image(D3DFMT_P8, 1, 2);
  image.bytes = {5, 0};
  image.region.Data = image.bytes.data();
  image.region.Palette = palette.data();
  image.region.ColorKey = 0xFFFF00FF;  // nearest entry is 5
  FloatRgba out[2];
  image.Codec()->ReadRow(0, 0, out);
  EXPECT_EQ(out[0].A, 0.0f);
  EXPECT_EQ(out[1].A, 1.0f);
}

// The key names a stored colour; keying compares stored values before gamma decoding, so a
// gamma-encoded source matches pixels that hold exactly the key's bytes, mid-tones included.
TEST(ColorKey, GammaEncodedSourceMatchesTheStoredKey) {
  TestImage image(D3DFMT_A8R8G8B8, 4, 2);
  StoreLittleEndian(image.Pixel(0, 0, 0, 4), 4, 0xFF806040);
  StoreLittleEndian(image.Pixel(1, 0, 0, 4), 4, 0xFF806041);
  image.region.ColorKey = 0xFF806040;
  image.region.Srgb = TRUE;
  FloatRgba out[2];
  image.Codec()->ReadRow(0, 0, out);
  EXPECT_EQ(out[0].A, 0.0f);
  EXPECT_EQ(out[0].R, 0.0f);
  EXPECT_EQ(out[1].A, 1.0f);
  EXPECT_NEAR(out[1].R, std::pow(128 / 255.0, 2.2), 2e-4);
}

// ---------------------------------------------------------------------------------------------
// Floating-point formats

TEST(FloatFormats, ReadMissingChannelsAsOneAndStoreOnlyTheirOwn) {
  TestImage r16f(D3DFMT_R16F, 2, 2, 1, 1, 0xAA);
  auto codec = r16f.Codec();
  const FloatRgba in[2] = {{0.5f, 9, 9, 9}, {-2.0f, 9, 9, 9}};
  codec->WriteRow(0, 0, in);
  EXPECT_EQ(LoadLittleEndian(r16f.bytes.data(), 4), 0xC0003800u);
  FloatRgba out[2];
  codec->ReadRow(0, 0, out);
  EXPECT_EQ(out[0].R, 0.5f);
  EXPECT_EQ(out[0].G, 1.0f);
  EXPECT_EQ(out[1].R, -2.0f);
  EXPECT_EQ(out[1].A, 1.0f);

  TestImage g16r16f(D3DFMT_G16R16F, 4, 1);
  g16r16f.Codec()->WriteRow(0, 0, in);
  EXPECT_EQ(LoadLittleEndian(g16r16f.bytes.data(), 4), 0x48803800u);  // G 9.0, R 0.5

  TestImage abgr16f(D3DFMT_A16B16G16R16F, 8, 1);
  const FloatRgba color{1.0f, 65520.0f, -0.0f, 1e9f};
  abgr16f.Codec()->WriteRow(0, 0, &color);
  EXPECT_EQ(LoadLittleEndian(abgr16f.bytes.data(), 8), 0x7FFF'8000'7C00'3C00ull);

  TestImage g32r32f(D3DFMT_G32R32F, 8, 1);
  g32r32f.Codec()->WriteRow(0, 0, &color);
  float stored[2];
  std::memcpy(stored, g32r32f.bytes.data(), 8);
  EXPECT_EQ(stored[0], 1.0f);
  EXPECT_EQ(stored[1], 65520.0f);

  TestImage d32f(D3DFMT_D32F_LOCKABLE, 4, 1);
  const float depth = 0.75f;
  std::memcpy(d32f.bytes.data(), &depth, 4);
  FloatRgba d;
  d32f.Codec()->ReadRow(0, 0, &d);
  EXPECT_EQ(d.R, 0.75f);
  EXPECT_EQ(d.G, 1.0f);
}

TEST(FloatFormats, RowsMayStartAtAnyAddress) {
  std::vector<BYTE> bytes(1 + 3 * 8, 0);
  TestImage image(D3DFMT_A16B16G16R16F, 8, 3);
  image.region.Data = bytes.data() + 1;
  auto codec = image.Codec();
  const FloatRgba row[3] = {{1, 2, 3, 4}, {0.5f, 0.25f, 0.125f, 0}, {-1, -2, -3, -4}};
  codec->WriteRow(0, 0, row);
  FloatRgba out[3];
  codec->ReadRow(0, 0, out);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(out[i].R, row[i].R);
    EXPECT_EQ(out[i].A, row[i].A);
  }
}

}  // namespace
}  // namespace rastro
