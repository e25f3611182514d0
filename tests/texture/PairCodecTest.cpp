#include "PairCodec.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>
#include <cstring>
#include <vector>

#include "CodecTestSupport.h"
#include "ComPtr.h"
#include "DeviceProfile.h"

namespace rastro {
namespace {

using testing::TestImage;

// A pair-format image: 4 bytes per two pixels.
TestImage PairImage(D3DFORMAT format, UINT width, UINT height = 1, BYTE fill = 0) {
  return TestImage(format, (width + 1) / 2 * 4, width, height, 1, fill, 0);
}

void SetBytes(TestImage& image, std::initializer_list<BYTE> bytes, size_t at = 0) {
  for (BYTE b : bytes) image.bytes[at++] = b;
}

TEST(PairCodec, DecodesEachLayoutsByteOrder) {
  struct Case {
    D3DFORMAT format;
    BYTE bytes[4];
  };
  // Green 0x40 and 0xC0 per pixel, red 0x10 and blue 0xF0 shared.
  const Case cases[] = {{D3DFMT_R8G8_B8G8, {0x40, 0x10, 0xC0, 0xF0}}, {D3DFMT_G8R8_G8B8, {0x10, 0x40, 0xF0, 0xC0}}};
  for (const Case& c : cases) {
    TestImage image = PairImage(c.format, 2);
    SetBytes(image, {c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3]});
    auto codec = image.Codec();
    ASSERT_NE(codec, nullptr);
    EXPECT_FALSE(codec->Flags().RegionRebased);
    EXPECT_EQ(codec->BytesPerPixel(), 0u);
    FloatRgba out[2];
    codec->ReadRow(0, 0, out);
    for (const FloatRgba& p : out) {
      EXPECT_EQ(p.R, 0x10 / 255.0f);
      EXPECT_EQ(p.B, 0xF0 / 255.0f);
      EXPECT_EQ(p.A, 1.0f);
    }
    EXPECT_EQ(out[0].G, 0x40 / 255.0f);
    EXPECT_EQ(out[1].G, 0xC0 / 255.0f);
  }
}

TEST(PairCodec, DecodesYuvWithSharedChroma) {
  // YUY2: Y0, U, Y1, V. UYVY: U, Y0, V, Y1.
  for (D3DFORMAT format : {D3DFMT_YUY2, D3DFMT_UYVY}) {
    TestImage image = PairImage(format, 4);
    if (format == D3DFMT_YUY2) {
      SetBytes(image, {255, 128, 16, 128, 126, 90, 126, 240});
    } else {
      SetBytes(image, {128, 255, 128, 16, 90, 126, 240, 126});
    }
    FloatRgba out[4];
    image.Codec()->ReadRow(0, 0, out);
    // White: (255 - 16) * 0.00456621 = 1.0913, held to 1.
    EXPECT_EQ(out[0].R, 1.0f);
    EXPECT_EQ(out[0].G, 1.0f);
    EXPECT_EQ(out[0].B, 1.0f);
    EXPECT_EQ(out[0].A, 1.0f);
    EXPECT_EQ(out[1].R, 0.0f);  // Y 16: black
    EXPECT_EQ(out[1].B, 0.0f);
    // Y 126, U 90, V 240: y' = 110 * 0.00456621 = 0.50228; u = -38, v = 112.
    const float y = 110 * 0.00456621f;
    EXPECT_FLOAT_EQ(out[2].G, y + 0.00153632f * 38 - 0.00318811f * 112);
    EXPECT_FLOAT_EQ(out[2].B, y - 0.00791071f * 38);
    EXPECT_EQ(out[2].R, 1.0f);            // y' + 0.00625893 * 112 = 1.2033, held to 1
    EXPECT_FLOAT_EQ(out[3].G, out[2].G);  // same luma and chroma
  }
}

TEST(PairCodec, EncodesWhiteAndBlackAtTheVideoLevels) {
  TestImage image = PairImage(D3DFMT_YUY2, 4);
  auto codec = image.Codec();
  const FloatRgba row[4] = {{1, 1, 1, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {1, 1, 1, 1}};
  codec->WriteRow(0, 0, row);
  codec.reset();  // written when the codec goes
  const std::vector<BYTE> expected = {235, 128, 16, 128, 16, 128, 235, 128};
  EXPECT_EQ(image.bytes, expected);
}

TEST(PairCodec, ChromaComesFromTheFirstPixelOfEachPair) {
  TestImage image = PairImage(D3DFMT_UYVY, 2);
  auto codec = image.Codec();
  // Pure red then pure blue: Y = trunc(65.481 + 0.5) + 16 = 81 and trunc(24.966 + 0.5) + 16 = 41;
  // U = trunc(-37.797 + 0.5) + 128 = 91, V = trunc(112 + 0.5) + 128 = 240, both from red.
  const FloatRgba row[2] = {{1, 0, 0, 1}, {0, 0, 1, 1}};
  codec->WriteRow(0, 0, row);
  codec.reset();
  const std::vector<BYTE> expected = {91, 81, 240, 41};
  EXPECT_EQ(image.bytes, expected);
}

TEST(PairCodec, EncodesRgbPairsWithoutDithering) {
  TestImage image = PairImage(D3DFMT_G8R8_G8B8, 2);
  image.region.Dither = TRUE;
  auto codec = image.Codec();
  const FloatRgba row[2] = {{0.2f, 0.5f, 0.6f, 1}, {0.9f, 1.0f, 0.1f, 1}};
  codec->WriteRow(0, 0, row);
  codec.reset();
  // R 51, G0 127.5 + 0.5 = 128, B 153, G1 255; the second pixel's red and blue are dropped.
  const std::vector<BYTE> expected = {51, 128, 153, 255};
  EXPECT_EQ(image.bytes, expected);
}

// A region starting at an odd column shares its first pair with a pixel outside it: that
// pixel keeps its stored luma, and as the pair's first pixel it also gives the pair's chroma.
TEST(PairCodec, OddLeftEdgeKeepsThePartnerPixel) {
  TestImage image = PairImage(D3DFMT_YUY2, 4, 1);
  SetBytes(image, {100, 128, 50, 128, 60, 128, 70, 128});  // greys
  image.region.Region = {1, 0, 4, 1, 0, 1};
  auto codec = image.Codec();
  ASSERT_EQ(codec->Width(), 3u);
  const FloatRgba white[3] = {{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}};
  codec->WriteRow(0, 0, white);
  codec.reset();
  // Grey Y 100 decodes to 84 * 0.00456621 and encodes back to 100 with neutral chroma.
  const std::vector<BYTE> expected = {100, 128, 235, 128, 235, 128, 235, 128};
  EXPECT_EQ(image.bytes, expected);
}

TEST(PairCodec, OddRightEdgeKeepsThePartnerPixel) {
  TestImage image = PairImage(D3DFMT_R8G8_B8G8, 4, 2, 0x33);
  image.region.Region = {0, 1, 3, 2, 0, 1};
  auto codec = image.Codec();
  const FloatRgba row[3] = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0.2f, 1, 1}};
  codec->WriteRow(0, 0, row);
  codec.reset();
  // Row 0 untouched; row 1: pair 0 from pixels 0 and 1; pair 1 keeps its second green (0x33)
  // and takes red, green and blue from pixel 2.
  const std::vector<BYTE> expected = {0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0, 255, 255, 0, 51, 0, 0x33, 255};
  EXPECT_EQ(image.bytes, expected);
}

