// The public loading entry points and mip filtering, on surfaces, volumes and textures of a
// resource-only device.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "RecordingDevice.h"
#include "d3dx9tex.h"

namespace rastro::testing {
namespace {

std::vector<BYTE> ReadSurface(IDirect3DSurface9* surface, UINT bytesPerPixel) {
  D3DSURFACE_DESC desc{};
  surface->GetDesc(&desc);
  D3DLOCKED_RECT bits{};
  EXPECT_EQ(surface->LockRect(&bits, nullptr, D3DLOCK_READONLY), D3D_OK);
  std::vector<BYTE> out(std::size_t{desc.Width} * desc.Height * bytesPerPixel);
  for (UINT y = 0; y < desc.Height; ++y) {
    std::memcpy(&out[std::size_t{y} * desc.Width * bytesPerPixel], static_cast<BYTE*>(bits.pBits) + y * bits.Pitch,
                std::size_t{desc.Width} * bytesPerPixel);
  }
  surface->UnlockRect();
  return out;
}

void WriteSurface(IDirect3DSurface9* surface, const std::vector<BYTE>& pixels, UINT bytesPerPixel) {
  D3DSURFACE_DESC desc{};
  surface->GetDesc(&desc);
  D3DLOCKED_RECT bits{};
  ASSERT_EQ(surface->LockRect(&bits, nullptr, 0), D3D_OK);
  for (UINT y = 0; y < desc.Height; ++y) {
    std::memcpy(static_cast<BYTE*>(bits.pBits) + y * bits.Pitch, &pixels[std::size_t{y} * desc.Width * bytesPerPixel],
                std::size_t{desc.Width} * bytesPerPixel);
  }
  surface->UnlockRect();
}

ComPtr<IDirect3DSurface9> Plain(TestDevice& device, UINT width, UINT height, D3DFORMAT format, D3DPOOL pool) {
  ComPtr<IDirect3DSurface9> surface;
  EXPECT_EQ(device->CreateOffscreenPlainSurface(width, height, format, pool, surface.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  return surface;
}

TEST(LoadSurfaceFromMemory, RefusesMissingOrUnusableArguments) {
  TestDevice device;
  auto surface = Plain(device, 4, 4, D3DFMT_L8, D3DPOOL_SYSTEMMEM);
  BYTE pixels[16] = {};
  RECT whole{0, 0, 4, 4};
  EXPECT_EQ(
      D3DXLoadSurfaceFromMemory(nullptr, nullptr, nullptr, pixels, D3DFMT_L8, 4, nullptr, &whole, D3DX_FILTER_NONE, 0),
      D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXLoadSurfaceFromMemory(surface.Get(), nullptr, nullptr, nullptr, D3DFMT_L8, 4, nullptr, &whole,
                                      D3DX_FILTER_NONE, 0),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXLoadSurfaceFromMemory(surface.Get(), nullptr, nullptr, pixels, D3DFMT_L8, 4, nullptr, nullptr,
                                      D3DX_FILTER_NONE, 0),
            D3DERR_INVALIDCALL);
  for (RECT bad : {RECT{-1, 0, 3, 4}, RECT{0, -4, 4, -1}, RECT{3, 0, 1, 4}, RECT{0, 3, 4, 1}}) {
    EXPECT_EQ(D3DXLoadSurfaceFromMemory(surface.Get(), nullptr, nullptr, pixels, D3DFMT_L8, 4, nullptr, &bad,
                                        D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
  }
  RECT outside{0, 0, 5, 4};
  EXPECT_EQ(D3DXLoadSurfaceFromMemory(surface.Get(), nullptr, &outside, pixels, D3DFMT_L8, 4, nullptr, &whole,
                                      D3DX_FILTER_NONE, 0),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXLoadSurfaceFromMemory(surface.Get(), nullptr, nullptr, pixels, D3DFMT_L8, 4, nullptr, &whole, 6, 0),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXLoadSurfaceFromMemory(surface.Get(), nullptr, nullptr, pixels, D3DFMT_D24S8, 4, nullptr, &whole,
                                      D3DX_FILTER_NONE, 0),
            E_FAIL);
}

TEST(LoadSurfaceFromMemory, DefaultFilterIsDitheredTriangle) {
  TestDevice device;
  std::mt19937 random(3);
  std::vector<DWORD> pixels(13 * 9);
  for (DWORD& p : pixels) p = random();
  RECT whole{0, 0, 13, 9};
  auto byDefault = Plain(device, 5, 7, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM);
  auto explicitly = Plain(device, 5, 7, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM);
  auto undithered = Plain(device, 5, 7, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM);
  ASSERT_EQ(D3DXLoadSurfaceFromMemory(byDefault.Get(), nullptr, nullptr, pixels.data(), D3DFMT_A8R8G8B8, 13 * 4,
                                      nullptr, &whole, D3DX_DEFAULT, 0),
            S_OK);
  ASSERT_EQ(D3DXLoadSurfaceFromMemory(explicitly.Get(), nullptr, nullptr, pixels.data(), D3DFMT_A8R8G8B8, 13 * 4,
                                      nullptr, &whole, 0x80004, 0),
            S_OK);
  ASSERT_EQ(D3DXLoadSurfaceFromMemory(undithered.Get(), nullptr, nullptr, pixels.data(), D3DFMT_A8R8G8B8, 13 * 4,
                                      nullptr, &whole, D3DX_FILTER_TRIANGLE, 0),
            S_OK);
  EXPECT_EQ(ReadSurface(byDefault.Get(), 2), ReadSurface(explicitly.Get(), 2));
  EXPECT_NE(ReadSurface(byDefault.Get(), 2), ReadSurface(undithered.Get(), 2));
}

TEST(LoadSurfaceFromMemory, LoadsIntoADestinationRectangleOnly) {
  TestDevice device;
  auto surface = Plain(device, 4, 3, D3DFMT_L8, D3DPOOL_SYSTEMMEM);
  WriteSurface(surface.Get(), std::vector<BYTE>(12, 9), 1);
  const BYTE source[6] = {1, 2, 3, 4, 5, 6};  // 3 x 2, pitch 3; the rectangle takes the right 2 x 2
  RECT from{1, 0, 3, 2}, to{2, 1, 4, 3};
  ASSERT_EQ(
      D3DXLoadSurfaceFromMemory(surface.Get(), nullptr, &to, source, D3DFMT_L8, 3, nullptr, &from, D3DX_FILTER_NONE, 0),
      S_OK);
  std::vector<BYTE> expected = {9, 9, 9, 9, 9, 9, 2, 3, 9, 9, 5, 6};
  EXPECT_EQ(ReadSurface(surface.Get(), 1), expected);
}

TEST(LoadSurfaceFromSurface, EqualSizesInTheDefaultPoolUseTheDevicesCopy) {
  TestDevice device;
  auto recorder = ComPtr<RecordingDevice>::Adopt(new RecordingDevice(device.device.Get()));
  ComPtr<IDirect3DSurface9> from, to;
  ASSERT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                       from.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ASSERT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, to.ReleaseAndGetAddressOf(),
                                       nullptr),
            D3D_OK);
  ASSERT_EQ(device->ColorFill(from.Get(), nullptr, 0xFF336699u), D3D_OK);
  auto source = recorder->Wrap(from.Get());
  auto destination = recorder->Wrap(to.Get());
  ASSERT_EQ(D3DXLoadSurfaceFromSurface(destination.Get(), nullptr, nullptr, source.Get(), nullptr, nullptr,
                                       D3DX_FILTER_POINT, 0),
            S_OK);
  EXPECT_EQ(recorder->stretchRects, 1u);
  EXPECT_TRUE(source->locks.empty());
  std::vector<BYTE> copied = ReadSurface(to.Get(), 4);
  EXPECT_EQ(copied[0] | copied[1] << 8 | copied[2] << 16 | copied[3] << 24, 0xFF336699);

  // Box filtering, or a colour key, is done in software.
  ASSERT_EQ(D3DXLoadSurfaceFromSurface(destination.Get(), nullptr, nullptr, source.Get(), nullptr, nullptr,
                                       D3DX_FILTER_BOX, 0),
            S_OK);
  ASSERT_EQ(D3DXLoadSurfaceFromSurface(destination.Get(), nullptr, nullptr, source.Get(), nullptr, nullptr,
                                       D3DX_FILTER_POINT, 0xFF000000u),
            S_OK);
  EXPECT_EQ(recorder->stretchRects, 1u);
  EXPECT_EQ(source->locks.size(), 2u);

  // From system memory the device's UpdateSurface serves.
  auto staging = Plain(device, 8, 8, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM);
  auto stagingRecorded = recorder->Wrap(staging.Get());
  ASSERT_EQ(D3DXLoadSurfaceFromSurface(destination.Get(), nullptr, nullptr, stagingRecorded.Get(), nullptr, nullptr,
                                       D3DX_FILTER_LINEAR, 0),
            S_OK);
  EXPECT_EQ(recorder->updateSurfaces, 1u);
  EXPECT_TRUE(stagingRecorded->locks.empty());
}

TEST(LoadSurfaceFromSurface, ReadingALostDeviceReportsItAfterWriting) {
  TestDevice device;
  ComPtr<IDirect3DSurface9> from;
  ASSERT_EQ(device->CreateRenderTarget(4, 4, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                       from.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ASSERT_EQ(device->ColorFill(from.Get(), nullptr, 0xFF0000FFu), D3D_OK);
  auto to = Plain(device, 2, 2, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM);
  device.probe->lost = true;
  EXPECT_EQ(D3DXLoadSurfaceFromSurface(to.Get(), nullptr, nullptr, from.Get(), nullptr, nullptr, D3DX_FILTER_POINT, 0),
            D3DERR_DEVICELOST);
  device.probe->lost = false;
  std::vector<BYTE> written = ReadSurface(to.Get(), 4);
  EXPECT_EQ(written[0], 0xFF);
  EXPECT_EQ(D3DXLoadSurfaceFromSurface(to.Get(), nullptr, nullptr, from.Get(), nullptr, nullptr, D3DX_FILTER_POINT, 0),
            S_OK);
}

TEST(LoadSurfaceFromSurface, MovesPixelsWithinOneSurface) {
  TestDevice device;
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(device->CreateTexture(4, 1, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ComPtr<IDirect3DSurface9> level;
  ASSERT_EQ(texture->GetSurfaceLevel(0, level.ReleaseAndGetAddressOf()), D3D_OK);
  WriteSurface(level.Get(), {10, 20, 30, 40}, 1);
  RECT from{0, 0, 3, 1}, to{1, 0, 4, 1};
  ASSERT_EQ(D3DXLoadSurfaceFromSurface(level.Get(), nullptr, &to, level.Get(), nullptr, &from, D3DX_FILTER_POINT, 0),
            S_OK);
  EXPECT_EQ(ReadSurface(level.Get(), 1), (std::vector<BYTE>{10, 10, 20, 30}));
  EXPECT_EQ(RefCount(level.Get()), 2u);
  EXPECT_EQ(D3DXLoadSurfaceFromSurface(nullptr, nullptr, nullptr, level.Get(), nullptr, nullptr, D3DX_FILTER_POINT, 0),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXLoadSurfaceFromSurface(level.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, D3DX_FILTER_POINT, 0),
            D3DERR_INVALIDCALL);
}

TEST(LoadVolume, FromMemoryAndFromAnotherVolume) {
  TestDevice device;
  ComPtr<IDirect3DVolumeTexture9> texture;
  ASSERT_EQ(
      device->CreateVolumeTexture(2, 2, 2, 2, 0, D3DFMT_L8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ComPtr<IDirect3DVolume9> top, bottom;
  ASSERT_EQ(texture->GetVolumeLevel(0, top.ReleaseAndGetAddressOf()), D3D_OK);
  ASSERT_EQ(texture->GetVolumeLevel(1, bottom.ReleaseAndGetAddressOf()), D3D_OK);
  const BYTE source[8] = {0, 8, 16, 24, 32, 40, 48, 56};
  D3DBOX box{0, 0, 2, 2, 0, 2};
  EXPECT_EQ(D3DXLoadVolumeFromMemory(top.Get(), nullptr, nullptr, source, D3DFMT_L8, 2, 4, nullptr, nullptr,
                                     D3DX_FILTER_NONE, 0),
            D3DERR_INVALIDCALL);
  D3DBOX inverted{2, 0, 1, 2, 0, 2};
  EXPECT_EQ(D3DXLoadVolumeFromMemory(top.Get(), nullptr, nullptr, source, D3DFMT_L8, 2, 4, nullptr, &inverted,
                                     D3DX_FILTER_NONE, 0),
            D3DERR_INVALIDCALL);
  ASSERT_EQ(D3DXLoadVolumeFromMemory(top.Get(), nullptr, nullptr, source, D3DFMT_L8, 2, 4, nullptr, &box,
                                     D3DX_FILTER_NONE, 0),
            S_OK);
  ASSERT_EQ(D3DXLoadVolumeFromVolume(bottom.Get(), nullptr, nullptr, top.Get(), nullptr, nullptr, D3DX_FILTER_BOX, 0),
            S_OK);
  D3DLOCKED_BOX bits{};
  ASSERT_EQ(bottom->LockBox(&bits, nullptr, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(static_cast<BYTE*>(bits.pBits)[0], 28);  // 224 / 8
  bottom->UnlockBox();
  EXPECT_EQ(D3DXLoadVolumeFromVolume(bottom.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, D3DX_FILTER_BOX, 0),
            D3DERR_INVALIDCALL);
}

// ---- Mip filtering ----

ComPtr<IDirect3DTexture9> GrayTexture(TestDevice& device, UINT width, UINT height, UINT levels, std::mt19937& random) {
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_EQ(device->CreateTexture(width, height, levels, 0, D3DFMT_L8, D3DPOOL_MANAGED,
                                  texture.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ComPtr<IDirect3DSurface9> top;
  EXPECT_EQ(texture->GetSurfaceLevel(0, top.ReleaseAndGetAddressOf()), D3D_OK);
  std::vector<BYTE> pixels(std::size_t{width} * height);
  for (BYTE& p : pixels) p = static_cast<BYTE>(random());
  WriteSurface(top.Get(), pixels, 1);
  return texture;
}

std::vector<BYTE> Level(IDirect3DTexture9* texture, UINT level) {
  ComPtr<IDirect3DSurface9> surface;
  EXPECT_EQ(texture->GetSurfaceLevel(level, surface.ReleaseAndGetAddressOf()), D3D_OK);
  return ReadSurface(surface.Get(), 1);
}

// The integer box average of an L8 level, worked out here.
std::vector<BYTE> Halve(const std::vector<BYTE>& pixels, UINT width, UINT height) {
  std::vector<BYTE> out;
  for (UINT y = 0; y < height / 2; ++y) {
    for (UINT x = 0; x < width / 2; ++x) {
      auto at = [&](UINT px, UINT py) { return pixels[std::size_t{py} * width + px]; };
      out.push_back(static_cast<BYTE>(
          (at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) + at(2 * x + 1, 2 * y + 1) + 2) >> 2));
    }
  }
  return out;
}

TEST(FilterTexture, PowerOfTwoTexturesChainTheBoxFilterByDefault) {
  TestDevice device;
  std::mt19937 random(11);
  auto texture = GrayTexture(device, 16, 8, 0, random);
  ASSERT_EQ(texture->GetLevelCount(), 5u);
  ASSERT_EQ(D3DXFilterTexture(texture.Get(), nullptr, D3DX_DEFAULT, D3DX_DEFAULT), S_OK);
  // Each level is the integer average of the one above it (not of level 0).
  UINT width = 16, height = 8;
  for (UINT level = 1; level < 4; ++level) {
    EXPECT_EQ(Level(texture.Get(), level), Halve(Level(texture.Get(), level - 1), width, height)) << level;
    width /= 2;
    height /= 2;
  }
  // 2 x 1 into 1 x 1 averages the pair in float: within rounding of their mean.
  std::vector<BYTE> pair = Level(texture.Get(), 3);
  EXPECT_NEAR(Level(texture.Get(), 4)[0], (pair[0] + pair[1]) / 2.0, 0.5 + 1e-3);
}

TEST(FilterTexture, OtherSizesUseTheDitheredTriangleFilterByDefault) {
  TestDevice device;
  std::mt19937 first(5), second(5);
  auto byDefault = GrayTexture(device, 12, 10, 2, first);
  auto explicitly = GrayTexture(device, 12, 10, 2, second);
  ASSERT_EQ(D3DXFilterTexture(byDefault.Get(), nullptr, 0, D3DX_DEFAULT), S_OK);
  ASSERT_EQ(D3DXFilterTexture(explicitly.Get(), nullptr, 0, D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER), S_OK);
  EXPECT_EQ(Level(byDefault.Get(), 1), Level(explicitly.Get(), 1));
  EXPECT_NE(Level(byDefault.Get(), 1), Halve(Level(byDefault.Get(), 0), 12, 10));
}

TEST(FilterTexture, OddLevelHalvesFromItsTopLeftBlock) {
  TestDevice device;
  std::mt19937 random(1);
  auto texture = GrayTexture(device, 3, 3, 2, random);
  ASSERT_EQ(D3DXFilterTexture(texture.Get(), nullptr, 0, D3DX_FILTER_BOX), S_OK);
  std::vector<BYTE> top = Level(texture.Get(), 0);
  EXPECT_EQ(Level(texture.Get(), 1)[0], (top[0] + top[1] + top[3] + top[4] + 2) >> 2);
}

TEST(FilterTexture, RefusesBadTexturesAndLevels) {
  TestDevice device;
  std::mt19937 random(1);
  auto texture = GrayTexture(device, 16, 16, 5, random);
  EXPECT_EQ(D3DXFilterTexture(nullptr, nullptr, 0, D3DX_DEFAULT), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXFilterTexture(texture.Get(), nullptr, 5, D3DX_DEFAULT), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXFilterTexture(texture.Get(), nullptr, 0, 7), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXFilterTexture(texture.Get(), nullptr, 4, D3DX_DEFAULT), S_OK);  // nothing below the last level
  EXPECT_EQ(RefCount(texture.Get()), 1u);
}

TEST(FilterTexture, CubeFacesAreFilteredEachFromItsOwnTop) {
  TestDevice device;
  ComPtr<IDirect3DCubeTexture9> cube;
  ASSERT_EQ(device->CreateCubeTexture(4, 3, 0, D3DFMT_L8, D3DPOOL_MANAGED, cube.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  for (UINT face = 0; face < 6; ++face) {
    ComPtr<IDirect3DSurface9> top;
    ASSERT_EQ(cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), 0, top.ReleaseAndGetAddressOf()), D3D_OK);
    WriteSurface(top.Get(), std::vector<BYTE>(16, static_cast<BYTE>(30 * face + 10)), 1);
  }
  ASSERT_EQ(D3DXFilterTexture(cube.Get(), nullptr, 0, D3DX_FILTER_TRIANGLE), S_OK);
  for (UINT face = 0; face < 6; ++face) {
    for (UINT level = 1; level < 3; ++level) {
      ComPtr<IDirect3DSurface9> surface;
      ASSERT_EQ(cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, surface.ReleaseAndGetAddressOf()),
                D3D_OK);
      for (BYTE p : ReadSurface(surface.Get(), 1)) EXPECT_EQ(p, 30 * face + 10) << face << " " << level;
    }
  }
}

TEST(FilterTexture, VolumeTexturesHalveInDepthToo) {
  TestDevice device;
  ComPtr<IDirect3DVolumeTexture9> texture;
  ASSERT_EQ(
      device->CreateVolumeTexture(2, 2, 4, 0, 0, D3DFMT_L8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ASSERT_EQ(texture->GetLevelCount(), 3u);
  ComPtr<IDirect3DVolume9> top;
  ASSERT_EQ(texture->GetVolumeLevel(0, top.ReleaseAndGetAddressOf()), D3D_OK);
  D3DLOCKED_BOX bits{};
  ASSERT_EQ(top->LockBox(&bits, nullptr, 0), D3D_OK);
  // Slices 0-1 hold 8k and slices 2-3 hold 8k + 80, for pixel k of the slice pair.
  for (UINT z = 0; z < 4; ++z) {
    for (UINT y = 0; y < 2; ++y) {
      for (UINT x = 0; x < 2; ++x) {
        static_cast<BYTE*>(bits.pBits)[z * bits.SlicePitch + y * bits.RowPitch + x] =
            static_cast<BYTE>(8 * ((z & 1) * 4 + y * 2 + x) + (z >= 2 ? 80 : 0));
      }
    }
  }
  top->UnlockBox();
  ASSERT_EQ(D3DXFilterTexture(texture.Get(), nullptr, 0, D3DX_DEFAULT), S_OK);
  ComPtr<IDirect3DVolume9> middle, last;
  ASSERT_EQ(texture->GetVolumeLevel(1, middle.ReleaseAndGetAddressOf()), D3D_OK);
  ASSERT_EQ(texture->GetVolumeLevel(2, last.ReleaseAndGetAddressOf()), D3D_OK);
  ASSERT_EQ(middle->LockBox(&bits, nullptr, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(static_cast<BYTE*>(bits.pBits)[0], 28);  // (0 + 8 + ... + 56) / 8
  EXPECT_EQ(static_cast<BYTE*>(bits.pBits)[bits.SlicePitch], 28 + 80);
  middle->UnlockBox();
  ASSERT_EQ(last->LockBox(&bits, nullptr, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(static_cast<BYTE*>(bits.pBits)[0], 68);  // 1 x 1 x 2 into 1 x 1 x 1: (28 + 108) / 2
  last->UnlockBox();
}

}  // namespace
}  // namespace rastro::testing
