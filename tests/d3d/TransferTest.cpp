// Copies between resources: the argument rules of UpdateSurface, UpdateTexture, StretchRect,
// GetRenderTargetData and ColorFill, and that they move the right bytes.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>

#include "TestDevice.h"

namespace rastro::testing {
namespace {

// Fills a 32-bit surface so that pixel (x, y) holds (y << 16) | x + base.
void FillPattern(IDirect3DSurface9* surface, DWORD base) {
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(surface->GetDesc(&desc), D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
  for (UINT y = 0; y < desc.Height; ++y) {
    auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
    for (UINT x = 0; x < desc.Width; ++x) row[x] = (y << 16) + x + base;
  }
  ASSERT_EQ(surface->UnlockRect(), D3D_OK);
}

DWORD PixelAt(IDirect3DSurface9* surface, UINT x, UINT y) {
  D3DLOCKED_RECT locked{};
  RECT one{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x + 1), static_cast<LONG>(y + 1)};
  if (FAILED(surface->LockRect(&locked, &one, D3DLOCK_READONLY))) return 0xDEADBEEF;
  DWORD value;
  std::memcpy(&value, locked.pBits, sizeof value);
  surface->UnlockRect();
  return value;
}

ComPtr<IDirect3DSurface9> Level(IDirect3DTexture9* texture, UINT level) {
  ComPtr<IDirect3DSurface9> surface;
  texture->GetSurfaceLevel(level, surface.ReleaseAndGetAddressOf());
  return surface;
}

struct Surfaces {
  TestDevice device;
  ComPtr<IDirect3DSurface9> system, system16, offscreen, renderTarget;
  ComPtr<IDirect3DTexture9> dynamic, managed;
  Surfaces() {
    device->CreateOffscreenPlainSurface(16, 16, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, system.ReleaseAndGetAddressOf(),
                                        nullptr);
    device->CreateOffscreenPlainSurface(16, 16, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, system16.ReleaseAndGetAddressOf(),
                                        nullptr);
    device->CreateOffscreenPlainSurface(16, 16, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, offscreen.ReleaseAndGetAddressOf(),
                                        nullptr);
    device->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                               renderTarget.ReleaseAndGetAddressOf(), nullptr);
    device->CreateTexture(16, 16, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                          dynamic.ReleaseAndGetAddressOf(), nullptr);
    device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, managed.ReleaseAndGetAddressOf(), nullptr);
  }
};

TEST(UpdateSurface, CopiesARectangleFromSystemMemoryToTheDefaultPool) {
  Surfaces s;
  ASSERT_TRUE(s.system && s.offscreen);
  FillPattern(s.system.Get(), 0);
  FillPattern(s.offscreen.Get(), 0x1000);
  RECT from{2, 3, 6, 5};
  POINT to{10, 12};
  ASSERT_EQ(s.device->UpdateSurface(s.system.Get(), &from, s.offscreen.Get(), &to), D3D_OK);
  EXPECT_EQ(PixelAt(s.offscreen.Get(), 10, 12), (3u << 16) + 2);
  EXPECT_EQ(PixelAt(s.offscreen.Get(), 13, 13), (4u << 16) + 5);
  EXPECT_EQ(PixelAt(s.offscreen.Get(), 14, 13), (13u << 16) + 14 + 0x1000);  // outside: untouched
  EXPECT_EQ(PixelAt(s.offscreen.Get(), 10, 14), (14u << 16) + 10 + 0x1000);
}

