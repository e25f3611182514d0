#include "BlockCodec.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "DxtBlock.h"
#include "PixelCodec.h"

namespace rastro {
namespace {

constexpr FloatRgba kRed{1, 0, 0, 1};
constexpr FloatRgba kBlue{0, 0, 1, 1};
constexpr FloatRgba kGreen{0, 1, 0, 1};
constexpr std::uint16_t kBlueCode = 0x001F;

bool Same(const FloatRgba& a, const FloatRgba& b) { return a.R == b.R && a.G == b.G && a.B == b.B && a.A == b.A; }

std::string Describe(const FloatRgba& p) {
  return "(" + std::to_string(p.R) + ", " + std::to_string(p.G) + ", " + std::to_string(p.B) + ", " +
         std::to_string(p.A) + ")";
}

// A block-compressed image in memory, as a lock would describe it.
struct Surface {
  D3DFORMAT format;
  UINT width, height, depth;
  UINT blockBytes;
  UINT rowPitch, slicePitch;
  std::vector<std::uint8_t> bytes;

  Surface(D3DFORMAT f, UINT w, UINT h, UINT d = 1)
      : format(f), width(w), height(h), depth(d), blockBytes(f == D3DFMT_DXT1 ? 8 : 16) {
    rowPitch = (w + 3) / 4 * blockBytes + 8;  // a little slack, as real pitches have
    slicePitch = rowPitch * ((h + 3) / 4);
    bytes.assign(static_cast<std::size_t>(slicePitch) * d, 0xCD);
  }

  std::uint8_t* Block(UINT x, UINT y, UINT z = 0) {
    return bytes.data() + z * slicePitch + (y / 4) * rowPitch + (x / 4) * blockBytes;
  }

  // Every block one flat opaque colour: c0 = c1 = code, indices 0, alpha opaque.
  void FillFlat(std::uint16_t code) {
    for (UINT z = 0; z < depth; ++z)
      for (UINT y = 0; y < height; y += 4)
        for (UINT x = 0; x < width; x += 4) {
          std::uint8_t* b = Block(x, y, z);
          std::uint8_t* color = b;
          if (blockBytes == 16) {
            // DXT3: all nibbles 15; DXT5: a0 = a1 = 255 with indices 0.
            std::memset(b, format == D3DFMT_DXT3 ? 0xFF : 0x00, 8);
            if (format == D3DFMT_DXT5) b[0] = b[1] = 0xFF;
            color = b + 8;
          }
          color[0] = color[2] = static_cast<std::uint8_t>(code);
          color[1] = color[3] = static_cast<std::uint8_t>(code >> 8);
          std::memset(color + 4, 0, 4);
        }
  }

  // The pixel as the published format decodes it, independent of the codec.
  FloatRgba Pixel(UINT x, UINT y, UINT z = 0) {
    BlockPixels p;
    const std::uint8_t* b = Block(x, y, z);
    switch (format) {
      case D3DFMT_DXT1: DecodeDxt1Block(p, b); break;
      case D3DFMT_DXT3: DecodeDxt3Block(p, b); break;
      default: DecodeDxt5Block(p, b); break;
    }
    const float* v = p.rgba[(y & 3) * 4 + (x & 3)];
    return {v[0], v[1], v[2], v[3]};
  }