TEST(PairCodec, ReadsOnlyTheRegionFromThePairs) {
  TestImage image = PairImage(D3DFMT_R8G8_B8G8, 6);
  SetBytes(image, {10, 1, 11, 2, 20, 3, 21, 4, 30, 5, 31, 6});
  image.region.Region = {1, 0, 4, 1, 0, 1};
  FloatRgba out[3];
  image.Codec()->ReadRow(0, 0, out);
  EXPECT_EQ(out[0].G, 11 / 255.0f);
  EXPECT_EQ(out[0].R, 1 / 255.0f);
  EXPECT_EQ(out[1].G, 20 / 255.0f);
  EXPECT_EQ(out[2].G, 21 / 255.0f);
  EXPECT_EQ(out[2].B, 4 / 255.0f);
}

TEST(PairCodec, RowsAndSlicesAreOffsetByTheRegion) {
  TestImage image(D3DFMT_R8G8_B8G8, 8, 4, 3, 2, 0, 0);  // 4 x 3 x 2, pitch 8
  image.region.Region = {2, 1, 4, 3, 1, 2};
  auto codec = image.Codec();
  const FloatRgba row[2] = {{0, 1, 0, 1}, {0, 1, 0, 1}};
  codec->WriteRow(1, 0, row);
  codec.reset();
  for (size_t i = 0; i < image.bytes.size(); ++i) {
    const bool green = i == 24 + 2 * 8 + 4 || i == 24 + 2 * 8 + 6;  // slice 1, row 2, pair 1
    EXPECT_EQ(image.bytes[i], green ? 255 : 0) << i;
  }
}

TEST(PairCodec, KeepsTheRowItDecodedUntilAnotherIsRead) {
  TestImage image = PairImage(D3DFMT_R8G8_B8G8, 2, 2);
  SetBytes(image, {10, 0, 10, 0, 20, 0, 20, 0});
  auto codec = image.Codec();
  FloatRgba out[2];
  codec->ReadRow(0, 0, out);
  image.bytes[0] = 99;  // memory changes behind the codec's back
  codec->ReadRow(0, 0, out);
  EXPECT_EQ(out[0].G, 10 / 255.0f);  // same row: not decoded again
  codec->ReadRow(1, 0, out);
  EXPECT_EQ(out[0].G, 20 / 255.0f);
  codec->ReadRow(0, 0, out);
  EXPECT_EQ(out[0].G, 99 / 255.0f);  // decoded again after another row
}

