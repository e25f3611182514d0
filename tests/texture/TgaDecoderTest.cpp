// Targa files built byte by byte, decoded by the loader.
#include <gtest/gtest.h>

#include <vector>

#include "DecodeTestSupport.h"

namespace rastro::testing {
namespace {

struct TgaSpec {
  BYTE imageType = 2;
  BYTE depth = 24;
  BYTE descriptor = 0x20;  // top-down, left to right
  WORD width = 1, height = 1;
  std::vector<BYTE> id;
  BYTE colorMapType = 0;
  WORD colorMapFirst = 0;
  BYTE colorMapEntrySize = 0;
  std::vector<BYTE> colorMap;  // raw entries
  std::vector<BYTE> data;
};

std::vector<BYTE> MakeTga(const TgaSpec& spec) {
  FileBuilder file;
  const unsigned entryBytes = (spec.colorMapEntrySize + 7u) / 8;
  file.U8(static_cast<unsigned>(spec.id.size())).U8(spec.colorMapType).U8(spec.imageType);
  file.U16(spec.colorMapFirst).U16(entryBytes ? static_cast<unsigned>(spec.colorMap.size() / entryBytes) : 0);
  file.U8(spec.colorMapEntrySize).U16(0).U16(0).U16(spec.width).U16(spec.height).U8(spec.depth).U8(spec.descriptor);
  return file.Append(spec.id).Append(spec.colorMap).Append(spec.data).Get();
}

// A 3 x 2 grey image whose stored pixels are 1..6 in stored order, in each orientation.
struct OrientationCase {
  BYTE descriptor;
  std::vector<BYTE> topRow, bottomRow;
};

class TgaOrientation : public ::testing::TestWithParam<OrientationCase> {};

TEST_P(TgaOrientation, RowZeroIsTheTopAndColumnZeroTheLeft) {
  for (bool runLength : {false, true}) {
    TgaSpec spec;
    spec.imageType = runLength ? 11 : 3;
    spec.depth = 8;
    spec.width = 3;
    spec.height = 2;
    spec.descriptor = GetParam().descriptor;
    spec.data = runLength ? std::vector<BYTE>{0x05, 1, 2, 3, 4, 5, 6} : std::vector<BYTE>{1, 2, 3, 4, 5, 6};
    std::vector<BYTE> file = MakeTga(spec);  // raw top-down pixels stay in the file
    auto decoded = Decode(file);
    ASSERT_EQ(decoded->hr, S_OK) << runLength;
    EXPECT_EQ(decoded->image.Format, D3DFMT_L8);
    EXPECT_EQ(decoded->image.FileFormat, D3DXIFF_TGA);
    EXPECT_EQ(decoded->RowBytes(0, 3), GetParam().topRow) << runLength;
    EXPECT_EQ(decoded->RowBytes(1, 3), GetParam().bottomRow) << runLength;
  }
}

INSTANTIATE_TEST_SUITE_P(Descriptors, TgaOrientation,
                         ::testing::Values(OrientationCase{0x20, {1, 2, 3}, {4, 5, 6}},
                                           OrientationCase{0x00, {4, 5, 6}, {1, 2, 3}},
                                           OrientationCase{0x30, {3, 2, 1}, {6, 5, 4}},
                                           OrientationCase{0x10, {6, 5, 4}, {3, 2, 1}}));

TEST(TgaDecoder, RawTopDownDataIsUsedInPlace) {
  TgaSpec spec;
  spec.width = 2;
  spec.id = {'h', 'i'};
  spec.data = {1, 2, 3, 4, 5, 6};
  std::vector<BYTE> file = MakeTga(spec);
  auto decoded = Decode(file);
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_R8G8B8);
  EXPECT_EQ(decoded->image.RowPitch, 6u);
  EXPECT_FALSE(decoded->image.OwnsData());
  EXPECT_EQ(decoded->image.Data, decoded->file.data() + 18 + 2);
}

TEST(TgaDecoder, ColorMapBytesAreSkippedEvenWithoutAColorMapType) {
  TgaSpec spec;
  spec.depth = 8;
  spec.imageType = 3;
  spec.colorMapEntrySize = 24;
  spec.colorMap = {9, 9, 9, 9, 9, 9};  // two entries the map type does not announce
  spec.data = {42};
  std::vector<BYTE> file = MakeTga(spec);
  auto decoded = Decode(file);
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Data, decoded->file.data() + 18 + 6);
  EXPECT_EQ(decoded->image.Palette, nullptr);
}

