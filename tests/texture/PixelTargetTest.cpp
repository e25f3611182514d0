// Decoding straight into caller memory: the JPEG decoder takes a target of exactly its image's
// format and size, writes there the pixels it would otherwise have allocated, reports its rows
// as they finish, and leaves every other target alone.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DecodeImage.h"
#include "ImageFiles.h"
#include "JpegTestFiles.h"

namespace rastro::testing {
namespace {

constexpr BYTE kUntouched = 0xCD;

struct TargetMemory {
  std::vector<BYTE> bytes;
  PixelTarget target;

  TargetMemory(D3DFORMAT format, UINT width, UINT height, UINT pitch) : bytes(std::size_t{pitch} * height, kUntouched) {
    target = PixelTarget{bytes.data(), pitch, format, width, height};
  }
  bool Untouched() const {
    for (BYTE b : bytes) {
      if (b != kUntouched) return false;
    }
    return true;
  }
};

HRESULT DecodeInto(const std::string& file, ImageData& image, const PixelTarget* target, BOOL pixels = TRUE,
                   D3DXIMAGE_INFO* info = nullptr) {
  D3DXIMAGE_INFO own{};
  return DecodeImage(&image, file.data(), static_cast<UINT>(file.size()), info ? info : &own, pixels, target);
}

struct FittingCase {
  const char* name;
  bool grey;
  UINT width, height;
  UINT padding;  // bytes after each row of the target
};

class FittingTarget : public ::testing::TestWithParam<FittingCase> {};

TEST_P(FittingTarget, ReceivesLibjpegsPixelsAndNothingBeyondTheRows) {
  const FittingCase& c = GetParam();
  const std::string file = NoisyJpeg(static_cast<int>(c.width), static_cast<int>(c.height), c.grey);
  const LibjpegImage expected = DecodeWithLibjpeg(file);
  const UINT pitch = expected.pitch + c.padding;
  TargetMemory memory(expected.format, c.width, c.height, pitch);
  std::vector<UINT> reported;
  memory.target.RowsDone = [](void* context, UINT rows) { static_cast<std::vector<UINT>*>(context)->push_back(rows); };
  memory.target.Context = &reported;

  ImageData image;
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(DecodeInto(file, image, &memory.target, TRUE, &info), D3D_OK);
  EXPECT_EQ(image.Data, memory.bytes.data());
  EXPECT_FALSE(image.OwnsData());
  EXPECT_EQ(image.RowPitch, pitch);
  EXPECT_EQ(image.Format, expected.format);
  EXPECT_EQ(info.Width, c.width);
  EXPECT_EQ(info.Height, c.height);
  EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
  for (UINT y = 0; y < c.height; ++y) {
    const BYTE* row = memory.bytes.data() + std::size_t{y} * pitch;
    ASSERT_EQ(std::memcmp(row, expected.pixels.data() + std::size_t{y} * expected.pitch, expected.pitch), 0) << y;
    for (UINT i = expected.pitch; i < pitch; ++i) ASSERT_EQ(row[i], kUntouched) << y;
  }
  // Every row reported, in order, the last report covering the whole image.
  ASSERT_FALSE(reported.empty());
  for (std::size_t i = 1; i < reported.size(); ++i) EXPECT_LT(reported[i - 1], reported[i]);
  EXPECT_EQ(reported.back(), c.height);
}

INSTANTIATE_TEST_SUITE_P(Jpeg, FittingTarget,
                         ::testing::Values(FittingCase{"Colour", false, 32, 16, 0},
                                           FittingCase{"ColourPadded", false, 24, 10, 12},
                                           FittingCase{"Grey", true, 16, 16, 0},
                                           FittingCase{"GreyPadded", true, 9, 7, 3}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(PixelTarget, IsLeftAloneUnlessItFitsExactly) {
  const std::string colour = NoisyJpeg(16, 8);
  struct {
    const char* label;
    D3DFORMAT format;
    UINT width, height, pitch;
  } const misfits[] = {
      {"other format", D3DFMT_A8R8G8B8, 16, 8, 64}, {"grey target", D3DFMT_L8, 16, 8, 64},
      {"narrower", D3DFMT_X8R8G8B8, 8, 8, 64},      {"wider", D3DFMT_X8R8G8B8, 32, 8, 128},
      {"shorter", D3DFMT_X8R8G8B8, 16, 4, 64},      {"rows too short", D3DFMT_X8R8G8B8, 16, 8, 60},
  };
  const LibjpegImage expected = DecodeWithLibjpeg(colour);
  for (const auto& m : misfits) {
    TargetMemory memory(m.format, m.width, m.height, m.pitch);
    ImageData image;
    ASSERT_EQ(DecodeInto(colour, image, &memory.target), D3D_OK) << m.label;
    EXPECT_TRUE(image.OwnsData()) << m.label;
    EXPECT_EQ(image.RowPitch, 64u) << m.label;
    EXPECT_EQ(std::memcmp(image.Data, expected.pixels.data(), expected.pixels.size()), 0) << m.label;
    EXPECT_TRUE(memory.Untouched()) << m.label;
  }
}

TEST(PixelTarget, HeadersAndOtherFileTypesLeaveItAlone) {
  const std::string jpeg = NoisyJpeg(8, 8);
  TargetMemory memory(D3DFMT_X8R8G8B8, 8, 8, 32);
  ImageData header;
  ASSERT_EQ(DecodeInto(jpeg, header, &memory.target, FALSE), D3D_OK);
  EXPECT_EQ(header.Data, nullptr);
  EXPECT_TRUE(memory.Untouched());

  // A 2 x 2 bitmap of 24-bit pixels loads as R8G8B8: no decoder but JPEG writes into targets.
  const std::string bitmap = Bitmap(2, 2, 24, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}});
  TargetMemory rgb(D3DFMT_R8G8B8, 2, 2, 6);
  ImageData image;
  ASSERT_EQ(DecodeInto(bitmap, image, &rgb.target), D3D_OK);
  EXPECT_EQ(image.Format, D3DFMT_R8G8B8);
  EXPECT_NE(image.Data, rgb.bytes.data());
  EXPECT_TRUE(rgb.Untouched());
}

TEST(PixelTarget, TruncatedFileFailsAsWithoutATarget) {
  const std::string whole = NoisyJpeg(64, 64);
  const std::string truncated = whole.substr(0, whole.size() / 2);
  TargetMemory memory(D3DFMT_X8R8G8B8, 64, 64, 256);
  ImageData image;
  D3DXIMAGE_INFO info{};
  info.Width = 77;
  EXPECT_EQ(DecodeInto(truncated, image, &memory.target, TRUE, &info), D3DXERR_INVALIDDATA);
  EXPECT_EQ(info.Width, 77u);  // not filled on failure
  EXPECT_EQ(image.Data, nullptr);
}

}  // namespace
}  // namespace rastro::testing
