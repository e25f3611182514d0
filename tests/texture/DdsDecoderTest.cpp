// DirectDraw surface files built byte by byte, decoded by the loader.
#include <gtest/gtest.h>

#include <vector>

#include "DecodeTestSupport.h"
#include "FormatCatalogue.h"

namespace rastro::testing {
namespace {

struct DdsSpec {
  DWORD flags = 0x1007;
  DWORD width = 4, height = 4, depth = 0, mipCount = 0;
  DWORD formatSize = 32;
  DWORD formatFlags = 0x4;
  DWORD fourCc = MAKEFOURCC('D', 'X', 'T', '1');
  DWORD bitCount = 0, red = 0, green = 0, blue = 0, alpha = 0;
  DWORD caps2 = 0;
  std::size_t dataBytes = 8;
};

std::vector<BYTE> MakeDds(const DdsSpec& spec) {
  FileBuilder file;
  file.Text("DDS ").U32(124).U32(spec.flags).U32(spec.height).U32(spec.width).U32(0).U32(spec.depth);
  file.U32(spec.mipCount).Fill(44, 0);
  file.U32(spec.formatSize).U32(spec.formatFlags).U32(spec.fourCc).U32(spec.bitCount);
  file.U32(spec.red).U32(spec.green).U32(spec.blue).U32(spec.alpha);
  file.U32(0x1000).U32(spec.caps2).U32(0).U32(0).U32(0);
  EXPECT_EQ(file.Size(), 128u);
  // Distinct bytes, so that each level's pointer can be told from the others.
  for (std::size_t i = 0; i < spec.dataBytes; ++i) file.U8(static_cast<unsigned>(i & 0xFF));
  return file.Get();
}

TEST(DdsDecoder, Dxt1PitchCountsBlockRows) {
  DdsSpec spec;
  spec.width = 5;
  spec.height = 5;
  spec.dataBytes = 32;
  std::vector<BYTE> file = MakeDds(spec);
  auto decoded = Decode(file);
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_DXT1);
  EXPECT_EQ(decoded->image.RowPitch, 16u);
  EXPECT_EQ(decoded->image.SlicePitch, 32u);
  EXPECT_EQ(decoded->image.Data, decoded->file.data() + 128);
  EXPECT_FALSE(decoded->image.OwnsData());
  EXPECT_EQ(decoded->info.ImageFileFormat, D3DXIFF_DDS);
  EXPECT_EQ(decoded->info.ResourceType, D3DRTYPE_TEXTURE);