TEST(UpdateSurface, ArgumentRules) {
  Surfaces s;
  auto managedLevel = Level(s.managed.Get(), 0);
  auto dynamicLevel = Level(s.dynamic.Get(), 0);
  RECT tooWide{0, 0, 17, 16};
  RECT empty{4, 4, 4, 8};
  POINT edge{10, 0};
  POINT negative{-1, 0};
  EXPECT_EQ(s.device->UpdateSurface(s.offscreen.Get(), nullptr, s.renderTarget.Get(), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(s.device->UpdateSurface(s.system.Get(), nullptr, managedLevel.Get(), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(s.device->UpdateSurface(s.system16.Get(), nullptr, s.offscreen.Get(), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(s.device->UpdateSurface(s.system.Get(), &tooWide, s.offscreen.Get(), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(s.device->UpdateSurface(s.system.Get(), &empty, s.offscreen.Get(), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(s.device->UpdateSurface(s.system.Get(), nullptr, s.offscreen.Get(), &edge), D3DERR_INVALIDCALL);
  EXPECT_EQ(s.device->UpdateSurface(s.system.Get(), nullptr, s.offscreen.Get(), &negative), D3DERR_INVALIDCALL);
  EXPECT_EQ(s.device->UpdateSurface(nullptr, nullptr, s.offscreen.Get(), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(s.device->UpdateSurface(s.system.Get(), nullptr, dynamicLevel.Get(), nullptr), D3D_OK);
  EXPECT_EQ(s.device->UpdateSurface(s.system.Get(), nullptr, s.renderTarget.Get(), nullptr), D3D_OK);
}

TEST(UpdateSurface, BlockFormatsCopyWholeBlocks) {
  TestDevice device;
  ComPtr<IDirect3DTexture9> source, destination;
  ASSERT_EQ(
      device->CreateTexture(16, 16, 1, 0, D3DFMT_DXT1, D3DPOOL_SYSTEMMEM, source.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ASSERT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_DYNAMIC, D3DFMT_DXT1, D3DPOOL_DEFAULT,
                                  destination.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(source->LockRect(0, &locked, nullptr, 0), D3D_OK);
  for (int i = 0; i < 4 * 32; ++i) static_cast<BYTE*>(locked.pBits)[i] = static_cast<BYTE>(i);
  source->UnlockRect(0);
  auto from = Level(source.Get(), 0);
  auto to = Level(destination.Get(), 0);
  RECT unaligned{2, 0, 6, 4};
  RECT block{4, 4, 8, 8};  // block (1, 1): bytes 32 + 8 .. 32 + 15
  POINT misplaced{2, 0};
  POINT origin{0, 0};
  EXPECT_EQ(device->UpdateSurface(from.Get(), &unaligned, to.Get(), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->UpdateSurface(from.Get(), &block, to.Get(), &misplaced), D3DERR_INVALIDCALL);
  ASSERT_EQ(device->UpdateSurface(from.Get(), &block, to.Get(), &origin), D3D_OK);
  ASSERT_EQ(destination->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(static_cast<BYTE*>(locked.pBits)[i], 40 + i);
  destination->UnlockRect(0);
}

TEST(UpdateTexture, MatchesTheDestinationTopLevelToTheSourceLevelOfTheSameSize) {
  TestDevice device;
  ComPtr<IDirect3DTexture9> source, destination;
  ASSERT_EQ(
      device->CreateTexture(64, 32, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, source.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);  // 64x32, 32x16, 16x8, 8x4
  ASSERT_EQ(device->CreateTexture(32, 16, 3, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                  destination.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  for (UINT level = 0; level < 4; ++level) FillPattern(Level(source.Get(), level).Get(), level * 0x100);
  ASSERT_EQ(device->UpdateTexture(source.Get(), destination.Get()), D3D_OK);
  EXPECT_EQ(PixelAt(Level(destination.Get(), 0).Get(), 31, 15), (15u << 16) + 31 + 0x100);
  EXPECT_EQ(PixelAt(Level(destination.Get(), 2).Get(), 7, 3), (3u << 16) + 7 + 0x300);
}

TEST(UpdateTexture, CopiesOnlyWhenTheSourceChangedSinceTheLastUpdate) {
  TestDevice device;
  ComPtr<IDirect3DTexture9> source, destination;
  ASSERT_EQ(
      device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, source.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ASSERT_EQ(device->CreateTexture(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                  destination.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  auto from = Level(source.Get(), 0);
  auto to = Level(destination.Get(), 0);
  FillPattern(from.Get(), 1);
  ASSERT_EQ(device->UpdateTexture(source.Get(), destination.Get()), D3D_OK);
  EXPECT_EQ(PixelAt(to.Get(), 0, 0), 1u);
  // Written through a read-only lock: not a change the runtime knows of.
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(source->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  *static_cast<DWORD*>(locked.pBits) = 2;
  source->UnlockRect(0);
  ASSERT_EQ(device->UpdateTexture(source.Get(), destination.Get()), D3D_OK);
  EXPECT_EQ(PixelAt(to.Get(), 0, 0), 1u);
  ASSERT_EQ(source->AddDirtyRect(nullptr), D3D_OK);
  ASSERT_EQ(device->UpdateTexture(source.Get(), destination.Get()), D3D_OK);
  EXPECT_EQ(PixelAt(to.Get(), 0, 0), 2u);
}

TEST(UpdateTexture, ArgumentRules) {
  TestDevice device;
  ComPtr<IDirect3DTexture9> system, systemSmall, systemOther, managed, target;
  ComPtr<IDirect3DCubeTexture9> cube;
  device->CreateTexture(32, 32, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, system.ReleaseAndGetAddressOf(), nullptr);
  device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, systemSmall.ReleaseAndGetAddressOf(),
                        nullptr);
  device->CreateTexture(32, 32, 0, 0, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, systemOther.ReleaseAndGetAddressOf(), nullptr);
  device->CreateTexture(32, 32, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, managed.ReleaseAndGetAddressOf(), nullptr);
  device->CreateTexture(32, 32, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, target.ReleaseAndGetAddressOf(), nullptr);
  device->CreateCubeTexture(32, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, cube.ReleaseAndGetAddressOf(), nullptr);
  EXPECT_EQ(device->UpdateTexture(system.Get(), target.Get()), D3D_OK);
  EXPECT_EQ(device->UpdateTexture(managed.Get(), target.Get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->UpdateTexture(system.Get(), managed.Get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->UpdateTexture(systemOther.Get(), target.Get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->UpdateTexture(systemSmall.Get(), target.Get()), D3DERR_INVALIDCALL);  // no 32x32 level
  EXPECT_EQ(device->UpdateTexture(system.Get(), cube.Get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->UpdateTexture(nullptr, target.Get()), D3DERR_INVALIDCALL);
  D3DLOCKED_RECT locked{};
  system->AddDirtyRect(nullptr);
  ASSERT_EQ(system->LockRect(2, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(device->UpdateTexture(system.Get(), target.Get()), D3DERR_INVALIDCALL);  // a level is locked
  system->UnlockRect(2);
}

// A source texture with one face or level locked is refused, dirty or not, and also when the
// locked level is not one the destination takes.
TEST(UpdateTexture, RefusesALockedSourceWhetherOrNotItIsDirty) {
  TestDevice device;
  ComPtr<IDirect3DTexture9> flat, flatTarget;
  ComPtr<IDirect3DCubeTexture9> cube, cubeTarget;
  ComPtr<IDirect3DVolumeTexture9> volume, volumeTarget;
  // Sources one level larger than their destinations: the sources' level 0 is never copied.
  ASSERT_EQ(
      device->CreateTexture(16, 16, 3, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, flat.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ASSERT_EQ(
      device->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, flatTarget.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ASSERT_EQ(
      device->CreateCubeTexture(16, 3, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, cube.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ASSERT_EQ(device->CreateCubeTexture(8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, cubeTarget.ReleaseAndGetAddressOf(),
                                      nullptr),
            D3D_OK);
  ASSERT_EQ(device->CreateVolumeTexture(8, 8, 8, 3, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                        volume.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ASSERT_EQ(device->CreateVolumeTexture(4, 4, 4, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                        volumeTarget.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  D3DLOCKED_RECT rect{};
  D3DLOCKED_BOX box{};
  struct Case {
    const char* name;
    IDirect3DBaseTexture9* source;
    IDirect3DBaseTexture9* destination;
    std::function<HRESULT(UINT level, DWORD flags)> lock;
    std::function<HRESULT(UINT level)> unlock;
  };
  const Case cases[] = {
      {"texture", flat.Get(), flatTarget.Get(),
       [&](UINT level, DWORD flags) { return flat->LockRect(level, &rect, nullptr, flags); },
       [&](UINT level) { return flat->UnlockRect(level); }},
      {"cube face 5", cube.Get(), cubeTarget.Get(),
       [&](UINT level, DWORD flags) {
         return cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, level, &rect, nullptr, flags);
       },
       [&](UINT level) { return cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, level); }},
      {"volume texture", volume.Get(), volumeTarget.Get(),
       [&](UINT level, DWORD flags) { return volume->LockBox(level, &box, nullptr, flags); },
       [&](UINT level) { return volume->UnlockBox(level); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(device->UpdateTexture(c.source, c.destination), D3D_OK);  // new textures are dirty
    for (UINT level : {0u, 1u, 2u}) {
      // Clean: a read-only lock changes nothing, yet the memory is still the caller's.
      ASSERT_EQ(c.lock(level, D3DLOCK_READONLY), D3D_OK);
      EXPECT_EQ(device->UpdateTexture(c.source, c.destination), D3DERR_INVALIDCALL) << "clean, level " << level;
      ASSERT_EQ(c.unlock(level), D3D_OK);
      // Dirty: a write lock marks the texture changed.
      ASSERT_EQ(c.lock(level, 0), D3D_OK);
      EXPECT_EQ(device->UpdateTexture(c.source, c.destination), D3DERR_INVALIDCALL) << "dirty, level " << level;
      ASSERT_EQ(c.unlock(level), D3D_OK);
      EXPECT_EQ(device->UpdateTexture(c.source, c.destination), D3D_OK) << "unlocked, level " << level;
    }
  }
}

TEST(StretchRect, CopiesBetweenDefaultPoolSurfaces) {
  Surfaces s;
  ComPtr<IDirect3DSurface9> target;
  ASSERT_EQ(s.device->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                         target.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  FillPattern(s.renderTarget.Get(), 0);
  RECT from{4, 4, 8, 8};
  RECT to{1, 2, 5, 6};
  ASSERT_EQ(s.device->StretchRect(s.renderTarget.Get(), &from, target.Get(), &to, D3DTEXF_NONE), D3D_OK);
  EXPECT_EQ(PixelAt(target.Get(), 1, 2), (4u << 16) + 4);
  EXPECT_EQ(PixelAt(target.Get(), 4, 5), (7u << 16) + 7);
  // Halving with point sampling takes every other pixel.
  ASSERT_EQ(s.device->StretchRect(s.renderTarget.Get(), nullptr, target.Get(), nullptr, D3DTEXF_POINT), D3D_OK);
  EXPECT_EQ(PixelAt(target.Get(), 3, 5), (11u << 16) + 7);
}

TEST(StretchRect, LinearFilteringAveragesNeighbours) {
  Surfaces s;
  ComPtr<IDirect3DSurface9> target;
  ASSERT_EQ(s.device->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                         target.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  // Columns alternate 0x00 and 0x80 in every channel: halving averages each pair to 0x40.
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(s.renderTarget->LockRect(&locked, nullptr, 0), D3D_OK);
  for (UINT y = 0; y < 16; ++y) {
    auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
    for (UINT x = 0; x < 16; ++x) row[x] = x % 2 ? 0x80808080u : 0u;
  }
  s.renderTarget->UnlockRect();
  ASSERT_EQ(s.device->StretchRect(s.renderTarget.Get(), nullptr, target.Get(), nullptr, D3DTEXF_LINEAR), D3D_OK);
  EXPECT_EQ(PixelAt(target.Get(), 3, 3), 0x40404040u);
}

TEST(StretchRect, ArgumentRules) {
  Surfaces s;
  auto managedLevel = Level(s.managed.Get(), 0);
  auto dynamicLevel = Level(s.dynamic.Get(), 0);
  ComPtr<IDirect3DTexture9> renderTexture;
  ASSERT_EQ(s.device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                    renderTexture.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  auto renderLevel = Level(renderTexture.Get(), 0);
  ComPtr<IDirect3DSurface9> otherFormat, depth, depth2;
  s.device->CreateRenderTarget(16, 16, D3DFMT_R5G6B5, D3DMULTISAMPLE_NONE, 0, FALSE,
                               otherFormat.ReleaseAndGetAddressOf(), nullptr);
  s.device->CreateDepthStencilSurface(16, 16, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                      depth.ReleaseAndGetAddressOf(), nullptr);
  s.device->CreateDepthStencilSurface(16, 16, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                      depth2.ReleaseAndGetAddressOf(), nullptr);
  RECT outside{0, 0, 17, 16};
  auto stretch = [&](IDirect3DSurface9* from, IDirect3DSurface9* to, const RECT* fromRect = nullptr,
                     D3DTEXTUREFILTERTYPE filter = D3DTEXF_NONE) {
    return s.device->StretchRect(from, fromRect, to, nullptr, filter);
  };
  EXPECT_EQ(stretch(s.system.Get(), s.renderTarget.Get()), D3DERR_INVALIDCALL);        // system memory source
  EXPECT_EQ(stretch(s.renderTarget.Get(), managedLevel.Get()), D3DERR_INVALIDCALL);    // managed destination
  EXPECT_EQ(stretch(s.renderTarget.Get(), dynamicLevel.Get()), D3DERR_INVALIDCALL);    // plain texture destination
  EXPECT_EQ(stretch(s.renderTarget.Get(), s.offscreen.Get()), D3DERR_INVALIDCALL);     // target to offscreen plain
  EXPECT_EQ(stretch(s.renderTarget.Get(), s.renderTarget.Get()), D3DERR_INVALIDCALL);  // one surface
  EXPECT_EQ(stretch(s.renderTarget.Get(), otherFormat.Get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(stretch(s.renderTarget.Get(), renderLevel.Get(), &outside), D3DERR_INVALIDCALL);
  EXPECT_EQ(stretch(s.renderTarget.Get(), renderLevel.Get(), nullptr, D3DTEXF_ANISOTROPIC), D3DERR_INVALIDCALL);
  EXPECT_EQ(stretch(s.renderTarget.Get(), renderLevel.Get()), D3D_OK);
  EXPECT_EQ(stretch(s.offscreen.Get(), s.renderTarget.Get()), D3D_OK);
  EXPECT_EQ(stretch(renderLevel.Get(), s.renderTarget.Get()), D3D_OK);
  EXPECT_EQ(stretch(depth.Get(), depth2.Get()), D3D_OK);
  EXPECT_EQ(stretch(depth.Get(), depth2.Get(), nullptr, D3DTEXF_POINT), D3DERR_INVALIDCALL);
  ComPtr<IDirect3DSurface9> offscreen2;
  s.device->CreateOffscreenPlainSurface(16, 16, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, offscreen2.ReleaseAndGetAddressOf(),
                                        nullptr);
  EXPECT_EQ(stretch(s.offscreen.Get(), offscreen2.Get()), D3D_OK);
  // Between offscreen plain surfaces only same-size copies.
  const RECT quarter{0, 0, 8, 8};
  EXPECT_EQ(stretch(s.offscreen.Get(), offscreen2.Get(), &quarter), D3DERR_INVALIDCALL);
  EXPECT_EQ(s.device->StretchRect(s.offscreen.Get(), &quarter, offscreen2.Get(), &quarter, D3DTEXF_NONE), D3D_OK);
  EXPECT_EQ(stretch(s.offscreen.Get(), s.renderTarget.Get(), &quarter), D3D_OK);  // a render target may stretch
}

TEST(StretchRect, DiscardableDepthBuffersDoNotCopy) {
  D3DPRESENT_PARAMETERS parameters = FullScreenParameters();
  parameters.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
  TestDevice device(CapableProfile(), parameters);
  ASSERT_EQ(device.created, D3D_OK);
  ComPtr<IDirect3DSurface9> kept, kept2, discardable, automatic;
  for (auto [surface, discard] : {std::pair{&kept, FALSE}, {&kept2, FALSE}, {&discardable, TRUE}}) {
    ASSERT_EQ(device->CreateDepthStencilSurface(640, 480, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, discard,
                                                surface->ReleaseAndGetAddressOf(), nullptr),
              D3D_OK);
  }
  ASSERT_EQ(device->GetDepthStencilSurface(automatic.ReleaseAndGetAddressOf()), D3D_OK);
  auto copy = [&](IDirect3DSurface9* from, IDirect3DSurface9* to) {
    return device->StretchRect(from, nullptr, to, nullptr, D3DTEXF_NONE);
  };
  EXPECT_EQ(copy(kept.Get(), kept2.Get()), D3D_OK);
  EXPECT_EQ(copy(kept.Get(), discardable.Get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(copy(discardable.Get(), kept.Get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(copy(automatic.Get(), kept.Get()), D3DERR_INVALIDCALL);  // created with the discard flag
  EXPECT_EQ(copy(kept.Get(), automatic.Get()), D3DERR_INVALIDCALL);
}

TEST(GetRenderTargetData, CopiesARenderTargetIntoSystemMemory) {
  Surfaces s;
  FillPattern(s.renderTarget.Get(), 7);
  ASSERT_EQ(s.device->GetRenderTargetData(s.renderTarget.Get(), s.system.Get()), D3D_OK);
  EXPECT_EQ(PixelAt(s.system.Get(), 15, 9), (9u << 16) + 15 + 7);
  EXPECT_EQ(s.device->GetRenderTargetData(s.offscreen.Get(), s.system.Get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(s.device->GetRenderTargetData(s.renderTarget.Get(), s.offscreen.Get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(s.device->GetRenderTargetData(s.renderTarget.Get(), s.system16.Get()), D3DERR_INVALIDCALL);
}

TEST(ColorFill, WritesTheColourInTheSurfacesFormat) {
  TestDevice device;
  struct {
    D3DFORMAT format;
    D3DCOLOR color;
    DWORD expected;
    UINT bytes;
  } cases[] = {
      {D3DFMT_A8R8G8B8, 0x80FF4020, 0x80FF4020, 4}, {D3DFMT_R5G6B5, 0xFFFF0000, 0xF800, 2},
      {D3DFMT_R5G6B5, 0xFF00FF00, 0x07E0, 2},       {D3DFMT_A1R5G5B5, 0x80000000, 0x8000, 2},
      {D3DFMT_A4R4G4B4, 0xFF0000FF, 0xF00F, 2},
  };
  for (const auto& c : cases) {
    ComPtr<IDirect3DSurface9> surface;
    ASSERT_EQ(
        device->CreateOffscreenPlainSurface(4, 4, c.format, D3DPOOL_DEFAULT, surface.ReleaseAndGetAddressOf(), nullptr),
        D3D_OK);
    RECT part{1, 1, 3, 3};
    ASSERT_EQ(device->ColorFill(surface.Get(), &part, c.color), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    auto at = [&](int x, int y) {
      DWORD value = 0;
      std::memcpy(&value, static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * c.bytes, c.bytes);
      return value;
    };
    EXPECT_EQ(at(2, 2), c.expected) << c.format;
    EXPECT_EQ(at(0, 0), 0u);
    EXPECT_EQ(at(3, 1), 0u);
    surface->UnlockRect();
  }
  // Studio-range BT.601 worked by hand: red gives Y = trunc(65.481 + 0.5) + 16 = 81,
  // U = trunc(-37.797 + 0.5) + 128 = 91, V = trunc(112 + 0.5) + 128 = 240; white gives
  // Y = trunc(219 + 0.5) + 16 = 235 and no colour difference.
  struct {
    D3DFORMAT format;
    D3DCOLOR color;
    std::array<BYTE, 4> group;
  } pairs[] = {
      {D3DFMT_YUY2, 0xFFFF0000, {81, 91, 81, 240}},
      {D3DFMT_UYVY, 0xFFFF0000, {91, 81, 240, 81}},
      {D3DFMT_YUY2, 0xFFFFFFFF, {235, 128, 235, 128}},
      {D3DFMT_UYVY, 0x00000000, {128, 16, 128, 16}},
  };
  for (const auto& c : pairs) {
    ComPtr<IDirect3DSurface9> surface;
    ASSERT_EQ(
        device->CreateOffscreenPlainSurface(4, 2, c.format, D3DPOOL_DEFAULT, surface.ReleaseAndGetAddressOf(), nullptr),
        D3D_OK);
    ASSERT_EQ(device->ColorFill(surface.Get(), nullptr, c.color), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::array<BYTE, 4> group{};
    std::memcpy(group.data(), static_cast<BYTE*>(locked.pBits) + locked.Pitch + 4, 4);
    surface->UnlockRect();
    EXPECT_EQ(group, c.group) << c.format << " " << std::hex << c.color;
  }
  ComPtr<IDirect3DSurface9> system;
  device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, system.ReleaseAndGetAddressOf(),
                                      nullptr);
  EXPECT_EQ(device->ColorFill(system.Get(), nullptr, 0), D3DERR_INVALIDCALL);
  ComPtr<IDirect3DSurface9> block;
  device->CreateOffscreenPlainSurface(4, 4, D3DFMT_DXT1, D3DPOOL_DEFAULT, block.ReleaseAndGetAddressOf(), nullptr);
  EXPECT_EQ(device->ColorFill(block.Get(), nullptr, 0), D3DERR_INVALIDCALL);
}

}  // namespace
}  // namespace rastro::testing
