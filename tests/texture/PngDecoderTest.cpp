// PNG files written with libpng's own writer, decoded by the loader: gamma chunks and
// palettes, which the tool-made files of the differential test do not reach.
#include <gtest/gtest.h>
#include <png.h>

#include <vector>

#include "DecodeTestSupport.h"

namespace rastro::testing {
namespace {

struct PngSpec {
  int colorType = PNG_COLOR_TYPE_PALETTE;
  std::vector<png_color> palette{{0, 128, 255}, {64, 32, 16}, {1, 2, 3}};
  std::vector<png_byte> alpha{10, 20};  // tRNS for the first palette entries
  double gamma = 0;                     // gAMA chunk when not 0
  bool srgb = false;
  std::vector<png_byte> row{0, 1, 2};  // one row of indices (or grey samples)
};

void Append(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<BYTE>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

std::vector<BYTE> WritePng(const PngSpec& spec) {
  std::vector<BYTE> file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &file, Append, nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(spec.row.size()), 1, 8, spec.colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (spec.colorType == PNG_COLOR_TYPE_PALETTE) {
    png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
    if (!spec.alpha.empty()) {
      png_set_tRNS(png, info, spec.alpha.data(), static_cast<int>(spec.alpha.size()), nullptr);
    }
  }
  if (spec.gamma) png_set_gAMA(png, info, spec.gamma);
  if (spec.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  png_write_info(png, info);
  png_write_row(png, spec.row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return file;
}

TEST(PngDecoder, PaletteEntriesTakeTransparencyAndTheRestIsWhite) {
  auto decoded = Decode(WritePng(PngSpec{}));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_P8);
  EXPECT_EQ(decoded->RowBytes(0, 3), (std::vector<BYTE>{0, 1, 2}));
  ASSERT_TRUE(decoded->image.OwnsPalette());
  EXPECT_TRUE(SamePalette(decoded->image.Palette[0], {0, 128, 255, 10}));
  EXPECT_TRUE(SamePalette(decoded->image.Palette[1], {64, 32, 16, 20}));
  EXPECT_TRUE(SamePalette(decoded->image.Palette[2], {1, 2, 3, 255}));
  EXPECT_TRUE(SamePalette(decoded->image.Palette[3], {255, 255, 255, 255}));
}

TEST(PngDecoder, FileGammaCorrectsThePaletteOnce) {
  // File gamma 1.0 against a screen gamma of 2.2: t[i] = (int)(pow(i / 255, 1 / 2.2) * 255 + 0.5);
  // worked out by hand: t[128] = 186, t[64] = 136, t[32] = 99, t[16] = 72, t[1] = 21.
  PngSpec spec;
  spec.gamma = 1.0;
  auto decoded = Decode(WritePng(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_TRUE(SamePalette(decoded->image.Palette[0], {0, 186, 255, 10}));
  EXPECT_TRUE(SamePalette(decoded->image.Palette[1], {136, 99, 72, 20}));
  EXPECT_EQ(decoded->image.Palette[2].peRed, 21);

  // An sRGB chunk means no correction.
  spec.gamma = 0;
  spec.srgb = true;
  decoded = Decode(WritePng(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_TRUE(SamePalette(decoded->image.Palette[0], {0, 128, 255, 10}));
}

TEST(PngDecoder, FileGammaCorrectsGreySamples) {
  PngSpec spec;
  spec.colorType = PNG_COLOR_TYPE_GRAY;
  spec.row = {0, 128, 255};
  spec.gamma = 1.0;
  auto decoded = Decode(WritePng(spec));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_L8);
  const BYTE* row = decoded->Row(0);
  EXPECT_EQ(row[0], 0);
  EXPECT_NEAR(row[1], 186, 1);  // libpng's own table, rounded its way
  EXPECT_EQ(row[2], 255);
}

TEST(PngDecoder, BrokenStreamsAreRefused) {
  std::vector<BYTE> file = WritePng(PngSpec{});
  ASSERT_EQ(Decode(file)->hr, S_OK);
  std::vector<BYTE> badCrc = file;
  badCrc[8 + 8 + 4] ^= 0x40;  // inside IHDR's data: its checksum no longer matches
  EXPECT_EQ(Decode(badCrc)->hr, D3DXERR_INVALIDDATA);
  std::vector<BYTE> header(file.begin(), file.begin() + 8);
  EXPECT_EQ(Decode(header)->hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(Decode(header, false)->hr, D3DXERR_INVALIDDATA);
}

}  // namespace
}  // namespace rastro::testing