TEST(PairCodec, WrittenRowsReachMemoryWhenAnotherRowIsTouched) {
  TestImage image = PairImage(D3DFMT_YUY2, 2, 2);
  auto codec = image.Codec();
  const FloatRgba white[2] = {{1, 1, 1, 1}, {1, 1, 1, 1}};
  codec->WriteRow(0, 0, white);
  EXPECT_EQ(image.bytes[0], 0);  // still in the cache
  codec->WriteRow(1, 0, white);
  EXPECT_EQ(image.bytes[0], 235);
  EXPECT_EQ(image.bytes[4], 0);
  FloatRgba out[2];
  codec->ReadRow(0, 0, out);  // reading another row flushes too
  EXPECT_EQ(image.bytes[4], 235);
}

TEST(PairCodec, ColorKeyComparesTheDecodedBytes) {
  TestImage image = PairImage(D3DFMT_R8G8_B8G8, 2);
  SetBytes(image, {0x20, 0x10, 0x21, 0x30});
  image.region.ColorKey = 0xFF102030;  // R 0x10, G 0x20, B 0x30
  FloatRgba out[2];
  image.Codec()->ReadRow(0, 0, out);
  EXPECT_EQ(out[0].A, 0.0f);
  EXPECT_EQ(out[0].G, 0.0f);
  EXPECT_EQ(out[1].A, 1.0f);
}

TEST(PairCodec, OddImageWidthUsesItsLastPairHalf) {
  TestImage image = PairImage(D3DFMT_YUY2, 3);  // 8 bytes: the last pair has one pixel in use
  SetBytes(image, {16, 128, 16, 128, 16, 128, 77, 128});
  auto codec = image.Codec();
  const FloatRgba white[3] = {{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}};
  codec->WriteRow(0, 0, white);
  codec.reset();
  // Right = 3 is odd: the last pair is read first, so the unused half keeps its luma.
  const std::vector<BYTE> expected = {235, 128, 235, 128, 235, 128, 77, 128};
  EXPECT_EQ(image.bytes, expected);
}

// The device's colour fill and the pair codec store a colour as the same bytes: a colour
// filled into a YUY2 surface equals that colour read from an A8R8G8B8 pixel and written
// through the codec, whatever rounding mode the caller has set.
TEST(PairCodec, ColorFillOfTheDeviceStoresTheSameBytes) {
  std::vector<Adapter> adapters;
  adapters.push_back(ResourceOnlyAdapter(CapableProfile()));
  auto direct3d = ComPtr<IDirect3D9>::Adopt(CreateDirect3D(std::move(adapters)));
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = 640;
  parameters.BackBufferHeight = 480;
  parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
  ComPtr<IDirect3DDevice9> device;
  ASSERT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                                   device.ReleaseAndGetAddressOf()),
            D3D_OK);
  ComPtr<IDirect3DSurface9> surface;
  ASSERT_EQ(device->CreateOffscreenPlainSurface(2, 1, D3DFMT_YUY2, D3DPOOL_DEFAULT, surface.ReleaseAndGetAddressOf(),
                                                nullptr),
            D3D_OK);
  std::uint32_t seed = 601;
  int differing = 0;
  for (int i = 0; i < 3000; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const D3DCOLOR color = 0xFF000000u | (seed >> 8);
    std::fesetround(i % 3 == 0 ? FE_UPWARD : FE_TONEAREST);
    ASSERT_EQ(device->ColorFill(surface.Get(), nullptr, color), D3D_OK);
    std::fesetround(FE_TONEAREST);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    BYTE filled[4];
    std::memcpy(filled, locked.pBits, 4);
    surface->UnlockRect();

    TestImage source(D3DFMT_A8R8G8B8, 4, 2);
    std::memcpy(&source.bytes[0], &color, 4);
    std::memcpy(&source.bytes[4], &color, 4);
    FloatRgba pixels[2];
    source.Codec()->ReadRow(0, 0, pixels);
    TestImage written = PairImage(D3DFMT_YUY2, 2);
    {
      auto codec = written.Codec();
      ASSERT_EQ(codec->WriteRow(0, 0, pixels), S_OK);
    }
    if (std::memcmp(filled, written.bytes.data(), 4) != 0) {
      ADD_FAILURE() << std::hex << "colour " << color << ": fill " << int(filled[0]) << " " << int(filled[1]) << " "
                    << int(filled[2]) << " " << int(filled[3]) << ", codec " << int(written.bytes[0]) << " "
                    << int(written.bytes[1]) << " " << int(written.bytes[2]) << " " << int(written.bytes[3]);
      if (++differing == 5) break;
    }
  }
}

}  // namespace
}  // namespace rastro
