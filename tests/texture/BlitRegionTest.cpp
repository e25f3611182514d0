// The conversion engine on images in memory: which path serves a request and what each path
// computes, with expected values worked out by hand from the filters' definitions.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "BlitRegion.h"
#include "PixelCodec.h"
#include "d3dx9tex.h"

namespace rastro {
namespace {

PixelRegion MemoryRegion(void* data, D3DFORMAT format, UINT pitch, UINT width, UINT height, UINT depth = 1,
                         UINT slicePitch = 0) {
  PixelRegion region;
  region.Data = data;
  region.Format = format;
  region.RowPitch = pitch;
  region.SlicePitch = slicePitch;
  region.Extent = {0, 0, width, height, 0, depth};
  region.Region = region.Extent;
  return region;
}

// An L8 image: one byte a pixel, rows tightly packed.
struct Gray {
  UINT width, height, depth;
  std::vector<BYTE> pixels;
  Gray(UINT w, UINT h, UINT d = 1) : width(w), height(h), depth(d), pixels(std::size_t{w} * h * d, 0) {}
  PixelRegion Region() { return MemoryRegion(pixels.data(), D3DFMT_L8, width, width, height, depth, width * height); }
  BYTE& at(UINT x, UINT y, UINT z = 0) { return pixels[(std::size_t{z} * height + y) * width + x]; }
};

// An A8R8G8B8 (or X8R8G8B8) image.
struct Argb {
  UINT width, height;
  D3DFORMAT format;
  std::vector<DWORD> pixels;
  Argb(UINT w, UINT h, D3DFORMAT f = D3DFMT_A8R8G8B8) : width(w), height(h), format(f), pixels(std::size_t{w} * h, 0) {}
  PixelRegion Region() { return MemoryRegion(pixels.data(), format, width * 4, width, height); }
  DWORD& at(UINT x, UINT y) { return pixels[std::size_t{y} * width + x]; }
};

TEST(BlitRegion, RefusesFilterWordsOutsideTheDefinedValues) {
  Gray source(2, 2), destination(2, 2);
  for (DWORD filter : {DWORD{0}, DWORD{6}, DWORD{0xFFFF}, DWORD{0x400000 | D3DX_FILTER_TRIANGLE},
                       DWORD{0x80000000u | D3DX_FILTER_POINT}}) {
    EXPECT_EQ(BlitRegion(destination.Region(), source.Region(), filter), D3DERR_INVALIDCALL) << filter;
  }
  for (DWORD filter :
       {D3DX_FILTER_NONE, D3DX_FILTER_BOX | D3DX_FILTER_MIRROR | D3DX_FILTER_DITHER | D3DX_FILTER_SRGB}) {
    EXPECT_EQ(BlitRegion(destination.Region(), source.Region(), filter), S_OK) << filter;
  }
}

TEST(BlitRegion, FormatsWithoutACodecFail) {
  Gray source(2, 2), destination(2, 2);
  PixelRegion odd = destination.Region();
  odd.Format = D3DFMT_D24S8;
  EXPECT_EQ(BlitRegion(odd, source.Region(), D3DX_FILTER_POINT), E_FAIL);
  EXPECT_EQ(BlitRegion(source.Region(), odd, D3DX_FILTER_POINT), E_FAIL);
}

TEST(BlitRegion, SameFormatAndSizeCopiesBytesUnlessTheSidesDisagreeOnSrgb) {
  Argb source(3, 2, D3DFMT_X8R8G8B8);
  for (DWORD& p : source.pixels) p = 0x7F406080u;  // the X byte is kept only by a byte copy
  Argb copied(3, 2, D3DFMT_X8R8G8B8), converted(3, 2, D3DFMT_X8R8G8B8);
  ASSERT_EQ(BlitRegion(copied.Region(), source.Region(), D3DX_FILTER_POINT), S_OK);
  for (DWORD p : copied.pixels) EXPECT_EQ(p, 0x7F406080u);
  ASSERT_EQ(BlitRegion(converted.Region(), source.Region(), D3DX_FILTER_POINT | D3DX_FILTER_SRGB_IN), S_OK);
  for (DWORD p : converted.pixels) {
    EXPECT_EQ(p >> 24, 0u);      // converted: X written as 0
    EXPECT_LT(p & 0xFF, 0x80u);  // and the colour decoded from sRGB (darker)
  }
}

struct FourthByteCase {
  D3DFORMAT from, to;
  DWORD fourthByte;
};

class FourthByteConversion : public ::testing::TestWithParam<FourthByteCase> {};

TEST_P(FourthByteConversion, KeepsEveryColourByteAndSetsTheFourth) {
  const FourthByteCase& c = GetParam();
  Argb source(256, 3, c.from);
  for (UINT x = 0; x < 256; ++x) {
    source.at(x, 0) = 0x5A000000u | x * 0x010101u;
    source.at(x, 1) = (x << 24) | ((255 - x) << 16) | (x << 8) | ((x * 7) & 0xFF);
    source.at(x, 2) = 0x80000000u | (x << 16) | ((x * 3) & 0xFF) << 8 | (255 - x);
  }
  for (DWORD filter : {D3DX_FILTER_NONE, D3DX_FILTER_POINT | D3DX_FILTER_DITHER}) {
    Argb destination(256, 3, c.to);
    ASSERT_EQ(BlitRegion(destination.Region(), source.Region(), filter), S_OK);
    // Through the codecs' own float rows, for comparison.
    Argb viaFloat(256, 3, c.to);
    PixelRegion to = viaFloat.Region();
    to.Dither = (filter & D3DX_FILTER_DITHER) != 0;
    auto reader = CreatePixelCodec(source.Region());
    auto writer = CreatePixelCodec(to);
    ASSERT_TRUE(reader && writer);
    ASSERT_EQ(LinkCodecs(*writer, *reader), S_OK);
    std::vector<FloatRgba> row(256);
    for (UINT y = 0; y < 3; ++y) {
      reader->ReadRow(y, 0, row.data());
      writer->WriteRow(y, 0, row.data());
    }
    for (UINT y = 0; y < 3; ++y) {
      for (UINT x = 0; x < 256; ++x) {
        EXPECT_EQ(destination.at(x, y), (source.at(x, y) & 0xFFFFFFu) | c.fourthByte) << x << "," << y;
        EXPECT_EQ(destination.at(x, y), viaFloat.at(x, y)) << x << "," << y;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, FourthByteConversion,
                         ::testing::Values(FourthByteCase{D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, 0},
                                           FourthByteCase{D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, 0xFF000000u},
                                           FourthByteCase{D3DFMT_A8B8G8R8, D3DFMT_X8B8G8R8, 0},
                                           FourthByteCase{D3DFMT_X8B8G8R8, D3DFMT_A8B8G8R8, 0xFF000000u}));

TEST(BlitRegion, ColourKeyedSourcesConvertEvenWhenFormatsMatch) {
  Argb source(2, 1), destination(2, 1);
  source.at(0, 0) = 0xFF00FF00u;
  source.at(1, 0) = 0xFF123456u;
  PixelRegion keyed = source.Region();
  keyed.ColorKey = 0xFF00FF00u;
  ASSERT_EQ(BlitRegion(destination.Region(), keyed, D3DX_FILTER_NONE), S_OK);
  EXPECT_EQ(destination.at(0, 0), 0u);
  EXPECT_EQ(destination.at(1, 0), 0xFF123456u);
}

TEST(BlitRegion, PalettizedBytesCopyOnlyUnderTheSamePalette) {
  PALETTEENTRY first[256] = {}, reversed[256] = {};
  for (int i = 0; i < 256; ++i) {
    first[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 255};
    reversed[255 - i] = first[i];
  }
  PALETTEENTRY copyOfFirst[256];
  std::memcpy(copyOfFirst, first, sizeof first);
  BYTE indices[4] = {0, 10, 200, 255};
  BYTE out[4] = {};
  PixelRegion from = MemoryRegion(indices, D3DFMT_P8, 4, 4, 1);
  PixelRegion to = MemoryRegion(out, D3DFMT_P8, 4, 4, 1);
  from.Palette = first;
  to.Palette = copyOfFirst;  // equal contents: the indices are copied
  ASSERT_EQ(BlitRegion(to, from, D3DX_FILTER_NONE), S_OK);
  EXPECT_EQ(std::memcmp(out, indices, 4), 0);
  to.Palette = reversed;  // the same colours under other indices: converted to them
  ASSERT_EQ(BlitRegion(to, from, D3DX_FILTER_NONE), S_OK);
  const BYTE expected[4] = {255, 245, 55, 0};
  EXPECT_EQ(std::memcmp(out, expected, 4), 0);
}

TEST(BlitRegion, DxtRegionsOnBlockEdgesCopyWholeBlocks) {
  // 8x8 DXT1 = 2x2 blocks of 8 bytes; a block copy at (4, 4) moves one block whole.
  std::vector<BYTE> source(32), destination(32, 0);
  for (int i = 0; i < 32; ++i) source[i] = static_cast<BYTE>(i * 13 + 5);
  PixelRegion from = MemoryRegion(source.data(), D3DFMT_DXT1, 16, 8, 8);
  PixelRegion to = MemoryRegion(destination.data(), D3DFMT_DXT1, 16, 8, 8);
  from.Region = {4, 4, 8, 8, 0, 1};
  to.Region = {0, 0, 4, 4, 0, 1};
  ASSERT_EQ(BlitRegion(to, from, D3DX_FILTER_NONE), S_OK);
  EXPECT_EQ(std::memcmp(destination.data(), source.data() + 16 + 8, 8), 0);  // block (1, 1) -> block (0, 0)
  for (int i = 8; i < 32; ++i) EXPECT_EQ(destination[i], 0) << i;
}

TEST(BlitRegion, BoxHalvingDropsTheOddLastRowAndColumn) {
  Gray source(3, 3);
  const BYTE values[3][3] = {{10, 20, 250}, {30, 41, 250}, {250, 250, 250}};
  for (UINT y = 0; y < 3; ++y) {
    for (UINT x = 0; x < 3; ++x) source.at(x, y) = values[y][x];
  }
  Gray integer(1, 1), floating(1, 1);
  // Without dithering the integer routine serves: (10 + 20 + 30 + 41 + 2) >> 2 = 25.
  ASSERT_EQ(BlitRegion(integer.Region(), source.Region(), D3DX_FILTER_BOX), S_OK);
  EXPECT_EQ(integer.at(0, 0), 25);
  // With dithering the float average: 101 / 4 = 25.25, plus an ordered-dither offset below 1.
  ASSERT_EQ(BlitRegion(floating.Region(), source.Region(), D3DX_FILTER_BOX | D3DX_FILTER_DITHER), S_OK);
  EXPECT_EQ(floating.at(0, 0), 25 + (0.25 + 15.5 / 16 >= 1.0 ? 1 : 0));
}

TEST(BlitRegion, BoxThatIsNotAHalvingIsServedByTheTriangleFilter) {
  std::mt19937 random(7);
  Gray source(10, 10);
  for (BYTE& p : source.pixels) p = static_cast<BYTE>(random());
  Gray box(4, 4), triangle(4, 4);
  ASSERT_EQ(BlitRegion(box.Region(), source.Region(), D3DX_FILTER_BOX), S_OK);
  ASSERT_EQ(BlitRegion(triangle.Region(), source.Region(), D3DX_FILTER_TRIANGLE), S_OK);
  EXPECT_EQ(box.pixels, triangle.pixels);
}

TEST(BlitRegion, NonePlacesTheSourceTopLeftAndClearsTheRest) {
  Argb source(2, 2), destination(4, 4);
  source.pixels = {0xFF010203u, 0x80040506u, 0x40070809u, 0x200A0B0Cu};
  for (DWORD& p : destination.pixels) p = 0xDEADBEEFu;
  ASSERT_EQ(BlitRegion(destination.Region(), source.Region(), D3DX_FILTER_NONE), S_OK);
  for (UINT y = 0; y < 4; ++y) {
    for (UINT x = 0; x < 4; ++x) {
      DWORD expected = (x < 2 && y < 2) ? source.at(x, y) : 0u;
      EXPECT_EQ(destination.at(x, y), expected) << x << "," << y;
    }
  }
  // And a larger source is clipped to the destination.
  Argb small(1, 1);
  ASSERT_EQ(BlitRegion(small.Region(), source.Region(), D3DX_FILTER_NONE), S_OK);
  EXPECT_EQ(small.at(0, 0), 0xFF010203u);
}

TEST(BlitRegion, PointSamplesWithoutHalfPixelOffset) {
  Gray source(4, 4);
  for (UINT y = 0; y < 4; ++y) {
    for (UINT x = 0; x < 4; ++x) source.at(x, y) = static_cast<BYTE>(10 * y + x);
  }
  Gray down(3, 3);
  ASSERT_EQ(BlitRegion(down.Region(), source.Region(), D3DX_FILTER_POINT), S_OK);
  // Steps of 4 * 65536 / 3 = 87381: columns and rows 0, 1 (87381 >> 16) and 2 (174762 >> 16).
  for (UINT y = 0; y < 3; ++y) {
    for (UINT x = 0; x < 3; ++x) EXPECT_EQ(down.at(x, y), 10 * y + x);
  }
  Gray up(8, 1);
  ASSERT_EQ(BlitRegion(up.Region(), source.Region(), D3DX_FILTER_POINT), S_OK);
  const BYTE expected[8] = {0, 0, 1, 1, 2, 2, 3, 3};
  for (UINT x = 0; x < 8; ++x) EXPECT_EQ(up.at(x, 0), expected[x]);
}

TEST(BlitRegion, LinearWrapsOrMirrorsAtTheEdges) {
  Gray source(4, 1);
  const BYTE values[4] = {0, 40, 80, 200};
  for (UINT x = 0; x < 4; ++x) source.at(x, 0) = values[x];
  Gray wrapped(8, 1), mirrored(8, 1);
  ASSERT_EQ(BlitRegion(wrapped.Region(), source.Region(), D3DX_FILTER_LINEAR), S_OK);
  ASSERT_EQ(BlitRegion(mirrored.Region(), source.Region(), D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_U), S_OK);
  // Pixel 0: m = 0.5 * 0.5 + 0.5 = 0.75, taps -1 (0.25) and 0 (0.75); -1 wraps to 3 or stays at 0.
  EXPECT_EQ(wrapped.at(0, 0), 50);  // 0.25 * 200 + 0.75 * 0
  EXPECT_EQ(mirrored.at(0, 0), 0);
  // Pixel 1: m = 1.25, taps 0 (0.75) and 1 (0.25): 10. Pixel 7: m = 4.25, taps 3 (0.75) and
  // 4 (0.25), which wraps to 0 (150) or stays at 3 (200).
  EXPECT_EQ(wrapped.at(1, 0), 10);
  EXPECT_EQ(wrapped.at(7, 0), 150);
  EXPECT_EQ(mirrored.at(7, 0), 200);
  // Rows work the same way with MIRROR_V.
  Gray column(1, 4), tall(1, 8);
  for (UINT y = 0; y < 4; ++y) column.at(0, y) = values[y];
  ASSERT_EQ(BlitRegion(tall.Region(), column.Region(), D3DX_FILTER_LINEAR), S_OK);
  EXPECT_EQ(tall.at(0, 0), 50);
  ASSERT_EQ(BlitRegion(tall.Region(), column.Region(), D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_V), S_OK);
  EXPECT_EQ(tall.at(0, 0), 0);
}

// Bilinear taps worked out from their definition: m = (i + 0.5) * s / d + 0.5, taps
// trunc(m) - 1 and trunc(m) with weights trunc(m) + 1 - m and the rest; off-edge taps wrap.
struct ReferenceTap {
  int first, second;
  double firstWeight;
};

ReferenceTap Tap(int i, int s, int d, bool wrap) {
  double m = (i + 0.5) * s / d + 0.5;
  int n = static_cast<int>(m);
  ReferenceTap t{n - 1, n, n + 1 - m};
  if (t.first < 0) t.first = wrap ? s - 1 : 0;
  if (t.second >= s) t.second = wrap ? 0 : s - 1;
  return t;
}

TEST(BlitRegion, BilinearMatchesTheTapsOnARandomImage) {
  std::mt19937 random(21);
  const int sw = 9, sh = 7;
  for (auto [dw, dh, mirror] : {std::tuple{20, 5, 0u}, std::tuple{4, 16, D3DX_FILTER_MIRROR}, std::tuple{13, 13, 0u}}) {
    Gray source(sw, sh);
    for (BYTE& p : source.pixels) p = static_cast<BYTE>(random());
    std::vector<float> out(std::size_t(dw) * dh * 4);
    PixelRegion destination = MemoryRegion(out.data(), D3DFMT_A32B32G32R32F, dw * 16, dw, dh);
    ASSERT_EQ(BlitRegion(destination, source.Region(), D3DX_FILTER_LINEAR | mirror), S_OK);
    for (int y = 0; y < dh; ++y) {
      ReferenceTap ty = Tap(y, sh, dh, mirror == 0);
      for (int x = 0; x < dw; ++x) {
        ReferenceTap tx = Tap(x, sw, dw, mirror == 0);
        auto row = [&](int r) {
          return tx.firstWeight * source.at(tx.first, r) + (1 - tx.firstWeight) * source.at(tx.second, r);
        };
        double expected = (ty.firstWeight * row(ty.first) + (1 - ty.firstWeight) * row(ty.second)) / 255.0;
        EXPECT_NEAR(out[(std::size_t(y) * dw + x) * 4], expected, 1e-5) << dw << "x" << dh << " " << x << "," << y;
      }
    }
  }
}

struct TentCase {
  UINT sourceWidth, sourceHeight, width, height;
  DWORD mirror;
};

class TriangleFilter : public ::testing::TestWithParam<TentCase> {};

TEST_P(TriangleFilter, WeightsOfEveryDestinationPixelAddUpToOne) {
  const TentCase& c = GetParam();
  Gray source(c.sourceWidth, c.sourceHeight), destination(c.width, c.height);
  for (BYTE& p : source.pixels) p = 173;
  ASSERT_EQ(BlitRegion(destination.Region(), source.Region(), D3DX_FILTER_TRIANGLE | c.mirror), S_OK);
  for (BYTE p : destination.pixels) EXPECT_EQ(p, 173);
}

TEST_P(TriangleFilter, NeverLeavesTheSourceRange) {
  const TentCase& c = GetParam();
  std::mt19937 random(c.width * 31 + c.height);
  // Extremes only: the sums of the largest values are where rounding could step outside.
  Gray source(c.sourceWidth, c.sourceHeight);
  for (BYTE& p : source.pixels) p = (random() & 1) ? 255 : 0;
  std::vector<float> out(std::size_t{c.width} * c.height * 4);
  PixelRegion destination = MemoryRegion(out.data(), D3DFMT_A32B32G32R32F, c.width * 16, c.width, c.height);
  ASSERT_EQ(BlitRegion(destination, source.Region(), D3DX_FILTER_TRIANGLE | c.mirror), S_OK);
  for (float v : out) {
    EXPECT_GE(v, 0.0f);
    EXPECT_LE(v, 1.0f);
  }
  // Signed data stays within [-1, 1].
  std::vector<std::int8_t> bump(std::size_t{c.sourceWidth} * c.sourceHeight * 2);
  for (auto& v : bump) v = (random() & 1) ? 127 : -127;
  PixelRegion signedSource = MemoryRegion(bump.data(), D3DFMT_V8U8, c.sourceWidth * 2, c.sourceWidth, c.sourceHeight);
  ASSERT_EQ(BlitRegion(destination, signedSource, D3DX_FILTER_TRIANGLE | c.mirror), S_OK);
  for (float v : out) {
    EXPECT_GE(v, -1.0f);
    EXPECT_LE(v, 1.0f);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TriangleFilter,
                         ::testing::Values(TentCase{10, 10, 4, 4, 0}, TentCase{10, 10, 4, 4, D3DX_FILTER_MIRROR},
                                           TentCase{7, 5, 13, 11, 0}, TentCase{7, 5, 13, 11, D3DX_FILTER_MIRROR},
                                           TentCase{1, 1, 3, 2, 0}, TentCase{33, 17, 1, 1, D3DX_FILTER_MIRROR},
                                           TentCase{33, 17, 1, 1, 0}, TentCase{640, 3, 100, 2, 0}));

TEST(BlitRegion, VolumesHalveAndFilterAcrossSlices) {
  Gray source(2, 2, 2);
  const BYTE values[8] = {0, 8, 16, 24, 32, 40, 48, 56};
  std::memcpy(source.pixels.data(), values, 8);
  Gray halved(1, 1, 1);
  ASSERT_EQ(BlitRegion(halved.Region(), source.Region(), D3DX_FILTER_BOX), S_OK);
  EXPECT_EQ(halved.at(0, 0), 28);  // 224 / 8
  Gray constant(3, 3, 3), grown(5, 4, 2), linear(5, 4, 2);
  for (BYTE& p : constant.pixels) p = 99;
  ASSERT_EQ(BlitRegion(grown.Region(), constant.Region(), D3DX_FILTER_TRIANGLE), S_OK);
  for (BYTE p : grown.pixels) EXPECT_EQ(p, 99);
  ASSERT_EQ(BlitRegion(linear.Region(), constant.Region(), D3DX_FILTER_LINEAR), S_OK);
  for (BYTE p : linear.pixels) EXPECT_EQ(p, 99);
  Gray sampled(2, 2, 2);
  ASSERT_EQ(BlitRegion(sampled.Region(), source.Region(), D3DX_FILTER_POINT), S_OK);
  EXPECT_EQ(sampled.pixels, source.pixels);  // same size: converted row by row, unchanged
}

TEST(BlitRegion, EmptyRegions) {
  Gray source(4, 4), nothing(0, 0), destination(2, 2);
  destination.pixels.assign(4, 7);
  EXPECT_EQ(BlitRegion(nothing.Region(), source.Region(), D3DX_FILTER_TRIANGLE), S_OK);
  EXPECT_EQ(BlitRegion(destination.Region(), nothing.Region(), D3DX_FILTER_TRIANGLE), D3DERR_INVALIDCALL);
  EXPECT_EQ(BlitRegion(destination.Region(), nothing.Region(), D3DX_FILTER_POINT), D3DERR_INVALIDCALL);
  EXPECT_EQ(destination.pixels, std::vector<BYTE>(4, 7));
  ASSERT_EQ(BlitRegion(destination.Region(), nothing.Region(), D3DX_FILTER_NONE), S_OK);
  EXPECT_EQ(destination.pixels, std::vector<BYTE>(4, 0));
}

}  // namespace
}  // namespace rastro
