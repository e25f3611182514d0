// The packed-pixel row conversions against the codecs they stand in for: reading a row through
// the source codec and writing it through the destination codec must give the same bytes.
// Every field these converters write depends on one source field, so rows in which each source
// field takes every one of its values at each of the four dither columns, over four rows and
// four slices (all sixteen dither offsets), and without dithering, cover every input.
#include "FastRows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "BlitRegion.h"
#include "PackedLayouts.h"
#include "ProcessorFeatures.h"
#include "d3dx9tex.h"

namespace rastro {
namespace {

struct Format {
  D3DFORMAT format;
  const char* name;
  UINT bytes;
};

void PrintTo(const Format& format, std::ostream* out) { *out << format.name; }

constexpr Format kSources[] = {
    {D3DFMT_A8R8G8B8, "A8R8G8B8", 4}, {D3DFMT_X8R8G8B8, "X8R8G8B8", 4},
    {D3DFMT_A8B8G8R8, "A8B8G8R8", 4}, {D3DFMT_X8B8G8R8, "X8B8G8R8", 4},
    {D3DFMT_R5G6B5, "R5G6B5", 2},     {D3DFMT_X1R5G5B5, "X1R5G5B5", 2},
    {D3DFMT_A1R5G5B5, "A1R5G5B5", 2}, {D3DFMT_A4R4G4B4, "A4R4G4B4", 2},
    {D3DFMT_X4R4G4B4, "X4R4G4B4", 2}, {D3DFMT_L8, "L8", 1},
    {D3DFMT_A8L8, "A8L8", 2},         {D3DFMT_A8, "A8", 1},
};
constexpr Format kHalfDestinations[] = {
    {D3DFMT_R16F, "R16F", 2}, {D3DFMT_G16R16F, "G16R16F", 4}, {D3DFMT_A16B16G16R16F, "A16B16G16R16F", 8}};

constexpr UINT kWidth = 1024, kRows = 4, kSlices = 4;

PixelRegion Region(std::vector<BYTE>& bytes, const Format& format, bool dither) {
  PixelRegion region;
  region.Data = bytes.data();
  region.Format = format.format;
  region.RowPitch = kWidth * format.bytes;
  region.SlicePitch = region.RowPitch * kRows;
  region.Extent = region.Region = {0, 0, kWidth, kRows, 0, kSlices};
  region.Dither = dither ? TRUE : FALSE;
  return region;
}

// Field values: pixel x holds (x / 4 + 37 k) in field k of its integer, so each field meets
// each of its values in every dither column; with `random`, arbitrary bytes.
std::vector<BYTE> SourceBytes(const Format& format, bool random) {
  std::vector<BYTE> bytes(std::size_t{kWidth} * format.bytes * kRows * kSlices);
  std::mt19937 generator(static_cast<unsigned>(format.format));
  for (std::size_t pixel = 0; pixel < bytes.size() / format.bytes; ++pixel) {
    const std::uint32_t step = static_cast<std::uint32_t>(pixel % kWidth) / 4;
    std::uint32_t value = 0;
    for (unsigned k = 0; k < 4; ++k) value |= ((step + 37 * k) & 0xFF) << (8 * k);
    if (format.bytes == 2) value = (step * 0x0101u + (step >> 4) * 0x1000u) & 0xFFFF;  // 4- to 6-bit fields
    if (random) value = generator();
    for (UINT b = 0; b < format.bytes; ++b) bytes[pixel * format.bytes + b] = static_cast<BYTE>(value >> (8 * b));
  }
  return bytes;
}

class FastRowPairs : public ::testing::TestWithParam<std::tuple<Format, Format, bool>> {};

TEST_P(FastRowPairs, WriteWhatTheCodecsWrite) {
  const auto& [from, to, dither] = GetParam();
  // Luminance from colour reads three fields at once: the codecs keep it.
  const bool fromColor = (to.format == D3DFMT_L8 || to.format == D3DFMT_A8L8) && from.format != D3DFMT_L8 &&
                         from.format != D3DFMT_A8L8 && from.format != D3DFMT_A8;
  std::vector<BYTE> source = SourceBytes(from, false);
  std::vector<BYTE> viaCodecs(std::size_t{kWidth} * to.bytes * kRows * kSlices, 0xCD);
  std::vector<BYTE> viaTables = viaCodecs;

  PixelRegion sourceRegion = Region(source, from, false);
  PixelRegion codecRegion = Region(viaCodecs, to, dither);
  PixelRegion tableRegion = Region(viaTables, to, dither);
  auto reader = CreatePixelCodec(sourceRegion);
  auto writer = CreatePixelCodec(codecRegion);
  auto tableWriter = CreatePixelCodec(tableRegion);
  ASSERT_TRUE(reader && writer && tableWriter);
  ASSERT_EQ(LinkCodecs(*writer, *reader), S_OK);
  ASSERT_EQ(LinkCodecs(*tableWriter, *reader), S_OK);
  auto converter = FastRowConverter::Create(*tableWriter, *reader);
  if (fromColor) {
    EXPECT_FALSE(converter);
    return;
  }
  ASSERT_TRUE(converter);

  std::vector<FloatRgba> row(kWidth);
  for (UINT z = 0; z < kSlices; ++z) {
    for (UINT y = 0; y < kRows; ++y) {
      reader->ReadRow(y, z, row.data());
      writer->WriteRow(y, z, row.data());
      const std::size_t in = (std::size_t{z} * kRows + y) * kWidth * from.bytes;
      const std::size_t out = (std::size_t{z} * kRows + y) * kWidth * to.bytes;
      ASSERT_TRUE(
          converter->ConvertRow(source.data() + in, viaTables.data() + out, kWidth, tableWriter->DitherRow(y, z)));
    }
  }
  for (std::size_t i = 0; i < viaCodecs.size(); ++i) {
    if (viaCodecs[i] != viaTables[i]) {
      FAIL() << "byte " << i << " (pixel " << i / to.bytes << "): codecs " << int{viaCodecs[i]} << ", tables "
             << int{viaTables[i]};
    }
  }
}

std::vector<Format> Destinations() {
  std::vector<Format> all(std::begin(kSources), std::end(kSources));
  all.insert(all.end(), std::begin(kHalfDestinations), std::end(kHalfDestinations));
  return all;
}

std::string PairName(const ::testing::TestParamInfo<std::tuple<Format, Format, bool>>& pair) {
  const Format& from = std::get<0>(pair.param);
  const Format& to = std::get<1>(pair.param);
  return std::string(from.name) + "To" + to.name + (std::get<2>(pair.param) ? "Dithered" : "");
}

INSTANTIATE_TEST_SUITE_P(Pairs, FastRowPairs,
                         ::testing::Combine(::testing::ValuesIn(kSources), ::testing::ValuesIn(Destinations()),
                                            ::testing::Bool()),
                         PairName);

// The vector paths of the common pairs take the same decisions as the tables.
TEST(FastRowPaths, VectorAndTablePathsAgree) {
  if (DetectVectorLevel() != VectorLevel::Avx2) GTEST_SKIP() << "no AVX2";
  for (const Format& to : kSources) {
    for (bool dither : {false, true}) {
      std::vector<BYTE> source = SourceBytes(kSources[0], true);
      std::vector<BYTE> vector(std::size_t{kWidth} * to.bytes * kRows * kSlices), portable = vector;
      for (int pass = 0; pass < 2; ++pass) {
        OverrideVectorLevel(pass == 0 ? VectorLevel::Portable : VectorLevel::Avx2);
        std::vector<BYTE>& out = pass == 0 ? portable : vector;
        ASSERT_EQ(BlitRegion(Region(out, to, dither), Region(source, kSources[0], false),
                             D3DX_FILTER_POINT | (dither ? D3DX_FILTER_DITHER : 0)),
                  S_OK);
      }
      OverrideVectorLevel(DetectVectorLevel());
      EXPECT_TRUE(vector == portable) << to.name << (dither ? " dithered" : "");
    }
  }
}

TEST(FastRowPaths, LeaveColourKeysGammaAndPalettesToTheCodecs) {
  std::vector<BYTE> source(16), destination(16);
  PixelRegion from = Region(source, kSources[0], false);
  PixelRegion to = Region(destination, kSources[4], false);
  for (int variant = 0; variant < 3; ++variant) {
    PixelRegion keyed = from, encoded = to;
    if (variant == 0) keyed.ColorKey = 0xFF00FF00u;
    if (variant == 1) encoded.Srgb = TRUE;
    if (variant == 2) encoded.Format = D3DFMT_P8;
    auto reader = CreatePixelCodec(keyed);
    auto writer = CreatePixelCodec(encoded);
    ASSERT_TRUE(reader && writer);
    ASSERT_EQ(LinkCodecs(*writer, *reader), S_OK);
    EXPECT_FALSE(FastRowConverter::Create(*writer, *reader)) << variant;
  }
}

}  // namespace
}  // namespace rastro
