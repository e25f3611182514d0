// DDS files written from textures, read back by ImageMagick (an independent reader) where it
// knows the format, and checked field by field against the published layout elsewhere.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "DdsWriter.h"
#include "DecodeImage.h"
#include "FormatCatalogue.h"
#include "ProfiledDevice.h"
#include "ScratchDirectory.h"

namespace rastro::testing {
namespace {

DWORD Read32(const std::vector<BYTE>& bytes, std::size_t offset) {
  DWORD value = 0;
  std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

// ImageMagick's reading of a file: every image it finds, as 8-bit RGBA, concatenated.
std::vector<BYTE> ReadWithImageMagick(const std::filesystem::path& file, std::string* sizes = nullptr) {
  std::vector<BYTE> pixels;
  const std::string command = "/usr/bin/convert '" + file.string() + "' -depth 8 rgba:- 2>/dev/null";
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    BYTE buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) pixels.insert(pixels.end(), buffer, buffer + got);
    pclose(pipe);
  }
  if (sizes) {
    sizes->clear();
    const std::string identify = "/usr/bin/identify -format '%wx%h ' '" + file.string() + "' 2>/dev/null";
    if (std::FILE* pipe = popen(identify.c_str(), "r")) {
      char buffer[256];
      while (std::fgets(buffer, sizeof buffer, pipe)) *sizes += buffer;
      pclose(pipe);
    }
  }
  return pixels;
}

// Fills level `level` of a plain texture by calling `pixel(x, y, row)` to write each pixel.
void FillLevel(IDirect3DTexture9* texture, UINT level, UINT rows, UINT rowBytes,
               const std::function<void(UINT, BYTE*)>& fillRow) {
  D3DLOCKED_RECT lock{};
  ASSERT_EQ(texture->LockRect(level, &lock, nullptr, 0), D3D_OK);
  for (UINT y = 0; y < rows; ++y) {
    BYTE* row = static_cast<BYTE*>(lock.pBits) + y * lock.Pitch;
    std::memset(row, 0, rowBytes);
    fillRow(y, row);
  }
  texture->UnlockRect(level);
}

// One format ImageMagick reads: how a pixel is stored and the 8-bit RGBA it stands for.
struct ReadableCase {
  const char* label;
  D3DFORMAT format;
  UINT bytesPerPixel;
  // Stores pixel number i (0..63 of an 8 x 8 level) and returns its RGBA.
  std::array<BYTE, 4> (*store)(UINT i, BYTE* at);
  int tolerance;  // ImageMagick widens 4- and 5-bit fields with its own rounding
};

void PrintTo(const ReadableCase& c, std::ostream* out) { *out << c.label; }

BYTE Widen(UINT value, UINT bits) {
  return static_cast<BYTE>((value * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1));
}

std::array<BYTE, 4> StoreArgb(UINT i, BYTE* at) {
  const BYTE r = static_cast<BYTE>(i * 4), g = static_cast<BYTE>(255 - i * 3), b = static_cast<BYTE>(i * 7),
             a = static_cast<BYTE>(40 + i * 2);
  at[0] = b, at[1] = g, at[2] = r, at[3] = a;
  return {r, g, b, a};
}
std::array<BYTE, 4> StoreXrgb(UINT i, BYTE* at) {
  auto rgba = StoreArgb(i, at);
  at[3] = 0x5A;  // the X byte means nothing
  rgba[3] = 255;
  return rgba;
}
std::array<BYTE, 4> StoreRgb(UINT i, BYTE* at) {
  const BYTE r = static_cast<BYTE>(i * 4), g = static_cast<BYTE>(200 - i), b = static_cast<BYTE>(i * 3 + 1);
  at[0] = b, at[1] = g, at[2] = r;
  return {r, g, b, 255};
}
std::array<BYTE, 4> StoreR5G6B5(UINT i, BYTE* at) {
  const UINT r = i % 32, g = (i * 5) % 64, b = 31 - i % 32;
  const UINT value = (r << 11) | (g << 5) | b;
  at[0] = static_cast<BYTE>(value), at[1] = static_cast<BYTE>(value >> 8);
  return {Widen(r, 5), Widen(g, 6), Widen(b, 5), 255};
}
std::array<BYTE, 4> StoreA1R5G5B5(UINT i, BYTE* at) {
  const UINT a = i % 2, r = i % 32, g = (i * 3) % 32, b = 31 - i % 32;
  const UINT value = (a << 15) | (r << 10) | (g << 5) | b;
  at[0] = static_cast<BYTE>(value), at[1] = static_cast<BYTE>(value >> 8);
  return {Widen(r, 5), Widen(g, 5), Widen(b, 5), static_cast<BYTE>(a ? 255 : 0)};
}
std::array<BYTE, 4> StoreA4R4G4B4(UINT i, BYTE* at) {
  const UINT a = i % 16, r = (i / 4) % 16, g = (i * 3) % 16, b = 15 - i % 16;
  const UINT value = (a << 12) | (r << 8) | (g << 4) | b;
  at[0] = static_cast<BYTE>(value), at[1] = static_cast<BYTE>(value >> 8);
  return {Widen(r, 4), Widen(g, 4), Widen(b, 4), Widen(a, 4)};
}
std::array<BYTE, 4> StoreL8(UINT i, BYTE* at) {
  at[0] = static_cast<BYTE>(i * 4 + 1);
  return {at[0], at[0], at[0], 255};
}

class DdsReadableByImageMagick : public ::testing::TestWithParam<ReadableCase> {};

TEST_P(DdsReadableByImageMagick, TopLevelReadsBackAsStored) {
  const ReadableCase& c = GetParam();
  ProfiledTestDevice device;
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(device->CreateTexture(8, 8, 4, 0, c.format, D3DPOOL_SCRATCH, texture.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  std::vector<std::array<BYTE, 4>> expected;
  FillLevel(texture.Get(), 0, 8, 8 * c.bytesPerPixel, [&](UINT y, BYTE* row) {
    for (UINT x = 0; x < 8; ++x) expected.push_back(c.store(y * 8 + x, row + x * c.bytesPerPixel));
  });
  std::vector<BYTE> bytes;
  ASSERT_EQ(WriteDds(texture.Get(), nullptr, bytes), D3D_OK);
  // Levels of 8x8, 4x4, 2x2 and 1x1 pixels, tightly packed after the 128-byte header.
  EXPECT_EQ(bytes.size(), 128u + (64 + 16 + 4 + 1) * c.bytesPerPixel);

  ScratchDirectory directory;
  const auto file = directory.Write("texture.dds", std::string(bytes.begin(), bytes.end()));
  std::string sizes;
  const std::vector<BYTE> read = ReadWithImageMagick(file, &sizes);
  EXPECT_EQ(sizes.substr(0, 4), "8x8 ");
  ASSERT_GE(read.size(), 64u * 4);
  for (UINT i = 0; i < 64; ++i) {
    for (UINT channel = 0; channel < 4; ++channel) {
      EXPECT_NEAR(read[i * 4 + channel], expected[i][channel], c.tolerance) << "pixel " << i << " channel " << channel;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, DdsReadableByImageMagick,
                         ::testing::Values(ReadableCase{"A8R8G8B8", D3DFMT_A8R8G8B8, 4, StoreArgb, 0},
                                           ReadableCase{"X8R8G8B8", D3DFMT_X8R8G8B8, 4, StoreXrgb, 0},
                                           ReadableCase{"R8G8B8", D3DFMT_R8G8B8, 3, StoreRgb, 0},
                                           ReadableCase{"R5G6B5", D3DFMT_R5G6B5, 2, StoreR5G6B5, 1},
                                           ReadableCase{"A1R5G5B5", D3DFMT_A1R5G5B5, 2, StoreA1R5G5B5, 1},
                                           ReadableCase{"A4R4G4B4", D3DFMT_A4R4G4B4, 2, StoreA4R4G4B4, 1},
                                           ReadableCase{"L8", D3DFMT_L8, 1, StoreL8, 0}),
                         [](const ::testing::TestParamInfo<ReadableCase>& test) {
                           return std::string(test.param.label);
                         });

// The colour a test texel of a cube face or volume slice gets, stored as A8R8G8B8.
std::array<BYTE, 4> Texel(UINT x, UINT y, UINT layer, UINT level) {
  return {static_cast<BYTE>(x * 50 + y), static_cast<BYTE>(layer * 40), static_cast<BYTE>(level * 10), 255};
}

void StoreTexel(BYTE* at, const std::array<BYTE, 4>& rgba) {
  at[0] = rgba[2], at[1] = rgba[1], at[2] = rgba[0], at[3] = rgba[3];
}

// ImageMagick reads the faces of a cube map as six images (it skips the smaller levels of each).
TEST(DdsWriter, CubeFacesReadBackInFaceOrder) {
  ProfiledTestDevice device;
  ComPtr<IDirect3DCubeTexture9> cube;
  ASSERT_EQ(
      device->CreateCubeTexture(4, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, cube.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  for (UINT face = 0; face < 6; ++face) {
    for (UINT level = 0; level < 2; ++level) {
      D3DLOCKED_RECT lock{};
      ASSERT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), level, &lock, nullptr, 0), D3D_OK);
      const UINT size = 4 >> level;
      for (UINT y = 0; y < size; ++y) {
        for (UINT x = 0; x < size; ++x)
          StoreTexel(static_cast<BYTE*>(lock.pBits) + y * lock.Pitch + x * 4, Texel(x, y, face, level));
      }
      cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), level);
    }
  }
  std::vector<BYTE> bytes;
  ASSERT_EQ(WriteDds(cube.Get(), nullptr, bytes), D3D_OK);
  ASSERT_EQ(bytes.size(), 128u + 6 * (16 + 4) * 4);
  EXPECT_EQ(Read32(bytes, 108), 0x401008u);  // texture, complex, mip-mapped
  EXPECT_EQ(Read32(bytes, 112), 0xFE00u);    // cube map with all six faces
  // Face 1's second level lies after face 0's two levels and face 1's first.
  EXPECT_EQ(bytes[128 + (20 + 16) * 4 + 1], 40);
  EXPECT_EQ(bytes[128 + (20 + 16) * 4 + 0], 10);

  ScratchDirectory directory;
  std::string sizes;
  const std::vector<BYTE> read =
      ReadWithImageMagick(directory.Write("cube.dds", std::string(bytes.begin(), bytes.end())), &sizes);
  EXPECT_EQ(sizes, "4x4 4x4 4x4 4x4 4x4 4x4 ");
  ASSERT_EQ(read.size(), 6u * 16 * 4);
  for (UINT face = 0; face < 6; ++face) {
    for (UINT i = 0; i < 16; ++i) {
      const auto expected = Texel(i % 4, i / 4, face, 0);
      EXPECT_EQ(0, std::memcmp(&read[(face * 16 + i) * 4], expected.data(), 4)) << "face " << face << " texel " << i;
    }
  }
}

// ImageMagick reads the slices of a single-level volume as images.
TEST(DdsWriter, VolumeSlicesReadBackInOrder) {
  ProfiledTestDevice device;
  ComPtr<IDirect3DVolumeTexture9> volume;
  ASSERT_EQ(device->CreateVolumeTexture(4, 2, 3, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH,
                                        volume.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  D3DLOCKED_BOX lock{};
  ASSERT_EQ(volume->LockBox(0, &lock, nullptr, 0), D3D_OK);
  for (UINT z = 0; z < 3; ++z) {
    for (UINT y = 0; y < 2; ++y) {
      for (UINT x = 0; x < 4; ++x) {
        StoreTexel(static_cast<BYTE*>(lock.pBits) + z * lock.SlicePitch + y * lock.RowPitch + x * 4, Texel(x, y, z, 0));
      }
    }
  }
  volume->UnlockBox(0);
  std::vector<BYTE> bytes;
  ASSERT_EQ(WriteDds(volume.Get(), nullptr, bytes), D3D_OK);
  ASSERT_EQ(bytes.size(), 128u + 24 * 4);
  EXPECT_EQ(Read32(bytes, 8) & 0x800000u, 0x800000u);  // depth given
  EXPECT_EQ(Read32(bytes, 24), 3u);
  EXPECT_EQ(Read32(bytes, 112), 0x200000u);

  ScratchDirectory directory;
  std::string sizes;
  const std::vector<BYTE> read =
      ReadWithImageMagick(directory.Write("volume.dds", std::string(bytes.begin(), bytes.end())), &sizes);
  EXPECT_EQ(sizes, "4x2 4x2 4x2 ");
  ASSERT_EQ(read.size(), 3u * 8 * 4);
  for (UINT z = 0; z < 3; ++z) {
    for (UINT i = 0; i < 8; ++i) {
      const auto expected = Texel(i % 4, i / 4, z, 0);
      EXPECT_EQ(0, std::memcmp(&read[(z * 8 + i) * 4], expected.data(), 4)) << "slice " << z << " texel " << i;
    }
  }
}

TEST(DdsWriter, VolumeMipChainShrinksInEveryDimension) {
  ProfiledTestDevice device;
  ComPtr<IDirect3DVolumeTexture9> volume;
  ASSERT_EQ(
      device->CreateVolumeTexture(4, 4, 4, 3, 0, D3DFMT_L8, D3DPOOL_SCRATCH, volume.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  for (UINT level = 0; level < 3; ++level) {
    D3DLOCKED_BOX lock{};
    ASSERT_EQ(volume->LockBox(level, &lock, nullptr, 0), D3D_OK);
    const UINT size = 4 >> level;
    for (UINT z = 0; z < size; ++z) {
      for (UINT y = 0; y < size; ++y) {
        for (UINT x = 0; x < size; ++x) {
          static_cast<BYTE*>(lock.pBits)[z * lock.SlicePitch + y * lock.RowPitch + x] =
              static_cast<BYTE>(100 * level + 16 * z + 4 * y + x);
        }
      }
    }
    volume->UnlockBox(level);
  }
  std::vector<BYTE> bytes;
  ASSERT_EQ(WriteDds(volume.Get(), nullptr, bytes), D3D_OK);
  // 4x4x4, 2x2x2 and 1x1x1 luminance bytes, packed.
  ASSERT_EQ(bytes.size(), 128u + 64 + 8 + 1);
  EXPECT_EQ(Read32(bytes, 28), 3u);
  for (UINT i = 0; i < 64; ++i) EXPECT_EQ(bytes[128 + i], i) << i;
  const BYTE level1[] = {100, 101, 104, 105, 116, 117, 120, 121};
  for (UINT i = 0; i < 8; ++i) EXPECT_EQ(bytes[128 + 64 + i], level1[i]) << i;
  EXPECT_EQ(bytes[128 + 72], 200);
}

// DXT1 blocks: colour 0 pure red, colour 1 pure blue, the two thirds between them.
TEST(DdsWriter, BlockCompressedLevelsAreWrittenAsBlocks) {
  ProfiledTestDevice device;
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(device->CreateTexture(8, 8, 4, 0, D3DFMT_DXT1, D3DPOOL_SCRATCH, texture.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  // Index of pixel (x, y) in every block: (x + y) mod 4.
  DWORD indices = 0;
  for (UINT y = 0; y < 4; ++y) {
    for (UINT x = 0; x < 4; ++x) indices |= ((x + y) % 4) << (2 * (4 * y + x));
  }
  const BYTE block[8] = {
      0x00, 0xF8, 0x1F, 0x00, BYTE(indices), BYTE(indices >> 8), BYTE(indices >> 16), BYTE(indices >> 24)};
  FillLevel(texture.Get(), 0, 2, 16, [&](UINT, BYTE* row) {
    std::memcpy(row, block, 8);
    std::memcpy(row + 8, block, 8);
  });
  std::vector<BYTE> bytes;
  ASSERT_EQ(WriteDds(texture.Get(), nullptr, bytes), D3D_OK);
  // Four blocks on top, then one block for each of 4x4, 2x2 and 1x1.
  ASSERT_EQ(bytes.size(), 128u + 32 + 8 + 8 + 8);
  EXPECT_EQ(Read32(bytes, 0), 0x20534444u);
  EXPECT_EQ(Read32(bytes, 4), 124u);
  EXPECT_EQ(Read32(bytes, 8), 0xA1007u);  // caps, height, width, pixel format, mip count, linear size
  EXPECT_EQ(Read32(bytes, 12), 8u);
  EXPECT_EQ(Read32(bytes, 16), 8u);
  EXPECT_EQ(Read32(bytes, 20), 32u);  // the top level's size
  EXPECT_EQ(Read32(bytes, 28), 4u);
  EXPECT_EQ(Read32(bytes, 76), 32u);
  EXPECT_EQ(Read32(bytes, 80), 4u);
  EXPECT_EQ(Read32(bytes, 84), 0x31545844u);  // "DXT1"
  EXPECT_EQ(Read32(bytes, 108), 0x401008u);
  EXPECT_EQ(0, std::memcmp(&bytes[128 + 24], block, 8));

  ScratchDirectory directory;
  const std::vector<BYTE> read =
      ReadWithImageMagick(directory.Write("dxt1.dds", std::string(bytes.begin(), bytes.end())));
  ASSERT_GE(read.size(), 64u * 4);
  const std::array<BYTE, 4> palette[4] = {{255, 0, 0, 255}, {0, 0, 255, 255}, {170, 0, 85, 255}, {85, 0, 170, 255}};
  for (UINT y = 0; y < 8; ++y) {
    for (UINT x = 0; x < 8; ++x) {
      const auto& expected = palette[(x % 4 + y % 4) % 4];
      for (UINT channel = 0; channel < 4; ++channel) {
        EXPECT_NEAR(read[(y * 8 + x) * 4 + channel], expected[channel], 1) << x << "," << y;
      }
    }
  }
}

TEST(DdsWriter, PaletteFollowsTheHeader) {
  ProfiledTestDevice device;
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(device->CreateTexture(4, 2, 1, 0, D3DFMT_P8, D3DPOOL_SCRATCH, texture.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  FillLevel(texture.Get(), 0, 2, 4, [](UINT y, BYTE* row) {
    for (UINT x = 0; x < 4; ++x) row[x] = static_cast<BYTE>(y * 4 + x + 7);
  });
  PALETTEENTRY palette[256];
  for (UINT i = 0; i < 256; ++i) palette[i] = {BYTE(i), BYTE(255 - i), BYTE(i / 2), 255};
  std::vector<BYTE> bytes;
  EXPECT_EQ(WriteDds(texture.Get(), nullptr, bytes), D3DERR_INVALIDCALL);
  EXPECT_TRUE(bytes.empty());
  ASSERT_EQ(WriteDds(texture.Get(), palette, bytes), D3D_OK);
  ASSERT_EQ(bytes.size(), 128u + 1024 + 8);
  EXPECT_EQ(Read32(bytes, 80), 0x20u);  // palette-indexed, 8 bits
  EXPECT_EQ(Read32(bytes, 88), 8u);
  EXPECT_EQ(Read32(bytes, 8) & 0x8u, 0x8u);  // a pitch, not a linear size
  EXPECT_EQ(Read32(bytes, 20), 4u);
  EXPECT_EQ(Read32(bytes, 128 + 4 * 200), 0xFF6437C8u);  // bytes: red 200, green 55, blue 100, flags 255
  for (UINT i = 0; i < 8; ++i) EXPECT_EQ(bytes[1152 + i], i + 7);
}

// Formats without a mask description are named by their value; the bump and 10-bit rows use
// the masks files of the platform's own tools carry.
TEST(DdsWriter, PixelFormatDescriptions) {
  struct {
    D3DFORMAT format;
    DWORD flags, fourCc, bits, masks[4];
    UINT pitch;  // of a 2-pixel-wide top level
  } const cases[] = {
      {D3DFMT_A16B16G16R16F, 0x4, 113, 0, {0, 0, 0, 0}, 16},
      {D3DFMT_A32B32G32R32F, 0x4, 116, 0, {0, 0, 0, 0}, 32},
      {D3DFMT_A16B16G16R16, 0x4, 36, 0, {0, 0, 0, 0}, 16},
      {D3DFMT_YUY2, 0x4, 0x32595559, 0, {0, 0, 0, 0}, 4},
      {D3DFMT_V8U8, 0x80000, 0, 16, {0xFF, 0xFF00, 0, 0}, 4},
      {D3DFMT_L6V5U5, 0x40000, 0, 16, {0x1F, 0x3E0, 0xFC00, 0}, 4},
      {D3DFMT_A2W10V10U10, 0x80001, 0, 32, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}, 8},
      {D3DFMT_A2B10G10R10, 0x41, 0, 32, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}, 8},
      {D3DFMT_A2R10G10B10, 0x41, 0, 32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, 8},
      {D3DFMT_A8, 0x2, 0, 8, {0, 0, 0, 0xFF}, 2},
      {D3DFMT_A4L4, 0x20001, 0, 8, {0xF, 0, 0, 0xF0}, 2},
      {D3DFMT_G16R16, 0x40, 0, 32, {0xFFFF, 0xFFFF0000, 0, 0}, 8},
  };
  ProfiledTestDevice device;
  for (const auto& c : cases) {
    ComPtr<IDirect3DTexture9> texture;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, c.format, D3DPOOL_SCRATCH, texture.ReleaseAndGetAddressOf(), nullptr),
              D3D_OK)
        << c.format;
    std::vector<BYTE> bytes;
    ASSERT_EQ(WriteDds(texture.Get(), nullptr, bytes), D3D_OK) << c.format;
    EXPECT_EQ(Read32(bytes, 80), c.flags) << c.format;
    EXPECT_EQ(Read32(bytes, 84), c.fourCc) << c.format;
    EXPECT_EQ(Read32(bytes, 88), c.bits) << c.format;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Read32(bytes, 92 + 4 * i), c.masks[i]) << c.format << " mask " << i;
    EXPECT_EQ(Read32(bytes, 20), c.pitch) << c.format;
    EXPECT_EQ(bytes.size(), 128u + 2 * c.pitch) << c.format;
  }
}

// The loader's own DDS decoder reads back every format the writer holds, with its levels and
// the bytes of the smallest one.
TEST(DdsWriter, TheLoaderReadsEveryFormatBack) {
  ProfiledTestDevice device;
  PALETTEENTRY palette[256] = {};
  for (UINT i = 0; i < FormatCatalogueSize(); ++i) {
    const D3DFORMAT format = FormatCatalogue()[i].Format;
    if (!DdsCanHold(format)) continue;
    ComPtr<IDirect3DTexture9> texture;
    if (FAILED(device->CreateTexture(8, 4, 3, 0, format, D3DPOOL_SCRATCH, texture.ReleaseAndGetAddressOf(), nullptr))) {
      ADD_FAILURE() << "no scratch texture of format " << format;
      continue;
    }
    D3DLOCKED_RECT lock{};
    ASSERT_EQ(texture->LockRect(2, &lock, nullptr, 0), D3D_OK);
    static_cast<BYTE*>(lock.pBits)[0] = 0xA5;
    texture->UnlockRect(2);
    std::vector<BYTE> bytes;
    ASSERT_EQ(WriteDds(texture.Get(), palette, bytes), D3D_OK) << format;
    ImageData image;
    ASSERT_EQ(DecodeImage(&image, bytes.data(), static_cast<UINT>(bytes.size()), nullptr, TRUE), D3D_OK) << format;
    EXPECT_EQ(image.Format, format);
    EXPECT_EQ(image.Width, 8u) << format;
    EXPECT_EQ(image.Height, 4u) << format;
    ASSERT_TRUE(image.NextMip && image.NextMip->NextMip) << format;
    EXPECT_FALSE(image.NextMip->NextMip->NextMip) << format;
    EXPECT_EQ(image.NextMip->NextMip->Width, 2u) << format;
    EXPECT_EQ(image.NextMip->NextMip->Data[0], 0xA5) << format;
  }
}

TEST(DdsWriter, HoldsEveryTextureFormatOfTheCatalogue) {
  const std::set<D3DFORMAT> depthAndInternal{D3DFMT_D32,     D3DFMT_D15S1,  D3DFMT_D24S8, D3DFMT_D16, D3DFMT_D24X8,
                                             D3DFMT_D24X4S4, D3DFMT_D24FS8, FORMAT_AL16,  FORMAT_R16};
  for (UINT i = 0; i < FormatCatalogueSize(); ++i) {
    const D3DFORMAT format = FormatCatalogue()[i].Format;
    EXPECT_EQ(DdsCanHold(format), !depthAndInternal.count(format)) << format;
  }
  EXPECT_FALSE(DdsCanHold(D3DFMT_UNKNOWN));
  std::vector<BYTE> bytes{1, 2, 3};
  EXPECT_EQ(WriteDds(nullptr, nullptr, bytes), D3DERR_INVALIDCALL);
  EXPECT_EQ(bytes.size(), 3u);
}

}  // namespace
}  // namespace rastro::testing
