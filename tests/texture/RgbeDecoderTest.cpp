// Radiance RGBE files written by hand, decoded by the loader.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "DecodeTestSupport.h"

namespace rastro::testing {
namespace {

FileBuilder Header(const std::string& resolution, const std::string& extraLines = "") {
  FileBuilder file;
  file.Text("#?RADIANCE\n# made by hand\nFORMAT=32-bit_rle_rgbe\n" + extraLines + "\n" + resolution + "\n");
  return file;
}

// With an exponent of 136 a component c reads c + 0.5.
TEST(RgbeDecoder, FlatScanlinesKeepTheirFirstPixelAndRepeatThePrevious) {
  FileBuilder file = Header("-Y 2 +X 2");
  file.Bytes({0, 0, 0, 136, 4, 5, 6, 136});  // first scanline
  file.Bytes({7, 8, 9, 136, 1, 1, 1, 1});    // second: a pixel, then one repeat of it
  auto decoded = Decode(file.Get());
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_A32B32G32R32F);
  EXPECT_EQ(decoded->info.ImageFileFormat, D3DXIFF_HDR);
  const std::array<std::array<float, 4>, 4> expected{
      {{0.5f, 0.5f, 0.5f, 1.0f}, {4.5f, 5.5f, 6.5f, 1.0f}, {7.5f, 8.5f, 9.5f, 1.0f}, {7.5f, 8.5f, 9.5f, 1.0f}}};
  for (UINT i = 0; i < 4; ++i) {
    const float* p = decoded->FloatPixel(i % 2, i / 2);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(p[c], expected[i][c]) << i << " " << c;
  }
}

TEST(RgbeDecoder, ConsecutiveRepeatCodesCountInHigherBytes) {
  // 1 pixel, 1 repeat, then 1 << 8 repeats: 258 pixels.
  FileBuilder file = Header("-Y 1 +X 258");
  file.Bytes({3, 0, 0, 137, 1, 1, 1, 1, 1, 1, 1, 1});
  auto decoded = Decode(file.Get());
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->FloatPixel(257, 0)[0], 7.0f);
  // One more pixel than the scanline holds.
  FileBuilder over = Header("-Y 1 +X 257");
  over.Bytes({3, 0, 0, 137, 1, 1, 1, 1, 1, 1, 1, 1});
  EXPECT_EQ(Decode(over.Get())->hr, D3DXERR_INVALIDDATA);
  // Nothing to repeat yet.
  FileBuilder first = Header("-Y 1 +X 2");
  first.Bytes({1, 1, 1, 2});
  EXPECT_EQ(Decode(first.Get())->hr, D3DXERR_INVALIDDATA);
}

TEST(RgbeDecoder, RunLengthScanlinesDecodeEachComponentInTurn) {
  FileBuilder file = Header("-Y 1 +X 3");
  file.Bytes({2, 2, 0, 3});
  file.Bytes({128 + 3, 10});       // red: 10 10 10
  file.Bytes({3, 1, 2, 3});        // green: literal 1 2 3
  file.Bytes({128 + 2, 5, 1, 6});  // blue: 5 5 6
  file.Bytes({128 + 3, 137});      // exponent
  auto decoded = Decode(file.Get());
  ASSERT_EQ(decoded->hr, S_OK);
  const float expected[3][3] = {{21, 3, 11}, {21, 5, 11}, {21, 7, 13}};
  for (UINT x = 0; x < 3; ++x) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(decoded->FloatPixel(x, 0)[c], expected[x][c]) << x << " " << c;
  }

  FileBuilder wrongLength = Header("-Y 1 +X 3");
  wrongLength.Bytes({2, 2, 0, 4, 128 + 3, 10, 3, 1, 2, 3, 128 + 3, 5, 128 + 3, 137});
  EXPECT_EQ(Decode(wrongLength.Get())->hr, D3DXERR_INVALIDDATA);
  FileBuilder overrun = Header("-Y 1 +X 3");
  overrun.Bytes({2, 2, 0, 3, 128 + 4, 10, 3, 1, 2, 3, 128 + 3, 5, 128 + 3, 137});
  EXPECT_EQ(Decode(overrun.Get())->hr, D3DXERR_INVALIDDATA);
  FileBuilder truncated = Header("-Y 1 +X 3");
  truncated.Bytes({2, 2, 0, 3, 128 + 3, 10, 3, 1, 2, 3, 128 + 3, 5, 128 + 3});
  EXPECT_EQ(Decode(truncated.Get())->hr, D3DXERR_INVALIDDATA);
}

