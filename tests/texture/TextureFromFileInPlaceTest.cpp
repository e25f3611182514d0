// Textures from JPEG files, compared level for level with the same texture built step by step
// through the public calls: the file decoded by libjpeg itself, the top level loaded from it
// with D3DXLoadSurfaceFromMemory, the rest made by D3DXFilterTexture or loaded from the image
// with the load filter. The pipeline decodes straight into the texture when the top level takes
// the image's bytes unchanged; these cases cover both sides of every condition for that.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "JpegTestFiles.h"
#include "ProfiledDevice.h"
#include "d3dx9tex.h"

namespace rastro::testing {
namespace {

constexpr UINT kDefault = D3DX_DEFAULT;

struct Request {
  UINT width = kDefault, height = kDefault, levels = kDefault;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  D3DPOOL pool = D3DPOOL_MANAGED;
  DWORD filter = kDefault, mipFilter = kDefault;
  D3DCOLOR colorKey = 0;
};

HRESULT Load(IDirect3DDevice9* device, const std::string& file, const Request& r, IDirect3DTexture9** texture,
             D3DXIMAGE_INFO* info = nullptr, PALETTEENTRY* palette = nullptr) {
  return D3DXCreateTextureFromFileInMemoryEx(device, file.data(), static_cast<UINT>(file.size()), r.width, r.height,
                                             r.levels, 0, r.format, r.pool, r.filter, r.mipFilter, r.colorKey, info,
                                             palette, texture);
}

UINT BytesPerPixel(D3DFORMAT format) { return format == D3DFMT_L8 ? 1 : 4; }

std::vector<BYTE> LevelBytes(IDirect3DTexture9* texture, UINT level) {
  D3DSURFACE_DESC desc{};
  texture->GetLevelDesc(level, &desc);
  D3DLOCKED_RECT lock{};
  std::vector<BYTE> bytes;
  if (FAILED(texture->LockRect(level, &lock, nullptr, D3DLOCK_READONLY))) return bytes;
  const UINT rowBytes = desc.Width * BytesPerPixel(desc.Format);
  for (UINT y = 0; y < desc.Height; ++y) {
    const BYTE* row = static_cast<const BYTE*>(lock.pBits) + y * lock.Pitch;
    bytes.insert(bytes.end(), row, row + rowBytes);
  }
  texture->UnlockRect(level);
  return bytes;
}

// The texture built call by call, in system memory, alike in size, levels and format.
ComPtr<IDirect3DTexture9> StepByStep(IDirect3DDevice9* device, const LibjpegImage& image, const D3DSURFACE_DESC& desc,
                                     UINT levels, const Request& r) {
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_EQ(device->CreateTexture(desc.Width, desc.Height, levels, 0, desc.Format, D3DPOOL_SYSTEMMEM,
                                  texture.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  if (!texture) return texture;
  const DWORD filter = r.filter == kDefault ? (D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER) : r.filter;
  const DWORD mipFilter = r.mipFilter == kDefault ? D3DX_FILTER_BOX : r.mipFilter;
  const RECT whole{0, 0, static_cast<LONG>(image.width), static_cast<LONG>(image.height)};
  auto loadLevel = [&](UINT level) {
    ComPtr<IDirect3DSurface9> surface;
    texture->GetSurfaceLevel(level, surface.ReleaseAndGetAddressOf());
    EXPECT_EQ(D3DXLoadSurfaceFromMemory(surface.Get(), nullptr, nullptr, image.pixels.data(), image.format, image.pitch,
                                        nullptr, &whole, filter, r.colorKey),
              D3D_OK)
        << level;
  };
  loadLevel(0);
  const DWORD mipType = mipFilter & 0xFFFF;
  if ((filter & 0xFFFF) == D3DX_FILTER_NONE || mipType == D3DX_FILTER_POINT || mipType == D3DX_FILTER_BOX) {
    if (levels > 1) {
      EXPECT_EQ(D3DXFilterTexture(texture.Get(), nullptr, 0, mipFilter), D3D_OK);
    }
  } else {
    for (UINT level = 1; level < levels; ++level) loadLevel(level);
  }
  return texture;
}

struct PipelineCase {
  const char* name;
  int width, height;
  bool grey;
  Request request;
  D3DFORMAT expectedFormat;
  UINT expectedWidth, expectedHeight, expectedLevels;
};

class JpegTexture : public ::testing::TestWithParam<PipelineCase> {};

TEST_P(JpegTexture, EveryLevelAsBuiltStepByStep) {
  const PipelineCase& c = GetParam();
  ProfiledTestDevice device;
  const std::string file = NoisyJpeg(c.width, c.height, c.grey);
  ComPtr<IDirect3DTexture9> texture;
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(Load(device.Get(), file, c.request, texture.ReleaseAndGetAddressOf(), &info), D3D_OK);
  EXPECT_EQ(info.Width, UINT(c.width));
  EXPECT_EQ(info.Height, UINT(c.height));
  EXPECT_EQ(info.Format, c.grey ? D3DFMT_L8 : D3DFMT_X8R8G8B8);
  EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
  D3DSURFACE_DESC desc{};
  texture->GetLevelDesc(0, &desc);
  ASSERT_EQ(desc.Format, c.expectedFormat);
  ASSERT_EQ(desc.Width, c.expectedWidth);
  ASSERT_EQ(desc.Height, c.expectedHeight);
  const UINT levels = texture->GetLevelCount();
  ASSERT_EQ(levels, c.expectedLevels);

  const LibjpegImage image = DecodeWithLibjpeg(file);
  const ComPtr<IDirect3DTexture9> reference = StepByStep(device.Get(), image, desc, levels, c.request);
  ASSERT_TRUE(reference);
  for (UINT level = 0; level < levels; ++level) {
    const std::vector<BYTE> bytes = LevelBytes(texture.Get(), level);
    ASSERT_FALSE(bytes.empty()) << level;
    EXPECT_EQ(bytes, LevelBytes(reference.Get(), level)) << "level " << level;
  }
  // Where the top level takes the image unchanged it is libjpeg's decoding byte for byte.
  if (desc.Format == image.format && desc.Width == image.width && desc.Height == image.height &&
      c.request.colorKey == 0 && c.request.filter == kDefault) {
    EXPECT_EQ(LevelBytes(texture.Get(), 0), image.pixels);
  }
}

Request With(auto edit) {
  Request r;
  edit(r);
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, JpegTexture,
    ::testing::Values(
        // The top level takes the image's bytes: decoded into the texture.
        PipelineCase{"SquareDefaults", 64, 64, false, {}, D3DFMT_X8R8G8B8, 64, 64, 7},
        PipelineCase{"WideDefaults", 32, 8, false, {}, D3DFMT_X8R8G8B8, 32, 8, 6},
        PipelineCase{"ExactOddHalvings", 48, 40, false,
                     With([](Request& r) { r.width = r.height = D3DX_DEFAULT_NONPOW2; }), D3DFMT_X8R8G8B8, 48, 40, 6},
        PipelineCase{"Grey", 32, 32, true, {}, D3DFMT_L8, 32, 32, 6},
        PipelineCase{"SystemMemory", 16, 16, false, With([](Request& r) { r.pool = D3DPOOL_SYSTEMMEM; }),
                     D3DFMT_X8R8G8B8, 16, 16, 5},
        PipelineCase{"Scratch", 16, 32, false, With([](Request& r) { r.pool = D3DPOOL_SCRATCH; }), D3DFMT_X8R8G8B8, 16,
                     32, 6},
        PipelineCase{"OneLevelLinearMips", 32, 32, false, With([](Request& r) {
                       r.levels = 1;
                       r.mipFilter = D3DX_FILTER_LINEAR;
                     }),
                     D3DFMT_X8R8G8B8, 32, 32, 1},
        PipelineCase{"PointMips", 32, 32, false, With([](Request& r) { r.mipFilter = D3DX_FILTER_POINT; }),
                     D3DFMT_X8R8G8B8, 32, 32, 6},
        PipelineCase{"DitheredBoxMips", 32, 32, false,
                     With([](Request& r) { r.mipFilter = D3DX_FILTER_BOX | D3DX_FILTER_DITHER; }), D3DFMT_X8R8G8B8, 32,
                     32, 6},
        PipelineCase{"SrgbBothWays", 32, 32, false, With([](Request& r) {
                       r.filter = D3DX_FILTER_POINT | D3DX_FILTER_SRGB;
                       r.mipFilter = D3DX_FILTER_BOX | D3DX_FILTER_SRGB_OUT;
                     }),
                     D3DFMT_X8R8G8B8, 32, 32, 6},
        PipelineCase{"NoFilterLinearMips", 16, 16, false, With([](Request& r) {
                       r.filter = D3DX_FILTER_NONE;
                       r.mipFilter = D3DX_FILTER_LINEAR;
                     }),
                     D3DFMT_X8R8G8B8, 16, 16, 5},
        // The top level changes the bytes or the mip levels need the image: decoded first.
        PipelineCase{"AlphaFormat", 32, 32, false, With([](Request& r) { r.format = D3DFMT_A8R8G8B8; }),
                     D3DFMT_A8R8G8B8, 32, 32, 6},
        PipelineCase{"ColourKey", 16, 16, false, With([](Request& r) { r.colorKey = 0xFF000000; }), D3DFMT_A8R8G8B8, 16,
                     16, 5},
        PipelineCase{"SrgbIn", 16, 16, false,
                     With([](Request& r) { r.filter = D3DX_FILTER_POINT | D3DX_FILTER_SRGB_IN; }), D3DFMT_X8R8G8B8, 16,
                     16, 5},
        PipelineCase{"Enlarged", 40, 24, false, {}, D3DFMT_X8R8G8B8, 64, 32, 7},
        PipelineCase{"Reduced", 32, 32, false, With([](Request& r) { r.width = r.height = 16; }), D3DFMT_X8R8G8B8, 16,
                     16, 5},
        PipelineCase{"LinearMipsFromTheImage", 16, 16, false,
                     With([](Request& r) { r.mipFilter = D3DX_FILTER_LINEAR; }), D3DFMT_X8R8G8B8, 16, 16, 5}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(JpegTexture, UndefinedFilterBitFailsAsTheLoadingCallDoes) {
  // The loading call refuses the filter word, so the texture fails whichever way it is filled.
  ProfiledTestDevice device;
  const std::string file = NoisyJpeg(16, 16);
  IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(0x1234);
  Request r;
  r.filter = D3DX_FILTER_POINT | 0x400000;
  EXPECT_EQ(Load(device.Get(), file, r, &texture), D3DERR_INVALIDCALL);
  EXPECT_EQ(texture, reinterpret_cast<IDirect3DTexture9*>(0x1234));
}

TEST(JpegTexture, DefaultPoolTextureOfTheImagesSize) {
  ProfiledTestDevice device;
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(Load(device.Get(), NoisyJpeg(64, 32), With([](Request& r) { r.pool = D3DPOOL_DEFAULT; }),
                 texture.ReleaseAndGetAddressOf()),
            D3D_OK);
  D3DSURFACE_DESC desc{};
  texture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
  EXPECT_EQ(desc.Width, 64u);
  EXPECT_EQ(texture->GetLevelCount(), 7u);
}

// A colour key on a texture of the image's own format still changes the top level (the keyed
// pixels turn black), so the image cannot go into the texture unchanged.
TEST(JpegTexture, ColourKeyOnTheImagesOwnFormat) {
  ProfiledTestDevice device;
  const std::string file = NoisyJpeg(16, 16);
  const LibjpegImage image = DecodeWithLibjpeg(file);
  DWORD first = 0;
  std::memcpy(&first, image.pixels.data(), 4);
  Request r;
  r.format = D3DFMT_X8R8G8B8;
  r.colorKey = 0xFF000000u | first;
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(Load(device.Get(), file, r, texture.ReleaseAndGetAddressOf()), D3D_OK);
  const std::vector<BYTE> top = LevelBytes(texture.Get(), 0);
  ASSERT_EQ(top.size(), image.pixels.size());
  for (std::size_t i = 0; i < top.size(); i += 4) {
    DWORD expected = 0;
    std::memcpy(&expected, image.pixels.data() + i, 4);
    if (expected == first) expected = 0;
    DWORD actual = 0;
    std::memcpy(&actual, top.data() + i, 4);
    ASSERT_EQ(actual, expected) << i / 4;
  }
}

// A file whose header reads but whose pixels run out: the decoder's error, and nothing of the
// caller's written, whatever the texture would have been.
TEST(JpegTexture, TruncatedFileFailsBeforeAnythingIsHandedOut) {
  ProfiledTestDevice device;
  for (int size : {64, 48}) {
    const std::string whole = NoisyJpeg(size, size);
    const std::string truncated = whole.substr(0, whole.size() * 2 / 3);
    IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(0x5678);
    D3DXIMAGE_INFO info{};
    info.Width = 77;
    PALETTEENTRY palette[256];
    std::memset(palette, 0xAB, sizeof palette);
    EXPECT_EQ(Load(device.Get(), truncated, Request{}, &texture, &info, palette), D3DXERR_INVALIDDATA) << size;
    EXPECT_EQ(texture, reinterpret_cast<IDirect3DTexture9*>(0x5678)) << size;
    EXPECT_EQ(info.Width, 77u) << size;
    EXPECT_EQ(palette[0].peRed, 0xAB) << size;
    EXPECT_EQ(palette[255].peFlags, 0xAB) << size;
  }
}

// The caller's palette comes back all opaque white, as for any file without one.
TEST(JpegTexture, PaletteOutputForAFileWithoutOne) {
  ProfiledTestDevice device;
  ComPtr<IDirect3DTexture9> texture;
  PALETTEENTRY palette[256];
  std::memset(palette, 0, sizeof palette);
  ASSERT_EQ(Load(device.Get(), NoisyJpeg(16, 16), Request{}, texture.ReleaseAndGetAddressOf(), nullptr, palette),
            D3D_OK);
  for (const PALETTEENTRY& entry : palette) {
    ASSERT_EQ(entry.peRed, 255);
    ASSERT_EQ(entry.peGreen, 255);
    ASSERT_EQ(entry.peBlue, 255);
    ASSERT_EQ(entry.peFlags, 255);
  }
}

}  // namespace
}  // namespace rastro::testing
