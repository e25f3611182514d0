#include "DxtBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace rastro {
namespace {

using Bytes8 = std::array<std::uint8_t, 8>;
using Bytes16 = std::array<std::uint8_t, 16>;

BlockPixels Flat(float r, float g, float b, float a) {
  BlockPixels p;
  for (auto& px : p.rgba) {
    px[0] = r;
    px[1] = g;
    px[2] = b;
    px[3] = a;
  }
  return p;
}

void ExpectPixel(const BlockPixels& p, int i, float r, float g, float b, float a, float tolerance = 1e-6f) {
  SCOPED_TRACE(testing::Message() << "pixel " << i);
  EXPECT_NEAR(p.rgba[i][0], r, tolerance);
  EXPECT_NEAR(p.rgba[i][1], g, tolerance);
  EXPECT_NEAR(p.rgba[i][2], b, tolerance);
  EXPECT_NEAR(p.rgba[i][3], a, tolerance);
}

// Two-bit colour index of pixel i, read straight from the published layout.
int ColorIndex(const std::uint8_t* colorBlock, int i) { return (colorBlock[4 + i / 4] >> (2 * (i % 4))) & 3; }
std::uint16_t Code(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// Packs 16 three-bit alpha indices into bytes 2-7 of an interpolated alpha block.
void PutAlphaIndices(std::uint8_t* block, const int (&index)[16]) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= static_cast<std::uint64_t>(index[i]) << (3 * i);
  for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

int AlphaIndex(const std::uint8_t* block, int i) {
  std::uint64_t bits = 0;
  for (int k = 0; k < 6; ++k) bits |= static_cast<std::uint64_t>(block[2 + k]) << (8 * k);
  return static_cast<int>((bits >> (3 * i)) & 7);
}

// ---------------------------------------------------------------------------------------------
// Decoding hand-built blocks

TEST(DxtDecode, FourColorBlockInterpolatesThirds) {
  // c0 = pure red (0xF800) > c1 = pure blue (0x001F); pixels 0..3 take indices 0..3.
  const Bytes8 block{0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x00, 0x00, 0x00};
  BlockPixels out;
  DecodeDxt1Block(out, block.data());
  ExpectPixel(out, 0, 1, 0, 0, 1);
  ExpectPixel(out, 1, 0, 0, 1, 1);
  ExpectPixel(out, 2, 2.0f / 3, 0, 1.0f / 3, 1);
  ExpectPixel(out, 3, 1.0f / 3, 0, 2.0f / 3, 1);
  for (int i = 4; i < 16; ++i) ExpectPixel(out, i, 1, 0, 0, 1);
}

TEST(DxtDecode, ThreeColorBlockHasMidpointAndTransparentBlack) {
  // c0 = blue (0x001F) <= c1 = red (0xF800).
  const Bytes8 block{0x1F, 0x00, 0x00, 0xF8, 0xE4, 0x00, 0x00, 0x00};
  BlockPixels out;
  DecodeDxt1Block(out, block.data());
  ExpectPixel(out, 0, 0, 0, 1, 1);
  ExpectPixel(out, 1, 1, 0, 0, 1);
  ExpectPixel(out, 2, 0.5f, 0, 0.5f, 1);
  ExpectPixel(out, 3, 0, 0, 0, 0);
}

TEST(DxtDecode, EqualCodesGiveThatColourAndTransparentBlack) {
  // 0x7BEF: R = 15, G = 31, B = 15. Indices 0, 1, 2, 3 repeated.
  const Bytes8 block{0xEF, 0x7B, 0xEF, 0x7B, 0xE4, 0xE4, 0xE4, 0xE4};
  BlockPixels out;
  DecodeDxt1Block(out, block.data());
  for (int i = 0; i < 16; ++i) {
    if (i % 4 == 3)
      ExpectPixel(out, i, 0, 0, 0, 0);
    else
      ExpectPixel(out, i, 15.0f / 31, 31.0f / 63, 15.0f / 31, 1);
  }
}

TEST(DxtDecode, ColorFieldsAndIndexBitsFollowTheLayout) {
  // c0 = R 1, G 62, B 30 = 0x0FDE; c1 = 0. Pixel 15 (top bits) index 1, the rest 0.
  const Bytes8 block{0xDE, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40};
  BlockPixels out;
  DecodeDxt1Block(out, block.data());
  for (int i = 0; i < 15; ++i) ExpectPixel(out, i, 1.0f / 31, 62.0f / 63, 30.0f / 31, 1);
  ExpectPixel(out, 15, 0, 0, 0, 1);
}

TEST(DxtDecode, Dxt3ExplicitAlphaReplacesEvenTransparentBlack) {
  Bytes16 block{};
  // Pixel i has alpha i/15: low nibble first.
  for (int i = 0; i < 8; ++i) block[i] = static_cast<std::uint8_t>((2 * i) | (2 * i + 1) << 4);
  // Three-colour colour block (c0 = c1 = white) with index 3 everywhere: black, alpha replaced.
  block[8] = block[9] = block[10] = block[11] = 0xFF;
  block[12] = block[13] = block[14] = block[15] = 0xFF;
  BlockPixels out;
  DecodeDxt3Block(out, block.data());
  for (int i = 0; i < 16; ++i) ExpectPixel(out, i, 0, 0, 0, static_cast<float>(i) / 15);
}

TEST(DxtDecode, Dxt5EightStepAlpha) {
  Bytes16 block{};
  block[0] = 255;  // a0 > a1: eight interpolated values
  block[1] = 0;
  const int index[16] = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0};
  PutAlphaIndices(block.data(), index);
  const float expected[8] = {1, 0, 6.0f / 7, 5.0f / 7, 4.0f / 7, 3.0f / 7, 2.0f / 7, 1.0f / 7};
  BlockPixels out;
  DecodeDxt5Block(out, block.data());
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(out.rgba[i][3], expected[index[i]], 1e-6f) << "pixel " << i;
}

TEST(DxtDecode, Dxt5SixStepAlphaHasExplicitZeroAndOne) {
  Bytes16 block{};
  block[0] = 51;   // 0.2
  block[1] = 102;  // 0.4: a0 <= a1, six values plus 0 and 1
  const int index[16] = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0};
  PutAlphaIndices(block.data(), index);
  const float expected[8] = {0.2f, 0.4f, 0.24f, 0.28f, 0.32f, 0.36f, 0.0f, 1.0f};
  BlockPixels out;
  DecodeDxt5Block(out, block.data());
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(out.rgba[i][3], expected[index[i]], 1e-6f) << "pixel " << i;
}