  PixelRegion Region(D3DBOX box) {
    PixelRegion r;
    r.Data = bytes.data();
    r.Format = format;
    r.RowPitch = rowPitch;
    r.SlicePitch = slicePitch;
    r.Extent = {0, 0, width, height, 0, depth};
    r.Region = box;
    return r;
  }
};

std::unique_ptr<PixelCodec> Codec(const PixelRegion& region) {
  auto codec = CreatePixelCodec(region);
  EXPECT_NE(codec, nullptr);
  return codec;
}

// Writes every row of the codec's region from a function of absolute coordinates.
template <typename Pattern>
void WriteAll(PixelCodec& codec, const D3DBOX& box, Pattern pattern) {
  std::vector<FloatRgba> row(box.Right - box.Left);
  for (UINT z = 0; z < box.Back - box.Front; ++z)
    for (UINT y = 0; y < box.Bottom - box.Top; ++y) {
      for (UINT x = 0; x < row.size(); ++x) row[x] = pattern(box.Left + x, box.Top + y, box.Front + z);
      codec.WriteRow(y, z, row.data());
    }
}

TEST(BlockCodec, FactoryBuildsItForEveryDxtFormat) {
  Surface s(D3DFMT_DXT1, 4, 4);
  for (D3DFORMAT f : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
    PixelRegion r = s.Region({0, 0, 4, 4, 0, 1});
    r.Format = f;
    auto codec = CreatePixelCodec(r);
    ASSERT_NE(codec, nullptr);
    EXPECT_FALSE(codec->Flags().RegionRebased);
    EXPECT_EQ(codec->Range(), RangeUnsigned);
    EXPECT_EQ(codec->BytesPerPixel(), 0u);
  }
  PixelRegion inverted = s.Region({4, 0, 0, 4, 0, 1});
  EXPECT_EQ(CreatePixelCodec(inverted), nullptr);
  PixelRegion huge = s.Region({0, 0, 0xFFFFFFFEu, 4, 0, 1});
  EXPECT_EQ(CreatePixelCodec(huge), nullptr);
}

TEST(BlockCodec, WholeSurfaceWriteStoresTheExpectedBlocks) {
  Surface s(D3DFMT_DXT1, 8, 8);
  const D3DBOX box{0, 0, 8, 8, 0, 1};
  auto codec = Codec(s.Region(box));
  // Block (0,0) flat red, (1,0) left half blue right half green, lower blocks flat blue.
  WriteAll(*codec, box, [](UINT x, UINT y, UINT) {
    if (y >= 4) return kBlue;
    if (x < 4) return kRed;
    return x < 6 ? kBlue : kGreen;
  });
  const std::uint8_t red[8] = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(s.Block(0, 0), red, 8), 0);
  const std::uint8_t blue[8] = {0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(s.Block(0, 4), blue, 8), 0);
  EXPECT_EQ(std::memcmp(s.Block(4, 4), blue, 8), 0);
  for (UINT y = 0; y < 4; ++y)
    for (UINT x = 4; x < 8; ++x) EXPECT_TRUE(Same(s.Pixel(x, y), x < 6 ? kBlue : kGreen)) << x << "," << y;
}

struct CutCase {
  D3DFORMAT format;
  D3DBOX box;
};

class BlockCodecPartialWrite : public testing::TestWithParam<CutCase> {};

// A rectangle of red written into a blue surface: every pixel outside it stays blue, every
// pixel inside becomes red, and blocks the rectangle does not touch keep their bytes.
TEST_P(BlockCodecPartialWrite, KeepsThePixelsOutsideTheRegion) {
  const CutCase c = GetParam();
  Surface s(c.format, 12, 12);
  s.FillFlat(kBlueCode);
  const std::vector<std::uint8_t> before = s.bytes;
  {
    auto codec = Codec(s.Region(c.box));
    WriteAll(*codec, c.box, [](UINT, UINT, UINT) { return kRed; });
  }
  for (UINT y = 0; y < 12; ++y)
    for (UINT x = 0; x < 12; ++x) {
      const bool inside = x >= c.box.Left && x < c.box.Right && y >= c.box.Top && y < c.box.Bottom;
      const FloatRgba p = s.Pixel(x, y);
      EXPECT_TRUE(Same(p, inside ? kRed : kBlue)) << "pixel " << x << "," << y << " " << Describe(p);
    }
  const UINT bx0 = c.box.Left & ~3u, by0 = c.box.Top & ~3u;
  for (UINT y = 0; y < 12; y += 4)
    for (UINT x = 0; x < 12; x += 4) {
      const bool touched = x >= bx0 && x < c.box.Right && y >= by0 && y < c.box.Bottom;
      if (touched) continue;
      const std::size_t offset = s.Block(x, y) - s.bytes.data();
      EXPECT_EQ(std::memcmp(s.bytes.data() + offset, before.data() + offset, s.blockBytes), 0)
          << "block " << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rectangles, BlockCodecPartialWrite,
    testing::Values(CutCase{D3DFMT_DXT1, {2, 2, 4, 4, 0, 1}}, CutCase{D3DFMT_DXT1, {1, 0, 11, 4, 0, 1}},
                    CutCase{D3DFMT_DXT1, {0, 1, 12, 3, 0, 1}}, CutCase{D3DFMT_DXT1, {3, 3, 6, 10, 0, 1}},
                    CutCase{D3DFMT_DXT1, {4, 4, 8, 8, 0, 1}}, CutCase{D3DFMT_DXT1, {5, 6, 6, 7, 0, 1}},
                    CutCase{D3DFMT_DXT3, {2, 5, 9, 11, 0, 1}}, CutCase{D3DFMT_DXT5, {2, 5, 9, 11, 0, 1}},
                    CutCase{D3DFMT_DXT5, {0, 0, 12, 12, 0, 1}}));

TEST(BlockCodec, OnlyTheCutBlockIsReencoded) {
  Surface s(D3DFMT_DXT1, 8, 8);
  s.FillFlat(kBlueCode);
  // Give the untouched blocks indices that a re-encode would never produce for flat blue.
  for (UINT y = 0; y < 8; y += 4)
    for (UINT x = 0; x < 8; x += 4)
      if (x || y) s.Block(x, y)[4] = 0x55;
  const std::vector<std::uint8_t> before = s.bytes;
  const D3DBOX box{2, 2, 4, 4, 0, 1};
  {
    auto codec = Codec(s.Region(box));
    WriteAll(*codec, box, [](UINT, UINT, UINT) { return kRed; });
  }
  EXPECT_NE(std::memcmp(s.Block(0, 0), before.data(), 8), 0);
  EXPECT_EQ(std::memcmp(s.bytes.data() + 8, before.data() + 8, s.bytes.size() - 8), 0);
}

TEST(BlockCodec, BlockRowIsEncodedOnlyOnceAllItsRowsArrive) {
  Surface s(D3DFMT_DXT1, 4, 8);
  s.FillFlat(kBlueCode);
  const std::vector<std::uint8_t> before = s.bytes;
  const D3DBOX box{0, 0, 4, 8, 0, 1};
  auto codec = Codec(s.Region(box));
  const FloatRgba rows[4][4] = {{kRed, kRed, kRed, kRed},
                                {kGreen, kGreen, kGreen, kGreen},
                                {kRed, kGreen, kRed, kGreen},
                                {kGreen, kRed, kGreen, kRed}};
  for (UINT y : {3u, 1u, 0u}) {
    codec->WriteRow(y, 0, rows[y]);
    EXPECT_EQ(s.bytes, before) << "after row " << y;
  }
  codec->WriteRow(2, 0, rows[2]);
  for (UINT y = 0; y < 4; ++y)
    for (UINT x = 0; x < 4; ++x) EXPECT_TRUE(Same(s.Pixel(x, y), rows[y][x])) << x << "," << y;

  // Rows 4-6 of the second block row never complete: destroying the codec drops them.
  for (UINT y = 4; y < 7; ++y) codec->WriteRow(y, 0, rows[0]);
  codec.reset();
  EXPECT_EQ(std::memcmp(s.Block(0, 4), before.data() + s.rowPitch, 8), 0);
}

TEST(BlockCodec, RewritingAnEncodedRowKeepsTheOtherRows) {
  Surface s(D3DFMT_DXT1, 4, 4);
  const D3DBOX box{0, 0, 4, 4, 0, 1};
  auto codec = Codec(s.Region(box));
  WriteAll(*codec, box, [](UINT, UINT, UINT) { return kRed; });
  const FloatRgba blueRow[4] = {kBlue, kBlue, kBlue, kBlue};
  codec->WriteRow(1, 0, blueRow);
  for (UINT y = 0; y < 4; ++y)
    for (UINT x = 0; x < 4; ++x) EXPECT_TRUE(Same(s.Pixel(x, y), y == 1 ? kBlue : kRed)) << x << "," << y;
}

struct EdgeCase {
  UINT width, height;
};

class BlockCodecImageEdge : public testing::TestWithParam<EdgeCase> {};

// Pixels beyond the image's right and bottom edge copy columns and rows 0, 0, 1 of their block
// (positions 1, 2, 3), so the padding never brings in a colour the image does not have there.
TEST_P(BlockCodecImageEdge, PadsBlocksBeyondTheImageFromInside) {
  const EdgeCase c = GetParam();
  Surface s(D3DFMT_DXT1, c.width, c.height);
  const D3DBOX box{0, 0, c.width, c.height, 0, 1};
  // Two colours per block: a checkerboard of red and blue pixels.
  auto color = [](UINT x, UINT y) { return (x + y) % 2 ? kBlue : kRed; };
  {
    auto codec = Codec(s.Region(box));
    WriteAll(*codec, box, [&](UINT x, UINT y, UINT) { return color(x, y); });
  }
  const UINT source[4] = {0, 0, 0, 1};
  for (UINT y = 0; y < (c.height + 3) / 4 * 4; ++y)
    for (UINT x = 0; x < (c.width + 3) / 4 * 4; ++x) {
      UINT sx = x, sy = y;
      while (sx >= c.width) sx = (x & ~3u) + source[sx & 3];
      while (sy >= c.height) sy = (y & ~3u) + source[sy & 3];
      EXPECT_TRUE(Same(s.Pixel(x, y), color(sx, sy))) << "pixel " << x << "," << y;
    }

  // Reading the image back gives exactly what was written.
  auto reader = Codec(s.Region(box));
  std::vector<FloatRgba> row(c.width);
  for (UINT y = 0; y < c.height; ++y) {
    reader->ReadRow(y, 0, row.data());
    for (UINT x = 0; x < c.width; ++x) EXPECT_TRUE(Same(row[x], color(x, y))) << x << "," << y;
  }
}

INSTANTIATE_TEST_SUITE_P(OddSizes, BlockCodecImageEdge,
                         testing::Values(EdgeCase{1, 1}, EdgeCase{2, 2}, EdgeCase{5, 7}, EdgeCase{6, 6}, EdgeCase{3, 9},
                                         EdgeCase{8, 3}));

TEST(BlockCodec, ReadsARegionThatCutsBlocks) {
  Surface s(D3DFMT_DXT5, 12, 8);
  // Each block flat in its own colour: block (bx, by) has R = bx / 31-ish steps, G = by.
  for (UINT y = 0; y < 8; y += 4)
    for (UINT x = 0; x < 12; x += 4) {
      std::uint8_t* b = s.Block(x, y);
      std::memset(b, 0, 16);
      b[0] = b[1] = 255;
      const std::uint16_t code = static_cast<std::uint16_t>((x / 4 * 10) << 11 | (y / 4 * 30) << 5 | 7);
      b[8] = b[10] = static_cast<std::uint8_t>(code);
      b[9] = b[11] = static_cast<std::uint8_t>(code >> 8);
    }
  const D3DBOX box{3, 2, 9, 7, 0, 1};
  auto codec = Codec(s.Region(box));
  std::vector<FloatRgba> row(6);
  // Read in an order that jumps between block rows.
  for (UINT y : {4u, 0u, 1u, 3u, 2u}) {
    row.assign(6, FloatRgba{-1, -1, -1, -1});
    codec->ReadRow(y, 0, row.data());
    for (UINT i = 0; i < 6; ++i) {
      const UINT x = box.Left + i, absY = box.Top + y;
      const FloatRgba expected{static_cast<float>(x / 4 * 10) / 31, static_cast<float>(absY / 4 * 30) / 63, 7.0f / 31,
                               1.0f};
      EXPECT_TRUE(Same(row[i], expected)) << "pixel " << x << "," << absY << " " << Describe(row[i]);
    }
  }
}

TEST(BlockCodec, VolumeSlicesUseTheSlicePitch) {
  Surface s(D3DFMT_DXT1, 4, 4, 3);
  s.FillFlat(kBlueCode);
  const D3DBOX box{0, 0, 4, 4, 1, 3};
  {
    auto codec = Codec(s.Region(box));
    WriteAll(*codec, box, [](UINT, UINT, UINT z) { return z == 1 ? kRed : kGreen; });
  }
  EXPECT_TRUE(Same(s.Pixel(1, 1, 0), kBlue));
  EXPECT_TRUE(Same(s.Pixel(1, 1, 1), kRed));
  EXPECT_TRUE(Same(s.Pixel(1, 1, 2), kGreen));
  auto reader = Codec(s.Region(box));
  FloatRgba row[4];
  reader->ReadRow(2, 1, row);
  EXPECT_TRUE(Same(row[3], kGreen));
  reader->ReadRow(2, 0, row);
  EXPECT_TRUE(Same(row[3], kRed));
}

TEST(BlockCodec, RowsOutsideTheRegionAreIgnored) {
  Surface s(D3DFMT_DXT1, 4, 4);
  s.FillFlat(kBlueCode);
  const std::vector<std::uint8_t> before = s.bytes;
  auto codec = Codec(s.Region({0, 0, 4, 4, 0, 1}));
  FloatRgba row[4] = {kRed, kRed, kRed, kRed};
  codec->WriteRow(4, 0, row);
  codec->WriteRow(0, 1, row);
  FloatRgba out[4] = {kGreen, kGreen, kGreen, kGreen};
  codec->ReadRow(7, 0, out);
  EXPECT_TRUE(Same(out[0], kGreen));
  codec.reset();
  EXPECT_EQ(s.bytes, before);
}

TEST(BlockCodec, ColorKeyMatchesAtTheStoredPrecision) {
  Surface s(D3DFMT_DXT1, 4, 4);
  const D3DBOX box{0, 0, 4, 4, 0, 1};
  {
    auto codec = Codec(s.Region(box));
    WriteAll(*codec, box, [](UINT x, UINT, UINT) { return x < 2 ? kRed : kBlue; });
  }
  // (252, 1, 1) is not pure red, but 5:6:5 cannot tell them apart.
  PixelRegion keyed = s.Region(box);
  keyed.ColorKey = 0xFFFC0101;
  auto codec = Codec(keyed);
  EXPECT_FLOAT_EQ(codec->Key().R, 1.0f);
  EXPECT_FLOAT_EQ(codec->Key().G, 0.0f);
  FloatRgba row[4];
  codec->ReadRow(0, 0, row);
  EXPECT_TRUE(Same(row[0], FloatRgba{0, 0, 0, 0}));
  EXPECT_TRUE(Same(row[1], FloatRgba{0, 0, 0, 0}));
  EXPECT_TRUE(Same(row[2], kBlue));
}

TEST(BlockCodec, ColorKeyAlphaUsesTheFormatsAlphaPrecision) {
  // DXT3 stores alpha in 4 bits: a key alpha of 0x80 becomes 8/15, which a pixel of alpha 8/15
  // matches; in DXT5 the same key is 128/255 and does not.
  for (D3DFORMAT f : {D3DFMT_DXT3, D3DFMT_DXT5}) {
    Surface s(f, 4, 4);
    s.FillFlat(0xF800);  // red
    if (f == D3DFMT_DXT3)
      std::memset(s.Block(0, 0), 0x88, 8);  // alpha 8/15 everywhere
    else {
      std::uint8_t* b = s.Block(0, 0);
      b[0] = b[1] = 136;  // 8/15 exactly
    }
    PixelRegion keyed = s.Region({0, 0, 4, 4, 0, 1});
    keyed.ColorKey = 0x80FF0000;
    auto codec = Codec(keyed);
    FloatRgba row[4];
    codec->ReadRow(0, 0, row);
    EXPECT_EQ(row[0].A == 0.0f, f == D3DFMT_DXT3) << "format " << f;
  }
}

TEST(BlockCodec, SrgbReadDecodesGamma) {
  Surface s(D3DFMT_DXT1, 4, 4);
  s.FillFlat(16 << 11 | 63 << 5);  // R 16/31, G 1, B 0
  PixelRegion r = s.Region({0, 0, 4, 4, 0, 1});
  r.Srgb = TRUE;
  auto codec = Codec(r);
  FloatRgba row[4];
  codec->ReadRow(0, 0, row);
  EXPECT_NEAR(row[0].R, std::pow(16.0 / 31, 2.2), 0.002);
  EXPECT_FLOAT_EQ(row[0].G, 1.0f);
  EXPECT_FLOAT_EQ(row[0].B, 0.0f);
  EXPECT_FLOAT_EQ(row[0].A, 1.0f);
}

TEST(BlockCodec, EncodingIgnoresTheCallersRoundingMode) {
  Surface a(D3DFMT_DXT5, 4, 4), b(D3DFMT_DXT5, 4, 4);
  const D3DBOX box{0, 0, 4, 4, 0, 1};
  auto gradient = [](UINT x, UINT y, UINT) {
    const float t = static_cast<float>(x * 4 + y) / 15.0f;
    return FloatRgba{0.13f + 0.7f * t, 0.91f - 0.6f * t, 0.37f * t, 0.2f + 0.61f * t};
  };
  {
    auto codec = Codec(a.Region(box));
    WriteAll(*codec, box, gradient);
  }
  const int previous = std::fegetround();
  std::fesetround(FE_UPWARD);
  {
    auto codec = Codec(b.Region(box));
    WriteAll(*codec, box, gradient);
  }
  EXPECT_EQ(std::fegetround(), FE_UPWARD);
  std::fesetround(previous);
  EXPECT_EQ(a.bytes, b.bytes);
}

}  // namespace
}  // namespace rastro
