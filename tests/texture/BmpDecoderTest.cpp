// Windows bitmaps built byte by byte, decoded by the loader.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "DecodeTestSupport.h"
#include "FormatCatalogue.h"

namespace rastro::testing {
namespace {

struct DibSpec {
  DWORD headerSize = 40;
  LONG width = 1;
  LONG height = 1;
  WORD bitCount = 24;
  DWORD compression = 0;
  DWORD colorsUsed = 0;
  std::array<DWORD, 4> masks{};              // written when the header has room
  std::vector<std::array<BYTE, 4>> palette;  // blue, green, red, reserved
  std::vector<BYTE> bits;
};

std::vector<BYTE> MakeDib(const DibSpec& spec) {
  FileBuilder file;
  file.U32(spec.headerSize);
  if (spec.headerSize == 12) {
    file.U16(spec.width).U16(spec.height).U16(1).U16(spec.bitCount);
    for (const auto& entry : spec.palette) file.Bytes({entry[0], entry[1], entry[2]});
  } else {
    file.I32(spec.width).I32(spec.height).U16(1).U16(spec.bitCount).U32(spec.compression).U32(0).U32(2835).U32(2835);
    file.U32(spec.colorsUsed).U32(0);
    for (DWORD offset = 40, i = 0; offset + 4 <= spec.headerSize; offset += 4, ++i) file.U32(i < 4 ? spec.masks[i] : 0);
    for (const auto& entry : spec.palette) file.Bytes({entry[0], entry[1], entry[2], entry[3]});
  }
  return file.Append(spec.bits).Get();
}

std::vector<BYTE> MakeBmp(const DibSpec& spec) {
  std::vector<BYTE> dib = MakeDib(spec);
  FileBuilder file;
  file.Text("BM")
      .U32(static_cast<DWORD>(14 + dib.size()))
      .U32(0)
      .U32(static_cast<DWORD>(14 + dib.size() - spec.bits.size()));
  return file.Append(dib).Get();
}

TEST(BmpDecoder, BottomUpRowsLoadWithTheLastStoredRowOnTop) {
  DibSpec spec;
  spec.width = 2;
  spec.height = 2;
  // Stored bottom row first; 6 bytes a row padded to 8.
  spec.bits = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  auto decoded = Decode(MakeBmp(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_R8G8B8);
  EXPECT_EQ(decoded->image.FileFormat, D3DXIFF_BMP);
  EXPECT_EQ(decoded->image.RowPitch, 8u);
  EXPECT_TRUE(decoded->image.OwnsData());
  EXPECT_EQ(decoded->RowBytes(0, 6), (std::vector<BYTE>{7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(decoded->RowBytes(1, 6), (std::vector<BYTE>{1, 2, 3, 4, 5, 6}));
}

TEST(BmpDecoder, TopDownDataIsUsedInPlace) {
  DibSpec spec;
  spec.width = 2;
  spec.height = -2;
  spec.bits = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  std::vector<BYTE> file = MakeBmp(spec);
  auto decoded = Decode(file);
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_FALSE(decoded->image.OwnsData());
  EXPECT_EQ(decoded->image.Data, decoded->file.data() + 14 + 40);
  EXPECT_EQ(decoded->image.Height, 2u);
  EXPECT_EQ(decoded->RowBytes(1, 6), (std::vector<BYTE>{7, 8, 9, 10, 11, 12}));
}

TEST(BmpDecoder, AnyFourthByteMakes32BitDataCarryAlpha) {
  DibSpec spec;
  spec.width = 2;
  spec.height = 1;
  spec.bitCount = 32;
  spec.bits = {1, 2, 3, 0, 4, 5, 6, 0};
  EXPECT_EQ(Decode(MakeBmp(spec))->image.Format, D3DFMT_X8R8G8B8);
  spec.bits[7] = 1;
  auto decoded = Decode(MakeBmp(spec));
  EXPECT_EQ(decoded->image.Format, D3DFMT_A8R8G8B8);
  // The header-only answer agrees.
  EXPECT_EQ(Decode(MakeBmp(spec), false)->info.Format, D3DFMT_A8R8G8B8);
}

TEST(BmpDecoder, OneAndFourBitIndicesBecomeOneBytePerPixel) {
  DibSpec one;
  one.width = 10;
  one.bitCount = 1;
  one.palette = {{10, 20, 30, 0}, {40, 50, 60, 0}};
  one.bits = {0b10110000, 0b01000000, 0, 0};
  auto decoded = Decode(MakeBmp(one));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_P8);
  EXPECT_EQ(decoded->image.RowPitch, 12u);
  EXPECT_EQ(decoded->RowBytes(0, 10), (std::vector<BYTE>{1, 0, 1, 1, 0, 0, 0, 0, 0, 1}));
  ASSERT_TRUE(decoded->image.Palette);
  EXPECT_TRUE(SamePalette(decoded->image.Palette[0], {30, 20, 10, 255}));
  EXPECT_TRUE(SamePalette(decoded->image.Palette[1], {60, 50, 40, 255}));
  EXPECT_TRUE(SamePalette(decoded->image.Palette[2], {255, 255, 255, 255}));
  EXPECT_TRUE(SamePalette(decoded->image.Palette[255], {255, 255, 255, 255}));

  DibSpec four;
  four.width = 3;
  four.height = -1;
  four.bitCount = 4;
  four.colorsUsed = 4;
  four.palette = {{0, 0, 0, 0}, {1, 1, 1, 0}, {2, 2, 2, 0}, {3, 3, 3, 0}};
  four.bits = {0x12, 0x30, 0, 0};
  decoded = Decode(MakeBmp(four));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_TRUE(decoded->image.OwnsData());  // expanded, even though top-down
  EXPECT_EQ(decoded->RowBytes(0, 3), (std::vector<BYTE>{1, 2, 3}));
  EXPECT_TRUE(SamePalette(decoded->image.Palette[3], {3, 3, 3, 255}));
  EXPECT_TRUE(SamePalette(decoded->image.Palette[4], {255, 255, 255, 255}));
}

TEST(BmpDecoder, CoreHeaderHasThreeBytePaletteEntries) {
  DibSpec spec;
  spec.headerSize = 12;
  spec.width = 2;
  spec.bitCount = 1;
  spec.palette = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  spec.bits = {0b01000000, 0, 0, 0};
  auto decoded = Decode(MakeDib(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.FileFormat, D3DXIFF_DIB);
  EXPECT_EQ(decoded->RowBytes(0, 2), (std::vector<BYTE>{0, 1}));
  EXPECT_TRUE(SamePalette(decoded->image.Palette[1], {6, 5, 4, 255}));
}

struct MaskCase {
  WORD bitCount;
  DWORD headerSize;
  std::array<DWORD, 4> masks;
  D3DFORMAT format;
};

class BmpBitFields : public ::testing::TestWithParam<MaskCase> {};

TEST_P(BmpBitFields, MasksChooseTheFormat) {
  const MaskCase& c = GetParam();
  DibSpec spec;
  spec.headerSize = c.headerSize;
  spec.bitCount = c.bitCount;
  spec.compression = 3;
  spec.masks = c.masks;
  spec.bits.assign(4, 0);
  auto decoded = Decode(MakeBmp(spec), false);
  if (c.format == D3DFMT_UNKNOWN) {
    EXPECT_EQ(decoded->hr, D3DXERR_INVALIDDATA);
  } else {
    ASSERT_EQ(decoded->hr, S_OK);
    EXPECT_EQ(decoded->info.Format, c.format);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, BmpBitFields,
                         ::testing::Values(MaskCase{16, 56, {0xF800, 0x7E0, 0x1F, 0}, D3DFMT_R5G6B5},
                                           MaskCase{16, 56, {0x7C00, 0x3E0, 0x1F, 0x8000}, D3DFMT_A1R5G5B5},
                                           // Without room for an alpha mask the alpha mask is 0.
                                           MaskCase{16, 52, {0x7C00, 0x3E0, 0x1F, 0x8000}, D3DFMT_X1R5G5B5},
                                           MaskCase{16, 56, {0xF00, 0xF0, 0xF, 0xF000}, D3DFMT_A4R4G4B4},
                                           MaskCase{16, 56, {0xFFFF, 0xFFFF, 0xFFFF, 0}, D3DFMT_L16},
                                           MaskCase{24, 56, {0xFF0000, 0xFF00, 0xFF, 0}, D3DFMT_R8G8B8},
                                           MaskCase{
                                               32, 56, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, D3DFMT_A2B10G10R10},
                                           MaskCase{32, 108, {0xFF, 0xFF00, 0xFF0000, 0}, D3DFMT_X8B8G8R8},
                                           MaskCase{32, 56, {0xFFFF, 0xFFFF0000, 0, 0}, D3DFMT_G16R16},
                                           // Other layouts decode to floats; other bit counts and short headers fail.
                                           MaskCase{16, 56, {0xF800, 0x7C0, 0x3E, 0x1}, D3DFMT_A32B32G32R32F},
                                           MaskCase{8, 56, {0xE0, 0x1C, 0x3, 0}, D3DFMT_UNKNOWN},
                                           MaskCase{16, 40, {0, 0, 0, 0}, D3DFMT_UNKNOWN}));

TEST(BmpDecoder, GenericBitFieldsScaleEachMaskToOne) {
  DibSpec spec;
  spec.headerSize = 56;
  spec.width = 2;
  spec.bitCount = 16;
  spec.compression = 3;
  spec.masks = {0xF800, 0x7C0, 0x3E, 0x1};  // 5-5-5-1, red on top
  spec.bits = {0x43, 0x08, 0xFE, 0xFF};     // 0x0843: 1, 1, 1, 1; 0xFFFE: 31, 31, 31, 0
  auto decoded = Decode(MakeBmp(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_A32B32G32R32F);
  EXPECT_EQ(decoded->image.RowPitch, 32u);
  const float* p = decoded->FloatPixel(0, 0);
  EXPECT_FLOAT_EQ(p[0], 1.0f / 31);
  EXPECT_FLOAT_EQ(p[1], 1.0f / 31);
  EXPECT_FLOAT_EQ(p[2], 1.0f / 31);
  EXPECT_FLOAT_EQ(p[3], 1.0f);
  p = decoded->FloatPixel(1, 0);
  EXPECT_FLOAT_EQ(p[0], 1.0f);
  EXPECT_FLOAT_EQ(p[3], 0.0f);

  // Alpha only: colour reads 0; a missing alpha mask reads 1.
  spec.masks = {0, 0, 0, 0xFF00};
  decoded = Decode(MakeBmp(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  p = decoded->FloatPixel(0, 0);
  EXPECT_EQ(p[0], 0.0f);
  EXPECT_EQ(p[2], 0.0f);
  EXPECT_FLOAT_EQ(p[3], 8.0f / 255);
  spec.masks = {0xFF, 0xFF00, 0, 0};
  decoded = Decode(MakeBmp(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_FLOAT_EQ(decoded->FloatPixel(0, 0)[0], 0x43 / 255.0f);
  EXPECT_FLOAT_EQ(decoded->FloatPixel(0, 0)[2], 1.0f);
  EXPECT_FLOAT_EQ(decoded->FloatPixel(0, 0)[3], 1.0f);
}

TEST(BmpDecoder, BlueGreenRedInTheUpperBytesReadsFromOneByteLater) {
  DibSpec spec;
  spec.headerSize = 56;
  spec.width = 2;
  spec.height = -1;
  spec.bitCount = 32;
  spec.compression = 3;
  spec.masks = {0xFF000000, 0xFF0000, 0xFF00, 0};
  spec.bits = {0xAA, 1, 2, 3, 0xBB, 4, 5, 6};  // each pixel: unused, blue, green, red
  auto decoded = Decode(MakeBmp(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_X8R8G8B8);
  // Blue, green, red of each pixel where X8R8G8B8 keeps them; the file ends before the last
  // pixel's unused byte.
  EXPECT_EQ(decoded->RowBytes(0, 8), (std::vector<BYTE>{1, 2, 3, 0xBB, 4, 5, 6, 0}));
}

// RLE streams: a 4 x 3 bottom-up 8-bit image.
std::vector<BYTE> Rle(WORD bitCount, DWORD compression, LONG width, LONG height, std::vector<BYTE> codes) {
  DibSpec spec;
  spec.width = width;
  spec.height = height;
  spec.bitCount = bitCount;
  spec.compression = compression;
  spec.colorsUsed = 1;
  spec.palette = {{0, 0, 0, 0}};
  spec.bits = std::move(codes);
  return MakeBmp(spec);
}

TEST(BmpDecoder, Rle8RunsLiteralsLineEndsAndMoves) {
  auto decoded = Decode(Rle(8, 1, 4, 3,
                            {3, 5, 0, 0,        // bottom row: 5 5 5, end of line
                             0, 3, 7, 8, 9, 0,  // middle row: literal 7 8 9, padded to a word
                             0, 2, 0, 1,        // move down one row (column 3 stays)
                             1, 6, 0, 1}));     // top row, column 3: 6; end of bitmap
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->RowBytes(0, 4), (std::vector<BYTE>{0, 0, 0, 6}));
  EXPECT_EQ(decoded->RowBytes(1, 4), (std::vector<BYTE>{7, 8, 9, 0}));
  EXPECT_EQ(decoded->RowBytes(2, 4), (std::vector<BYTE>{5, 5, 5, 0}));
}

TEST(BmpDecoder, Rle8EndsWhenThePositionLeavesTheImage) {
  // Three line ends finish a three-row image without an end-of-bitmap code.
  auto decoded = Decode(Rle(8, 1, 4, 3, {2, 1, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->RowBytes(2, 4), (std::vector<BYTE>{1, 1, 0, 0}));
}

TEST(BmpDecoder, RleThatWouldWriteOutsideTheImageIsRefused) {
  // 4 x 1: a run of 5 fits the row's padding but a run of 9 leaves the image.
  EXPECT_EQ(Decode(Rle(8, 1, 4, 1, {9, 1, 0, 1}))->hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(Decode(Rle(8, 1, 4, 1, {0, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 1}))->hr, D3DXERR_INVALIDDATA);
  // Codes that stop before the image is finished or the end code is read.
  EXPECT_EQ(Decode(Rle(8, 1, 4, 1, {2, 1, 0}))->hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(Decode(Rle(8, 1, 4, 1, {0, 4, 1, 2}))->hr, D3DXERR_INVALIDDATA);
  // Moving past the image ends decoding.
  EXPECT_EQ(Decode(Rle(8, 1, 4, 1, {1, 1, 0, 2, 0, 5}))->hr, S_OK);
}

TEST(BmpDecoder, Rle4LiteralOfFiveIndicesTakesFourBytes) {
  auto decoded = Decode(Rle(4, 2, 7, 1,
                            {0, 5, 0x12, 0x34, 0x50, 0x00,  // 1 2 3 4 5, padded
                             2, 0x67,                       // 6 7
                             0, 1}));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->RowBytes(0, 7), (std::vector<BYTE>{1, 2, 3, 4, 5, 6, 7}));
  // A run alternates the high and low nibbles.
  decoded = Decode(Rle(4, 2, 5, 1, {5, 0x9A, 0, 1}));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->RowBytes(0, 5), (std::vector<BYTE>{9, 10, 9, 10, 9}));
}

TEST(BmpDecoder, MalformedFilesAreRefused) {
  DibSpec good;
  good.width = 2;
  good.height = 2;
  good.bits.assign(16, 0);
  ASSERT_EQ(Decode(MakeBmp(good))->hr, S_OK);

  std::vector<BYTE> file = MakeBmp(good);
  file.pop_back();  // shorter than its stored size
  EXPECT_EQ(Decode(file)->hr, D3DXERR_INVALIDDATA);

  DibSpec shortRows = good;
  shortRows.bits.resize(13);  // the last row needs 6 bytes after the 8 of the first
  std::vector<BYTE> dib = MakeDib(shortRows);
  EXPECT_EQ(Decode(dib)->hr, D3DXERR_INVALIDDATA);
  shortRows.bits.resize(14);
  EXPECT_EQ(Decode(MakeDib(shortRows))->hr, S_OK);

  for (LONG width : {0, -2}) {
    DibSpec bad = good;
    bad.width = width;
    EXPECT_EQ(Decode(MakeBmp(bad))->hr, D3DXERR_INVALIDDATA) << width;
  }
  DibSpec noRows = good;
  noRows.height = 0;
  EXPECT_EQ(Decode(MakeBmp(noRows))->hr, D3DXERR_INVALIDDATA);
  DibSpec odd = good;
  odd.bitCount = 2;
  EXPECT_EQ(Decode(MakeBmp(odd))->hr, D3DXERR_INVALIDDATA);
  DibSpec huge = good;
  huge.width = 0x7FFFFFFF;
  huge.height = 0x7FFFFFFF;
  huge.compression = 1;  // nothing stored to check against: only the size limit refuses it
  EXPECT_EQ(Decode(MakeBmp(huge))->hr, D3DXERR_INVALIDDATA);
}

}  // namespace
}  // namespace rastro::testing