TEST(DxtDecode, PremultipliedFormatsDivideByAlphaAndSaturate) {
  // Colour: c0 = white > c1 = R 16, G 0, B 8 (0x8008); index 1 everywhere except pixel 0.
  // Alphas (DXT2): pixel 0 alpha 0, pixel 1 alpha 15, others 8/15.
  Bytes16 block{};
  for (int i = 0; i < 8; ++i) block[i] = 0x88;
  block[0] = 0xF0;  // pixel 0: 0, pixel 1: 15
  block[8] = 0xFF;
  block[9] = 0xFF;
  block[10] = 0x08;
  block[11] = 0x80;
  block[12] = 0x54;  // pixels 0..3: 0, 1, 1, 1
  block[13] = block[14] = block[15] = 0x55;
  BlockPixels out;
  DecodeDxt2Block(out, block.data());
  ExpectPixel(out, 0, 0, 0, 0, 0);                   // alpha 0: colour is lost
  ExpectPixel(out, 1, 16.0f / 31, 0, 8.0f / 31, 1);  // opaque: unchanged
  // alpha 8/15: R 16/31 < alpha, so 16/31 · 15/8; B 8/31 -> 8/31 · 15/8 = 15/31.
  ExpectPixel(out, 2, 16.0f / 31 * 15 / 8, 0, 15.0f / 31, 8.0f / 15, 2e-6f);

  // The same colour block with R above the alpha saturates to 1.
  block[10] = 0x08;
  block[11] = 0x88;  // R 17 > 8/15 · 31
  DecodeDxt2Block(out, block.data());
  ExpectPixel(out, 2, 1, 0, 15.0f / 31, 8.0f / 15, 2e-6f);
}