  spec.dataBytes = 31;
  EXPECT_EQ(Decode(MakeDds(spec))->hr, D3DXERR_INVALIDDATA);
}

struct PitchCase {
  const char* fourCc;
  DWORD width, height;
  UINT rowPitch, slicePitch;
};

class DdsPitch : public ::testing::TestWithParam<PitchCase> {};

TEST_P(DdsPitch, BlockAndPairFormatsRoundUp) {
  const PitchCase& c = GetParam();
  DdsSpec spec;
  spec.fourCc = MAKEFOURCC(c.fourCc[0], c.fourCc[1], c.fourCc[2], c.fourCc[3]);
  spec.width = c.width;
  spec.height = c.height;
  spec.dataBytes = c.slicePitch;
  auto decoded = Decode(MakeDds(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.RowPitch, c.rowPitch);
  EXPECT_EQ(decoded->image.SlicePitch, c.slicePitch);
  spec.dataBytes = c.slicePitch - 1;
  EXPECT_EQ(Decode(MakeDds(spec))->hr, D3DXERR_INVALIDDATA);
}

INSTANTIATE_TEST_SUITE_P(Formats, DdsPitch,
                         ::testing::Values(PitchCase{"DXT1", 1, 1, 8, 8}, PitchCase{"DXT3", 5, 9, 32, 96},
                                           PitchCase{"DXT5", 8, 3, 32, 32}, PitchCase{"UYVY", 5, 3, 12, 36},
                                           PitchCase{"YUY2", 2, 2, 4, 8}, PitchCase{"RGBG", 7, 1, 16, 16},
                                           PitchCase{"GRGB", 1, 2, 4, 8}));

TEST(DdsDecoder, CubeMapsChainSixFacesOfEveryLevel) {
  DdsSpec spec;
  spec.width = 4;
  spec.height = 4;
  spec.mipCount = 3;
  spec.caps2 = 0xFE00;
  // Each face: 4 x 4 (8 bytes), 2 x 2 (8), 1 x 1 (8).
  spec.dataBytes = 6 * 24;
  std::vector<BYTE> file = MakeDds(spec);
  auto decoded = Decode(file);
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->info.ResourceType, D3DRTYPE_CUBETEXTURE);
  EXPECT_EQ(decoded->info.MipLevels, 3u);
  int faces = 0;
  for (const ImageData* face = &decoded->image; face; face = face->NextFace.get(), ++faces) {
    int levels = 0;
    UINT size = 4;
    for (const ImageData* level = face; level; level = level->NextMip.get(), ++levels, size = size > 1 ? size / 2 : 1) {
      EXPECT_EQ(level->Width, size);
      EXPECT_EQ(level->Data, decoded->file.data() + 128 + faces * 24 + levels * 8);
      EXPECT_EQ(level->ResourceType, D3DRTYPE_CUBETEXTURE);
      EXPECT_EQ(level->Box.Right, size);
      EXPECT_EQ(level->Box.Back, 1u);
      if (level != face) {
        EXPECT_FALSE(level->NextFace);
      }
    }
    EXPECT_EQ(levels, 3);
  }
  EXPECT_EQ(faces, 6);

  spec.dataBytes -= 1;
  EXPECT_EQ(Decode(MakeDds(spec))->hr, D3DXERR_INVALIDDATA);
  spec.dataBytes += 1;
  spec.caps2 = 0xFE00 & ~0x2000;  // five faces
  EXPECT_EQ(Decode(MakeDds(spec))->hr, D3DXERR_INVALIDDATA);
}

TEST(DdsDecoder, VolumesHalveDepthWithEachLevel) {
  DdsSpec spec;
  spec.flags |= 0x800000;
  spec.formatFlags = 0x41;
  spec.fourCc = 0;
  spec.bitCount = 32;
  spec.red = 0xFF0000;
  spec.green = 0xFF00;
  spec.blue = 0xFF;
  spec.alpha = 0xFF000000;
  spec.width = 2;
  spec.height = 1;
  spec.depth = 3;
  spec.mipCount = 2;
  spec.dataBytes = 2 * 1 * 3 * 4 + 1 * 1 * 1 * 4;
  auto decoded = Decode(MakeDds(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->info.ResourceType, D3DRTYPE_VOLUMETEXTURE);
  EXPECT_EQ(decoded->info.Format, D3DFMT_A8R8G8B8);
  EXPECT_EQ(decoded->info.Depth, 3u);
  EXPECT_EQ(decoded->image.RowPitch, 8u);
  EXPECT_EQ(decoded->image.SlicePitch, 8u);
  ASSERT_TRUE(decoded->image.NextMip);
  EXPECT_EQ(decoded->image.NextMip->Depth, 1u);
  EXPECT_EQ(decoded->image.NextMip->Data, decoded->image.Data + 24);
  EXPECT_EQ(decoded->image.NextMip->Box.Back, 1u);

  // Without the depth flag the stored depth is ignored; with it a depth of 0 counts as 1.
  spec.flags &= ~0x800000u;
  decoded = Decode(MakeDds(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->info.Depth, 1u);
  EXPECT_EQ(decoded->info.ResourceType, D3DRTYPE_TEXTURE);
  spec.flags |= 0x800000;
  spec.depth = 0;
  decoded = Decode(MakeDds(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->info.Depth, 1u);
  EXPECT_EQ(decoded->info.ResourceType, D3DRTYPE_VOLUMETEXTURE);
}

TEST(DdsDecoder, PaletteFollowsTheHeaderInPlace) {
  DdsSpec spec;
  spec.formatFlags = 0x20;
  spec.fourCc = 0;
  spec.bitCount = 8;
  spec.width = 3;
  spec.height = 2;
  spec.dataBytes = 1024 + 6;
  std::vector<BYTE> file = MakeDds(spec);
  auto decoded = Decode(file);
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_P8);
  EXPECT_EQ(reinterpret_cast<const BYTE*>(decoded->image.Palette), decoded->file.data() + 128);
  EXPECT_FALSE(decoded->image.OwnsPalette());
  EXPECT_EQ(decoded->image.Data, decoded->file.data() + 1152);
  EXPECT_EQ(decoded->image.RowPitch, 3u);
  spec.dataBytes = 1023;
  EXPECT_EQ(Decode(MakeDds(spec))->hr, D3DXERR_INVALIDDATA);
}

struct PixelFormatCase {
  DWORD flags, fourCc, bitCount, red, green, blue, alpha;
  D3DFORMAT format;  // D3DFMT_UNKNOWN: refused
};

class DdsPixelFormat : public ::testing::TestWithParam<PixelFormatCase> {};

TEST_P(DdsPixelFormat, FieldsTheFlagsNameMustMatch) {
  const PixelFormatCase& c = GetParam();
  DdsSpec spec;
  spec.formatFlags = c.flags;
  spec.fourCc = c.fourCc;
  spec.bitCount = c.bitCount;
  spec.red = c.red;
  spec.green = c.green;
  spec.blue = c.blue;
  spec.alpha = c.alpha;
  spec.width = spec.height = 1;
  spec.dataBytes = 1024 + 16;  // room for a palette too
  auto decoded = Decode(MakeDds(spec), false);
  if (c.format == D3DFMT_UNKNOWN) {
    EXPECT_EQ(decoded->hr, D3DXERR_INVALIDDATA);
  } else {
    ASSERT_EQ(decoded->hr, S_OK);
    EXPECT_EQ(decoded->image.Format, c.format);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DdsPixelFormat,
    ::testing::Values(PixelFormatCase{0x40, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_R8G8B8},
                      PixelFormatCase{0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_X8R8G8B8},
                      // The alpha mask is not compared without an alpha flag.
                      PixelFormatCase{0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, D3DFMT_X8R8G8B8},
                      PixelFormatCase{0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_UNKNOWN},
                      // Luminance rows tell sizes apart by their masks alone.
                      PixelFormatCase{0x20001, 0, 99, 0xF, 0, 0, 0xF0, D3DFMT_A4L4},
                      PixelFormatCase{0x20001, 0, 99, 0xFF, 0, 0, 0xFF00, D3DFMT_A8L8},
                      PixelFormatCase{0x20000, 0, 0, 0xFFFF, 0, 0, 0, D3DFMT_L16},
                      PixelFormatCase{0x80000, 0, 16, 0xFF, 0xFF00, 0, 0, D3DFMT_V8U8},
                      PixelFormatCase{0x40000, 0, 16, 0x1F, 0x3E0, 0xFC00, 0, D3DFMT_L6V5U5},
                      PixelFormatCase{0x2, 0, 8, 0, 0, 0, 0xFF, D3DFMT_A8},
                      PixelFormatCase{0x21, 0, 16, 0, 0, 0, 0xFF00, D3DFMT_A8P8},
                      PixelFormatCase{0x400, 0, 16, 0, 0xFFFF, 0, 0, D3DFMT_D16_LOCKABLE},
                      // FourCC formats compare only the code; some carry their numeric format value.
                      PixelFormatCase{0x4 | 0x40, MAKEFOURCC('D', 'X', 'T', '5'), 7, 1, 2, 3, 4, D3DFMT_DXT5},
                      PixelFormatCase{0x4, 113, 0, 0, 0, 0, 0, D3DFMT_A16B16G16R16F},
                      PixelFormatCase{0x4, 36, 0, 0, 0, 0, 0, D3DFMT_A16B16G16R16},
                      PixelFormatCase{0x4, 117, 0, 0, 0, 0, 0, D3DFMT_CxV8U8},
                      PixelFormatCase{0x4, MAKEFOURCC('A', 'T', 'I', '2'), 0, 0, 0, 0, 0, D3DFMT_UNKNOWN},
                      PixelFormatCase{0x40, 0, 16, 0xF800, 0x7E0, 0x1E, 0, D3DFMT_UNKNOWN}));

TEST(DdsDecoder, HeadersThatCannotBeLoadedAreRefused) {
  DdsSpec good;
  ASSERT_EQ(Decode(MakeDds(good))->hr, S_OK);
  DdsSpec badSize = good;
  badSize.formatSize = 24;
  EXPECT_EQ(Decode(MakeDds(badSize))->hr, D3DXERR_INVALIDDATA);
  DdsSpec empty = good;
  empty.width = 0;
  EXPECT_EQ(Decode(MakeDds(empty))->hr, D3DXERR_INVALIDDATA);
  std::vector<BYTE> shortHeader = MakeDds(good);
  shortHeader.resize(127);
  EXPECT_EQ(Decode(shortHeader)->hr, D3DXERR_INVALIDDATA);
  // Far more levels than the data holds.
  DdsSpec levels = good;
  levels.mipCount = 0xFFFFFFFF;
  levels.dataBytes = 8 * 1000;
  EXPECT_EQ(Decode(MakeDds(levels))->hr, D3DXERR_INVALIDDATA);
}

}  // namespace
}  // namespace rastro::testing