TEST(TgaDecoder, RunLengthPacketsRepeatOrCopyAndRunOnAcrossRows) {
  TgaSpec spec;
  spec.imageType = 10;
  spec.depth = 24;
  spec.width = 3;
  spec.height = 2;
  // Repeat (9, 8, 7) four times (crossing into the second row), then two literal pixels.
  spec.data = {0x83, 9, 8, 7, 0x01, 1, 2, 3, 4, 5, 6};
  auto decoded = Decode(MakeTga(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_TRUE(decoded->image.OwnsData());
  EXPECT_EQ(decoded->RowBytes(0, 9), (std::vector<BYTE>{9, 8, 7, 9, 8, 7, 9, 8, 7}));
  EXPECT_EQ(decoded->RowBytes(1, 9), (std::vector<BYTE>{9, 8, 7, 1, 2, 3, 4, 5, 6}));

  // A packet beyond the last pixel is cut off; running out of packets fails.
  spec.data = {0x87, 1, 1, 1};
  EXPECT_EQ(Decode(MakeTga(spec))->hr, S_OK);
  spec.data = {0x84, 1, 1, 1};
  EXPECT_EQ(Decode(MakeTga(spec))->hr, D3DXERR_INVALIDDATA);
  spec.data = {0x01, 1, 1, 1};
  EXPECT_EQ(Decode(MakeTga(spec))->hr, D3DXERR_INVALIDDATA);
}

TEST(TgaDecoder, AlphaThatIsZeroEverywhereIsDropped) {
  TgaSpec spec;
  spec.depth = 32;
  spec.width = 2;
  spec.data = {1, 2, 3, 0, 4, 5, 6, 0};
  EXPECT_EQ(Decode(MakeTga(spec))->image.Format, D3DFMT_X8R8G8B8);
  spec.data[7] = 0x80;
  EXPECT_EQ(Decode(MakeTga(spec))->image.Format, D3DFMT_A8R8G8B8);

  spec.depth = 16;
  spec.data = {0xFF, 0x7F, 0x00, 0x00};
  EXPECT_EQ(Decode(MakeTga(spec))->image.Format, D3DFMT_X1R5G5B5);
  spec.data = {0xFF, 0x7F, 0x00, 0x80};
  EXPECT_EQ(Decode(MakeTga(spec))->image.Format, D3DFMT_A1R5G5B5);
  spec.depth = 15;
  EXPECT_EQ(Decode(MakeTga(spec))->image.Format, D3DFMT_X1R5G5B5);
}

TEST(TgaDecoder, ColorMapEntriesFillThePaletteFromTheirFirstIndex) {
  TgaSpec spec;
  spec.imageType = 1;
  spec.depth = 8;
  spec.width = 2;
  spec.colorMapType = 1;
  spec.colorMapFirst = 2;
  spec.colorMapEntrySize = 16;
  // 1-5-5-5 entries: red 31, green 0, blue 1, alpha 1; then red 2, green 16, blue 0, alpha 0.
  spec.colorMap = {0x01, 0xFC, 0x00, 0x0A};
  spec.data = {2, 3};
  auto decoded = Decode(MakeTga(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_P8);
  ASSERT_TRUE(decoded->image.Palette);
  EXPECT_TRUE(SamePalette(decoded->image.Palette[0], {255, 255, 255, 255}));
  EXPECT_TRUE(SamePalette(decoded->image.Palette[2], {255, 0, 8, 255}));
  EXPECT_TRUE(SamePalette(decoded->image.Palette[3], {16, 132, 0, 0}));
  EXPECT_TRUE(SamePalette(decoded->image.Palette[4], {255, 255, 255, 255}));

  // No entry with alpha: the map is opaque.
  spec.colorMap = {0x01, 0x7C, 0x00, 0x0A};
  decoded = Decode(MakeTga(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Palette[2].peFlags, 255);
  EXPECT_EQ(decoded->image.Palette[3].peFlags, 255);

  // 24-bit entries are blue, green, red.
  spec.colorMapEntrySize = 24;
  spec.colorMap = {1, 2, 3, 4, 5, 6};
  decoded = Decode(MakeTga(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_TRUE(SamePalette(decoded->image.Palette[3], {6, 5, 4, 255}));

  // The map must fit 256 entries.
  spec.colorMapFirst = 255;
  EXPECT_EQ(Decode(MakeTga(spec))->hr, D3DXERR_INVALIDDATA);
}

TEST(TgaDecoder, MalformedHeadersAndShortDataAreRefused) {
  TgaSpec good;
  good.width = 2;
  good.data = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(Decode(MakeTga(good))->hr, S_OK);
  std::vector<TgaSpec> bad(6, good);
  bad[0].imageType = 0x12;  // reserved type bits
  bad[1].depth = 8;         // true colour needs 15, 16, 24 or 32 bits
  bad[2].imageType = 1;     // colour-mapped without a map
  bad[3].colorMapType = 2;
  bad[4].data.pop_back();
  bad[5].width = 0;
  for (std::size_t i = 0; i < bad.size(); ++i) EXPECT_EQ(Decode(MakeTga(bad[i]))->hr, D3DXERR_INVALIDDATA) << i;
}

}  // namespace
}  // namespace rastro::testing