TEST(DxtDecode, Dxt4UnpremultipliesInterpolatedAlpha) {
  Bytes16 block{};
  block[0] = 0;  // six-step: index 1 -> a1 = 102/255 = 0.4
  block[1] = 102;
  const int index[16] = {1, 6, 7, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  PutAlphaIndices(block.data(), index);
  block[8] = 0x00;  // c0 = 0x2000: R 4/31 < 0.4
  block[9] = 0x20;
  BlockPixels out;
  DecodeDxt4Block(out, block.data());
  ExpectPixel(out, 0, 4.0f / 31 / 0.4f, 0, 0, 0.4f, 2e-6f);
  ExpectPixel(out, 1, 0, 0, 0, 0);
  ExpectPixel(out, 2, 4.0f / 31, 0, 0, 1);
}

// ---------------------------------------------------------------------------------------------
// Encoding: properties that follow from the format and the encoder's steps

TEST(DxtEncode, FullyTransparentDxt1IsTheCanonicalBlock) {
  Bytes8 block{};
  EncodeDxt1Block(block.data(), Flat(0.3f, 0.6f, 0.9f, 0.0f));
  const Bytes8 expected{0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(block, expected);
}

TEST(DxtEncode, HalfAlphaDxt1DiffusesIntoACheckerboardOfTransparentIndices) {
  Bytes8 block{};
  EncodeDxt1Block(block.data(), Flat(1.0f, 0.0f, 0.0f, 0.5f));
  // Error diffusion of a constant 0.5 alternates opaque and transparent, starting opaque.
  const bool opaque[16] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 0, 0, 1, 0, 1};
  EXPECT_EQ(Code(block.data()), 0xF800);
  EXPECT_EQ(Code(block.data() + 2), 0xF800);  // c0 <= c1: three-colour block
  for (int i = 0; i < 16; ++i) EXPECT_EQ(ColorIndex(block.data(), i), opaque[i] ? 0 : 3) << "pixel " << i;
}

TEST(DxtEncode, OneTransparentPixelSelectsIndexThree) {
  BlockPixels pixels = Flat(1, 1, 1, 1);
  pixels.rgba[5][3] = 0.2f;
  Bytes8 block{};
  EncodeDxt1Block(block.data(), pixels);
  const Bytes8 expected{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x0C, 0x00, 0x00};
  EXPECT_EQ(block, expected);
}

struct FlatColorCase {
  float r, g, b;
  std::uint16_t code;
};

class DxtFlatColor : public testing::TestWithParam<FlatColorCase> {};

TEST_P(DxtFlatColor, GivesItsExact565ColourInEveryFormat) {
  const FlatColorCase c = GetParam();
  const BlockPixels pixels = Flat(c.r, c.g, c.b, 1.0f);
  const BlockEncoder encoders[] = {EncodeDxt1Block, EncodeDxt3Block, EncodeDxt5Block};
  for (int f = 0; f < 3; ++f) {
    SCOPED_TRACE(testing::Message() << "format " << f);
    Bytes16 block{};
    encoders[f](block.data(), pixels);
    const std::uint8_t* color = f == 0 ? block.data() : block.data() + 8;
    EXPECT_EQ(Code(color), c.code);
    EXPECT_EQ(Code(color + 2), c.code);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(ColorIndex(color, i), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(OnThe565Grid, DxtFlatColor,
                         testing::Values(FlatColorCase{0, 0, 0, 0x0000}, FlatColorCase{1, 1, 1, 0xFFFF},
                                         FlatColorCase{10.0f / 31, 40.0f / 63, 20.0f / 31, 10 << 11 | 40 << 5 | 20},
                                         FlatColorCase{1, 0, 0, 0xF800}, FlatColorCase{0, 1.0f / 63, 0, 0x0020},
                                         FlatColorCase{30.0f / 31, 0, 1.0f / 31, 30 << 11 | 1}));

TEST(DxtEncode, BlackAndWhiteHalvesUseBothEndpointsExactly) {
  BlockPixels pixels = Flat(0, 0, 0, 1);
  for (int i = 0; i < 16; ++i)
    if (i % 4 >= 2) pixels.rgba[i][0] = pixels.rgba[i][1] = pixels.rgba[i][2] = 1.0f;
  Bytes8 block{};
  EncodeDxt1Block(block.data(), pixels);
  // Four-colour block, white first; white pixels index 0, black pixels index 1.
  const Bytes8 expected{0xFF, 0xFF, 0x00, 0x00, 0x05, 0x05, 0x05, 0x05};
  EXPECT_EQ(block, expected);
}

TEST(DxtEncode, TwoColourBlocksDecodeToBothColours) {
  struct Pair {
    float a[3], b[3];
  };
  const Pair pairs[] = {
      {{1, 0, 0}, {0, 0, 1}},
      {{0, 1, 0}, {1, 0, 1}},
      {{4.0f / 31, 8.0f / 63, 12.0f / 31}, {28.0f / 31, 50.0f / 63, 3.0f / 31}},
  };
  for (const Pair& pair : pairs) {
    BlockPixels pixels;
    for (int i = 0; i < 16; ++i) {
      const float* c = (i * 7) % 3 == 0 ? pair.a : pair.b;  // an irregular mix of the two
      for (int k = 0; k < 3; ++k) pixels.rgba[i][k] = c[k];
      pixels.rgba[i][3] = 1.0f;
    }
    const BlockEncoder encoders[] = {EncodeDxt1Block, EncodeDxt3Block, EncodeDxt5Block};
    const BlockDecoder decoders[] = {DecodeDxt1Block, DecodeDxt3Block, DecodeDxt5Block};
    for (int f = 0; f < 3; ++f) {
      Bytes16 block{};
      encoders[f](block.data(), pixels);
      BlockPixels out;
      decoders[f](out, block.data());
      for (int i = 0; i < 16; ++i) ExpectPixel(out, i, pixels.rgba[i][0], pixels.rgba[i][1], pixels.rgba[i][2], 1.0f);
    }
  }
}

TEST(DxtEncode, SmoothGradientStaysClose) {
  // A straight ramp through colour space with seven levels (x + y) against four palette points:
  // snapping each level to the nearest of 0, 1/3, 2/3, 1 along the ramp gives an RMS error of
  // about 0.077, so a sound fit stays below 0.08.
  BlockPixels pixels;
  for (int i = 0; i < 16; ++i) {
    const float t = static_cast<float>((i % 4) + (i / 4)) / 6.0f;
    pixels.rgba[i][0] = 0.1f + 0.8f * t;
    pixels.rgba[i][1] = 0.9f - 0.7f * t;
    pixels.rgba[i][2] = 0.3f + 0.4f * t;
    pixels.rgba[i][3] = 0.25f + 0.5f * t;
  }
  const BlockEncoder encoders[] = {EncodeDxt1Block, EncodeDxt3Block, EncodeDxt5Block};
  const BlockDecoder decoders[] = {DecodeDxt1Block, DecodeDxt3Block, DecodeDxt5Block};
  for (int f = 0; f < 3; ++f) {
    SCOPED_TRACE(testing::Message() << "format " << f);
    Bytes16 block{};
    BlockPixels input = pixels;
    if (f == 0)
      for (auto& px : input.rgba) px[3] = 1.0f;  // DXT1 alpha is one bit; test colour only
    encoders[f](block.data(), input);
    BlockPixels out;
    decoders[f](out, block.data());
    double squared = 0;
    for (int i = 0; i < 16; ++i)
      for (int c = 0; c < 3; ++c) squared += std::pow(out.rgba[i][c] - pixels.rgba[i][c], 2);
    EXPECT_LT(std::sqrt(squared / 48), 0.08);
    if (f == 0) continue;
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(out.rgba[i][3], pixels.rgba[i][3], f == 1 ? 0.1 : 0.05);
  }
}

TEST(DxtEncode, Dxt3StoresAlphasOnTheFourBitGridExactly) {
  BlockPixels pixels = Flat(0, 0, 0, 0);
  for (int i = 0; i < 16; ++i) pixels.rgba[i][3] = static_cast<float>(15 - i) / 15;
  Bytes16 block{};
  EncodeDxt3Block(block.data(), pixels);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(block[i], (15 - 2 * i) | (14 - 2 * i) << 4) << "byte " << i;
}

TEST(DxtEncode, Dxt3DiffusesAlphaBetweenGridSteps) {
  // 0.5 lies between 7/15 and 8/15: diffusion must keep the block's mean alpha near 0.5.
  Bytes16 block{};
  EncodeDxt3Block(block.data(), Flat(0, 0, 0, 0.5f));
  int sum = 0;
  for (int i = 0; i < 16; ++i) {
    const int value = (block[i >> 1] >> ((i & 1) * 4)) & 15;
    EXPECT_TRUE(value == 7 || value == 8) << "pixel " << i;
    sum += value;
  }
  EXPECT_NEAR(sum / 16.0 / 15.0, 0.5, 1.0 / 30);
}

TEST(DxtEncode, Dxt5OpaqueBlockIsTheCanonicalAlpha) {
  Bytes16 block{};
  EncodeDxt5Block(block.data(), Flat(0.2f, 0.4f, 0.6f, 1.0f));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(block[i], i < 2 ? 255 : 0) << "byte " << i;
}

TEST(DxtEncode, Dxt5ZeroAndOneOnlyDecodeExactly) {
  BlockPixels pixels = Flat(0, 0, 0, 0);
  for (int i = 0; i < 16; ++i) pixels.rgba[i][3] = (i * 5) % 3 == 0 ? 0.0f : 1.0f;  // pixel 0 is 0
  Bytes16 block{};
  EncodeDxt5Block(block.data(), pixels);
  EXPECT_EQ(block[0], 255);
  EXPECT_EQ(block[1], 0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(AlphaIndex(block.data(), i), pixels.rgba[i][3] == 1.0f ? 0 : 1);
  BlockPixels out;
  DecodeDxt5Block(out, block.data());
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out.rgba[i][3], pixels.rgba[i][3]) << "pixel " << i;
}

TEST(DxtEncode, Dxt5TransparentBlockDecodesToZero) {
  Bytes16 block{};
  EncodeDxt5Block(block.data(), Flat(0.5f, 0.5f, 0.5f, 0.0f));
  BlockPixels out;
  DecodeDxt5Block(out, block.data());
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out.rgba[i][3], 0.0f) << "pixel " << i;
}

TEST(DxtEncode, Dxt5OneAlphaBesideOpaqueKeepsBoth) {
  // A single level besides fully opaque: the explicit 1 must be used even though the fitted
  // line has no length.
  BlockPixels pixels = Flat(0, 0, 0, 128.0f / 255);
  for (int i : {0, 3, 6, 9, 12, 15}) pixels.rgba[i][3] = 1.0f;
  Bytes16 block{};
  EncodeDxt5Block(block.data(), pixels);
  EXPECT_EQ(block[0], 128);
  EXPECT_EQ(block[1], 128);
  BlockPixels out;
  DecodeDxt5Block(out, block.data());
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(out.rgba[i][3], pixels.rgba[i][3]) << "pixel " << i;
}

TEST(DxtEncode, Dxt5AlphaRampUsesEightSteps) {
  // Alphas strictly between 0 and 1: eight-step block (a0 > a1) spanning the ramp.
  BlockPixels pixels = Flat(0, 0, 0, 0);
  for (int i = 0; i < 16; ++i) pixels.rgba[i][3] = (40.0f + 10.0f * static_cast<float>(i)) / 255;
  Bytes16 block{};
  EncodeDxt5Block(block.data(), pixels);
  EXPECT_GT(block[0], block[1]);
  EXPECT_NEAR(block[0], 190, 6);
  EXPECT_NEAR(block[1], 40, 6);
  BlockPixels out;
  DecodeDxt5Block(out, block.data());
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(out.rgba[i][3], pixels.rgba[i][3], 12.0 / 255) << "pixel " << i;
}

TEST(DxtEncode, PremultipliedFormatsStoreColourTimesAlpha) {
  // White at alpha 1/3: the stored colour is about 1/3, and decoding restores white.
  const BlockPixels pixels = Flat(1, 1, 1, 5.0f / 15);
  const BlockEncoder encoders[] = {EncodeDxt2Block, EncodeDxt4Block};
  const BlockDecoder decoders[] = {DecodeDxt2Block, DecodeDxt4Block};
  for (int f = 0; f < 2; ++f) {
    SCOPED_TRACE(testing::Message() << "format " << f);
    Bytes16 block{};
    encoders[f](block.data(), pixels);
    const Float3 c0 = ExpandColor565(Code(block.data() + 8));
    EXPECT_NEAR(c0.g, 1.0f / 3, 1.0f / 31);
    BlockPixels out;
    decoders[f](out, block.data());
    for (int i = 0; i < 16; ++i) {
      EXPECT_NEAR(out.rgba[i][3], 1.0f / 3, 1.0f / 255);
      EXPECT_NEAR(out.rgba[i][1], 1.0f, 0.1f);
    }
  }
}

TEST(DxtEncode, OutOfRangeInputIsClampedFirst) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  BlockPixels wild = Flat(0.5f, 0.5f, 0.5f, 0.5f);
  BlockPixels tame = wild;
  const float wildValues[] = {nan, inf, -inf, 2.0f, -3.0f};
  const float tameValues[] = {0.0f, 1.0f, 0.0f, 1.0f, 0.0f};
  for (int i = 0; i < 16; ++i) {
    wild.rgba[i][i % 4] = wildValues[i % 5];
    tame.rgba[i][i % 4] = tameValues[i % 5];
  }
  const BlockEncoder encoders[] = {EncodeDxt1Block, EncodeDxt2Block, EncodeDxt3Block, EncodeDxt4Block, EncodeDxt5Block};
  for (const BlockEncoder encode : encoders) {
    Bytes16 a{}, b{};
    encode(a.data(), wild);
    encode(b.data(), tame);
    EXPECT_EQ(a, b);
  }
}

// ---------------------------------------------------------------------------------------------
// Building blocks

TEST(DxtColor565, PackRoundsAndClamps) {
  EXPECT_EQ(PackColor565({1, 1, 1}), 0xFFFF);
  EXPECT_EQ(PackColor565({2, -1, 0.5f}), 31 << 11 | 0 << 5 | 16);  // 0.5 · 31 + 0.5 = 16
  EXPECT_EQ(PackColor565({0.4f / 31, 0.6f / 63, 0}), 0 << 11 | 1 << 5);
  const Float3 c = ExpandColor565(31 << 11 | 21 << 5 | 3);
  EXPECT_FLOAT_EQ(c.r, 1.0f);
  EXPECT_FLOAT_EQ(c.g, 21.0f / 63);
  EXPECT_FLOAT_EQ(c.b, 3.0f / 31);
}

TEST(DxtKernel, DiffusionSpreadsTheWholeErrorInsideTheBlock) {
  // Pixels away from the right and bottom edges pass on all of their error; edge pixels pass
  // on only the shares whose targets are inside.
  const float expectedShare[16] = {13.0f / 16, 1, 1, 0.5f, 13.0f / 16, 1,         1,         0.5f,
                                   13.0f / 16, 1, 1, 0.5f, 7.0f / 16,  7.0f / 16, 7.0f / 16, 0};
  for (int i = 0; i < 16; ++i) {
    float errors[16] = {};
    DiffuseError(errors, i, 1.0f);
    float total = 0;
    for (int j = 0; j <= i; ++j) EXPECT_EQ(errors[j], 0.0f) << "visited pixel " << j << " from " << i;
    for (float e : errors) total += e;
    EXPECT_EQ(total, expectedShare[i]) << "pixel " << i;
  }
  float errors[16] = {};
  DiffuseError(errors, 5, 16.0f);
  EXPECT_EQ(errors[6], 7.0f);
  EXPECT_EQ(errors[8], 3.0f);
  EXPECT_EQ(errors[9], 5.0f);
  EXPECT_EQ(errors[10], 1.0f);
}

TEST(DxtRefine, AlphaEndpointsOfTwoLevelsAreTheLevels) {
  float alphas[16];
  for (int i = 0; i < 16; ++i) alphas[i] = i % 2 ? 0.75f : 0.25f;
  const AlphaEndpoints eight = RefineAlphaEndpoints(alphas, 8);
  EXPECT_FLOAT_EQ(eight.lo, 0.25f);
  EXPECT_FLOAT_EQ(eight.hi, 0.75f);
  // In six-step mode 0 and 1 have codes of their own and do not pull the ends.
  alphas[0] = 0.0f;
  alphas[1] = 1.0f;
  const AlphaEndpoints six = RefineAlphaEndpoints(alphas, 6);
  EXPECT_FLOAT_EQ(six.lo, 0.25f);
  EXPECT_FLOAT_EQ(six.hi, 0.75f);
}

// The alpha refinement written out step by step, each palette entry as lo·(n − k)/n + hi·k/n
// in that order of operations, for comparing bit for bit.
AlphaEndpoints ReferenceAlphaRefinement(const float (&alphas)[16], int mode) {
  const bool sixStep = mode == 6;
  const int n = mode - 1;
  float lo = sixStep ? 1.0f : alphas[0];
  float hi = sixStep ? 0.0f : alphas[0];
  for (float v : alphas) {
    if (sixStep) {
      if (v > 0.0f && v < lo) lo = v;
      if (v < 1.0f && v > hi) hi = v;
    } else {
      lo = v < lo ? v : lo;
      hi = v > hi ? v : hi;
    }
  }
  for (int round = 0; round < 8; ++round) {
    if (hi - lo < 1.0f / 256.0f) break;
    const float s = static_cast<float>(n) / (hi - lo);
    float palette[8];
    float loWeight[8];
    float hiWeight[8];
    for (int k = 0; k <= n; ++k) {
      palette[k] =
          lo * static_cast<float>(n - k) / static_cast<float>(n) + hi * static_cast<float>(k) / static_cast<float>(n);
      loWeight[k] = static_cast<float>(n - k) / static_cast<float>(n);
      hiWeight[k] = static_cast<float>(k) / static_cast<float>(n);
    }
    float sumLo = 0, squaresLo = 0, sumHi = 0, squaresHi = 0;
    for (float v : alphas) {
      const float t = (v - lo) * s;
      int k;
      if (t <= 0.0f) {
        if (sixStep && lo * 0.5f >= v) continue;
        k = 0;
      } else if (t >= static_cast<float>(n)) {
        if (sixStep && (hi + 1.0f) * 0.5f <= v) continue;
        k = n;
      } else {
        k = static_cast<int>(t + 0.5f);
      }
      const float e = palette[k] - v;
      sumLo += e * loWeight[k];
      squaresLo += loWeight[k] * loWeight[k];
      sumHi += e * hiWeight[k];
      squaresHi += hiWeight[k] * hiWeight[k];
    }
    if (squaresLo > 0) lo -= sumLo / squaresLo;
    if (squaresHi > 0) hi -= sumHi / squaresHi;
    if (lo > hi) std::swap(lo, hi);
    if (sumLo * sumLo < 1.0f / 64.0f && sumHi * sumHi < 1.0f / 64.0f) break;
  }
  return {std::clamp(lo, 0.0f, 1.0f), std::clamp(hi, 0.0f, 1.0f)};
}

TEST(DxtRefine, AlphaEndpointsFollowTheStatedArithmeticBitForBit) {
  std::uint32_t seed = 2024;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  int compared = 0;
  for (int block = 0; block < 40000; ++block) {
    float alphas[16];
    // Quantised alphas as the encoder hands them over, some blocks with exact 0 and 1, and
    // narrow ranges where the palette steps are small.
    const int base = static_cast<int>(next() % 256);
    const int spread = 1 + static_cast<int>(next() % (block % 3 == 0 ? 8 : 256));
    for (float& a : alphas) {
      int level = base + static_cast<int>(next() % static_cast<unsigned>(spread)) - spread / 2;
      if (block % 5 == 0 && next() % 4 == 0) level = next() % 2 ? 0 : 255;
      a = static_cast<float>(std::clamp(level, 0, 255)) / 255.0f;
    }
    for (int mode : {8, 6}) {
      const AlphaEndpoints got = RefineAlphaEndpoints(alphas, mode);
      const AlphaEndpoints expected = ReferenceAlphaRefinement(alphas, mode);
      ASSERT_EQ(std::bit_cast<std::uint32_t>(got.lo), std::bit_cast<std::uint32_t>(expected.lo))
          << "block " << block << " mode " << mode;
      ASSERT_EQ(std::bit_cast<std::uint32_t>(got.hi), std::bit_cast<std::uint32_t>(expected.hi))
          << "block " << block << " mode " << mode;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 80000);
}

TEST(DxtRefine, ColorEndpointsFollowTheAntiDiagonal) {
  // Red and blue in weighted space: the line runs from high R, low B to low R, high B, so the
  // blue channel of the endpoints is exchanged against the plain bounding box.
  Float3 w[16];
  for (int i = 0; i < 16; ++i) w[i] = i % 2 ? Float3{kChannelWeights[0], 0, 0} : Float3{0, 0, kChannelWeights[2]};
  const ColorEndpoints e = RefineColorEndpoints(w, 4);
  EXPECT_FLOAT_EQ(e.lo.r, 0);
  EXPECT_FLOAT_EQ(e.lo.b, kChannelWeights[2]);
  EXPECT_FLOAT_EQ(e.hi.r, kChannelWeights[0]);
  EXPECT_FLOAT_EQ(e.hi.b, 0);
}

}  // namespace
}  // namespace rastro
