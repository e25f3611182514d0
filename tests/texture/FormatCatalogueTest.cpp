#include "FormatCatalogue.h"

#include <gtest/gtest.h>

#include <set>

namespace rastro {
namespace {

FormatInfo Requested(D3DFORMAT format) { return LookupFormatInfo(format); }

// A catalogue record with its alpha raised and its format cleared, as the colour-key case asks
// for an alpha format.
FormatInfo WithAlphaBits(D3DFORMAT format, UINT alphaBits) {
  FormatInfo info = LookupFormatInfo(format);
  info.Format = D3DFMT_UNKNOWN;
  info.AlphaBits = alphaBits;
  return info;
}

TEST(FormatCatalogue, HoldsEveryFormatOnceInItsOrder) {
  ASSERT_EQ(FormatCatalogueSize(), 57u);
  const FormatInfo* rows = FormatCatalogue();
  EXPECT_EQ(rows[0].Format, D3DFMT_R8G8B8);
  EXPECT_EQ(rows[5].Format, D3DFMT_A8P8);
  EXPECT_EQ(rows[7].Format, D3DFMT_A1R5G5B5);
  EXPECT_EQ(rows[30].Format, D3DFMT_CxV8U8);
  EXPECT_EQ(rows[31].Format, static_cast<D3DFORMAT>(0x59565955));  // "UYVY"
  EXPECT_EQ(rows[34].Format, static_cast<D3DFORMAT>(0x42475247));  // "GRGB"
  EXPECT_EQ(rows[40].Format, D3DFMT_D16_LOCKABLE);
  EXPECT_EQ(rows[55].Format, static_cast<D3DFORMAT>(0x36314C41));  // "AL16"
  EXPECT_EQ(rows[56].Format, static_cast<D3DFORMAT>(0x36315220));  // " R16"
  std::set<DWORD> seen;
  for (UINT i = 0; i < FormatCatalogueSize(); ++i) EXPECT_TRUE(seen.insert(rows[i].Format).second) << i;
}

struct RowCase {
  D3DFORMAT format;
  FormatKind kind;
  UINT bits, extra, alpha, red, green, blue, convertible;
};

class CatalogueRow : public ::testing::TestWithParam<RowCase> {};

TEST_P(CatalogueRow, DescribesTheFormat) {
  const RowCase& c = GetParam();
  const FormatInfo& info = LookupFormatInfo(c.format);
  EXPECT_EQ(info.Format, c.format);
  EXPECT_EQ(info.Kind, c.kind);
  EXPECT_EQ(info.BitsPerPixel, c.bits);
  EXPECT_EQ(info.ExtraBits, c.extra);
  EXPECT_EQ(info.AlphaBits, c.alpha);
  EXPECT_EQ(info.RedBits, c.red);
  EXPECT_EQ(info.GreenBits, c.green);
  EXPECT_EQ(info.BlueBits, c.blue);
  EXPECT_EQ(info.Convertible, c.convertible);
}

using K = FormatKind;
INSTANTIATE_TEST_SUITE_P(
    Samples, CatalogueRow,
    ::testing::Values(
        RowCase{D3DFMT_R8G8B8, K::Rgb, 24, 0, 0, 8, 8, 8, 0}, RowCase{D3DFMT_A8, K::Rgb, 8, 0, 8, 0, 0, 0, 1},
        RowCase{D3DFMT_G16R16, K::Rgb, 32, 0, 0, 16, 16, 0, 1}, RowCase{D3DFMT_P8, K::Palette, 8, 0, 8, 8, 8, 8, 1},
        RowCase{D3DFMT_A4L4, K::Luminance, 8, 0, 4, 4, 4, 4, 1}, RowCase{D3DFMT_L6V5U5, K::Bump, 16, 6, 0, 0, 5, 5, 1},
        RowCase{D3DFMT_A2W10V10U10, K::Bump, 32, 2, 0, 10, 10, 10, 1},
        RowCase{D3DFMT_CxV8U8, K::Bump, 16, 8, 0, 0, 8, 8, 0}, RowCase{D3DFMT_YUY2, K::Rgb, 16, 0, 0, 8, 8, 8, 0},
        RowCase{D3DFMT_DXT1, K::Rgb, 16, 0, 1, 5, 6, 5, 0}, RowCase{D3DFMT_DXT4, K::Rgb, 16, 0, 8, 5, 6, 5, 0},
        RowCase{D3DFMT_D16_LOCKABLE, K::Depth, 16, 1, 0, 0, 0, 16, 1},
        RowCase{D3DFMT_D32F_LOCKABLE, K::Depth, 32, 1, 0, 0, 0, 32, 0},
        RowCase{D3DFMT_D15S1, K::Depth, 16, 0, 0, 0, 1, 15, 1}, RowCase{D3DFMT_D24FS8, K::Depth, 32, 0, 0, 0, 8, 24, 0},
        RowCase{D3DFMT_A32B32G32R32F, K::Rgb, 128, 0, 32, 32, 32, 32, 0},
        RowCase{FORMAT_AL16, K::Luminance, 32, 0, 16, 16, 16, 16, 0},
        RowCase{FORMAT_R16, K::Rgb, 48, 0, 0, 16, 16, 16, 0}));

TEST(FormatCatalogue, UnknownFormatsLookUpAsEightBitArgb) {
  for (D3DFORMAT format : {D3DFMT_UNKNOWN, D3DFMT_INDEX16, D3DFMT_MULTI2_ARGB8, static_cast<D3DFORMAT>(12345)}) {
    const FormatInfo& info = LookupFormatInfo(format);
    EXPECT_EQ(info.Format, D3DFMT_UNKNOWN);
    EXPECT_EQ(info.Kind, K::Rgb);
    EXPECT_EQ(info.BitsPerPixel, 32u);
    EXPECT_EQ(info.ExtraBits, 0u);
    EXPECT_EQ(info.AlphaBits, 8u);
    EXPECT_EQ(info.RedBits, 8u);
    EXPECT_EQ(info.GreenBits, 8u);
    EXPECT_EQ(info.BlueBits, 8u);
    EXPECT_EQ(info.Convertible, 0u);
  }
}

struct ScoreCase {
  FormatInfo requested;
  D3DFORMAT candidate;
  DWORD score;
};

class FormatScore : public ::testing::TestWithParam<ScoreCase> {};

TEST_P(FormatScore, WeighsLostChannelsOverLostBitsOverAddedChannelsOverAddedBits) {
  const ScoreCase& c = GetParam();
  EXPECT_EQ(ScoreFormatMatch(c.requested, LookupFormatInfo(c.candidate)), c.score);
}

INSTANTIATE_TEST_SUITE_P(
    Scores, FormatScore,
    ::testing::Values(ScoreCase{Requested(D3DFMT_A8R8G8B8), D3DFMT_A8R8G8B8, 0},
                      ScoreCase{WithAlphaBits(D3DFMT_X8R8G8B8, 1), D3DFMT_A8R8G8B8, 7},
                      ScoreCase{WithAlphaBits(D3DFMT_X8R8G8B8, 1), D3DFMT_A2R10G10B10, 1 + 3 * 2},
                      ScoreCase{WithAlphaBits(D3DFMT_R5G6B5, 1), D3DFMT_A8R8G8B8, 7 + 3 + 2 + 3},
                      ScoreCase{WithAlphaBits(D3DFMT_R5G6B5, 1), D3DFMT_A1R5G5B5, 0x10000},  // one green bit lost
                      ScoreCase{Requested(D3DFMT_L8), D3DFMT_X8R8G8B8, 0},
                      ScoreCase{Requested(D3DFMT_L8), D3DFMT_L16, 24},
                      ScoreCase{Requested(D3DFMT_L8), D3DFMT_A8L8, 0x100},                // an added channel
                      ScoreCase{Requested(D3DFMT_A8), D3DFMT_A8R3G3B2, 3 * 0x100},        // added bits not counted
                      ScoreCase{Requested(D3DFMT_A8), D3DFMT_X8R8G8B8, kFormatRejected},  // loses its only channel
                      ScoreCase{Requested(D3DFMT_DXT1), D3DFMT_A8R8G8B8, 15},
                      ScoreCase{Requested(D3DFMT_A8R8G8B8), D3DFMT_R5G6B5, 0x1000000 + 0x30000 + 0x20000 + 0x30000},
                      ScoreCase{Requested(D3DFMT_A8R8G8B8), D3DFMT_P8, kFormatRejected},  // colour never to palette
                      ScoreCase{Requested(D3DFMT_A8R8G8B8), D3DFMT_L8, kFormatRejected},
                      ScoreCase{Requested(D3DFMT_P8), D3DFMT_A8R8G8B8, 0},
                      ScoreCase{Requested(D3DFMT_V8U8), D3DFMT_X8R8G8B8, kFormatRejected},  // bump stays bump
                      ScoreCase{Requested(D3DFMT_V8U8), D3DFMT_V16U16, 16},
                      ScoreCase{Requested(D3DFMT_D24S8), D3DFMT_D16, 0x1000000 + 8 * 0x10000},
                      ScoreCase{Requested(D3DFMT_D24S8), D3DFMT_A8R8G8B8, kFormatRejected},
                      ScoreCase{FormatInfo{D3DFMT_UNKNOWN, K::Rgb, 32, 0, 0, 0, 0, 0, 0}, D3DFMT_A8R8G8B8,
                                kFormatRejected}));

TEST(ChooseDeviceFormat, ColorKeyedXrgbBecomesTheEarliestArgbOfEqualScore) {
  EXPECT_EQ(ChooseDeviceFormat(nullptr, 0, D3DRTYPE_TEXTURE, WithAlphaBits(D3DFMT_X8R8G8B8, 1)), D3DFMT_A8R8G8B8);
}

TEST(ChooseDeviceFormat, ExactMatchWinsOverAnEarlierBetterScore) {
  FormatInfo keyed = LookupFormatInfo(D3DFMT_X8R8G8B8);
  keyed.AlphaBits = 1;  // A8R8G8B8 (row 1) scores 7, but X8R8G8B8 (row 2) is the format asked for
  EXPECT_EQ(ChooseDeviceFormat(nullptr, 0, D3DRTYPE_TEXTURE, keyed), D3DFMT_X8R8G8B8);
}

TEST(ChooseDeviceFormat, WithoutADeviceEveryRowCounts) {
  struct Case {
    FormatInfo requested;
    D3DFORMAT expected;
  };
  const Case cases[] = {
      {WithAlphaBits(D3DFMT_R5G6B5, 1), D3DFMT_A8R8G8B8},
      {Requested(D3DFMT_R8G8B8), D3DFMT_R8G8B8},  // exact matches win even when not convertible
      {Requested(D3DFMT_CxV8U8), D3DFMT_CxV8U8},
      {Requested(D3DFMT_DXT3), D3DFMT_DXT3},
      {Requested(D3DFMT_UNKNOWN), D3DFMT_A8R8G8B8},  // as 8-bit ARGB, never the value itself
      {Requested(static_cast<D3DFORMAT>(999)), D3DFMT_A8R8G8B8},
      {FormatInfo{static_cast<D3DFORMAT>(999), K::Luminance, 8, 0, 0, 7, 7, 7, 1}, D3DFMT_L8},
      {FormatInfo{D3DFMT_UNKNOWN, K::Rgb, 0, 0, 0, 0, 0, 0, 0}, D3DFMT_UNKNOWN},  // no channels: nothing fits
      {FormatInfo{D3DFMT_UNKNOWN, K::Bump, 16, 0, 0, 0, 7, 7, 0}, D3DFMT_V8U8},
      {FormatInfo{D3DFMT_UNKNOWN, K::Depth, 32, 0, 0, 0, 0, 20, 0}, D3DFMT_D24X8},
      {FormatInfo{D3DFMT_UNKNOWN, static_cast<FormatKind>(9), 32, 0, 8, 8, 8, 8, 0}, D3DFMT_UNKNOWN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseDeviceFormat(nullptr, 0, D3DRTYPE_TEXTURE, c.requested), c.expected) << c.requested.Format;
  }
}

TEST(ToPublicFormat, MapsTheLoadersOwnFormatsOnly) {
  EXPECT_EQ(ToPublicFormat(FORMAT_AL16), D3DFMT_A8L8);
  EXPECT_EQ(ToPublicFormat(FORMAT_R16), D3DFMT_R8G8B8);
  for (UINT i = 0; i < FormatCatalogueSize(); ++i) {
    const D3DFORMAT format = FormatCatalogue()[i].Format;
    if (format != FORMAT_AL16 && format != FORMAT_R16) {
      EXPECT_EQ(ToPublicFormat(format), format);
    }
  }
  EXPECT_EQ(ToPublicFormat(D3DFMT_UNKNOWN), D3DFMT_UNKNOWN);
}

}  // namespace
}  // namespace rastro