TEST(RgbeDecoder, ExposureLinesMultiplyAndDivideEveryComponent) {
  FileBuilder file = Header("-Y 1 +X 1", "EXPOSURE= 2\nEXPOSURE=\t0.5e1\n");
  file.Bytes({1, 2, 3, 136});
  auto decoded = Decode(file.Get());
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_FLOAT_EQ(decoded->FloatPixel(0, 0)[0], 0.15f);
  EXPECT_FLOAT_EQ(decoded->FloatPixel(0, 0)[1], 0.25f);
  EXPECT_FLOAT_EQ(decoded->FloatPixel(0, 0)[2], 0.35f);
  EXPECT_EQ(decoded->FloatPixel(0, 0)[3], 1.0f);
  FileBuilder bad = Header("-Y 1 +X 1", "EXPOSURE=2 3\n");
  bad.Bytes({1, 2, 3, 136});
  EXPECT_EQ(Decode(bad.Get())->hr, D3DXERR_INVALIDDATA);
}

// A 2 x 3 image stored in each order; pixel k of the file (red k) lands at expected[y][x].
struct AxisCase {
  const char* resolution;
  int expected[3][2];
};

class RgbeAxes : public ::testing::TestWithParam<AxisCase> {};

TEST_P(RgbeAxes, ScanlinesArePlacedAsTheResolutionLineSays) {
  FileBuilder file = Header(GetParam().resolution);
  for (int k = 0; k < 6; ++k) file.Bytes({k, 0, 0, 136});
  auto decoded = Decode(file.Get());
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Width, 2u);
  EXPECT_EQ(decoded->image.Height, 3u);
  for (UINT y = 0; y < 3; ++y) {
    for (UINT x = 0; x < 2; ++x) {
      EXPECT_EQ(decoded->FloatPixel(x, y)[0], GetParam().expected[y][x] + 0.5f) << x << ", " << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Orders, RgbeAxes,
    ::testing::Values(AxisCase{"-Y 3 +X 2", {{0, 1}, {2, 3}, {4, 5}}}, AxisCase{"+Y 3 +X 2", {{4, 5}, {2, 3}, {0, 1}}},
                      AxisCase{"-Y 3 -X 2", {{1, 0}, {3, 2}, {5, 4}}}, AxisCase{"+Y 3 -X 2", {{5, 4}, {3, 2}, {1, 0}}},
                      AxisCase{"+X 2 -Y 3", {{0, 3}, {1, 4}, {2, 5}}}, AxisCase{"+X 2 +Y 3", {{2, 5}, {1, 4}, {0, 3}}},
                      AxisCase{"-X 2 -Y 3", {{3, 0}, {4, 1}, {5, 2}}},
                      AxisCase{"-X 2 +Y 3", {{5, 2}, {4, 1}, {3, 0}}}));

TEST(RgbeDecoder, MalformedHeadersAreRefused) {
  auto withPixel = [](const std::string& text) {
    FileBuilder file;
    file.Text(text).Bytes({1, 2, 3, 136});
    return file.Get();
  };
  ASSERT_EQ(Decode(withPixel("#?RADIANCE\nFORMAT= 32-bit_rle_xyze\n\n-Y 1 +X 1\n"))->hr, S_OK);
  for (const char* text :
       {"#?RADIANCE\n\n-Y 1 +X 1\n",                         // no format
        "#?RADIANCE\nFORMAT=32-bit_rle_rgb\n\n-Y 1 +X 1\n",  // unknown format
        "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n-Y 1 +X 1\n",   // no empty line
        "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n*Y 1 +X 1\n", "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +Z 1\n",
        "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +Y 1\n", "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1\n",
        "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 0 +X 1\n",
        "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 1\n",  // one pixel short
        "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 99999 +X 99999\n", "#?RGBE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 1\n"}) {
    EXPECT_EQ(Decode(withPixel(text))->hr, D3DXERR_INVALIDDATA) << text;
  }
}

}  // namespace
}  // namespace rastro::testing
