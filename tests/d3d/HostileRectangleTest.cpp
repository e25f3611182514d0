// Rectangles, points and boxes at the ends of their integer range, handed to every call that
// copies, fills, clears or locks. Each must be refused (or, for Clear, clipped) without
// arithmetic that overflows; the sanitizer build stops on any that does.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "TestDevice.h"

namespace rastro::testing {
namespace {

constexpr LONG kMax = INT_MAX;
constexpr LONG kMin = INT_MIN;

// None of these lies inside a 16 x 16 surface.
const std::vector<RECT> kHostileRects{
    {kMax - 1, kMax - 1, kMax, kMax},
    {kMax, kMax, kMax, kMax},
    {kMin, kMin, kMin + 4, kMin + 4},
    {kMin, 0, kMax, 4},
    {0, kMin, 4, kMax},
    {0, 0, kMax, kMax},
    {kMax, kMax, kMin, kMin},
    {4, 4, kMin, kMin},
    {-4, -4, 0, 0},
    {kMin, kMin, kMax, kMax},
    {12, 12, kMax, kMax},
    {kMax - 3, 0, kMax + 0, 4},
};

const std::vector<POINT> kHostilePoints{
    {kMax - 1, kMax - 1}, {kMax, kMax}, {kMax - 3, 0}, {0, kMax - 3}, {kMin, kMin}, {kMin, 0}, {0, kMin}, {-1, -1},
};

constexpr UINT kUintMax = UINT_MAX;
const std::vector<D3DBOX> kHostileBoxes{
    {kUintMax - 1, kUintMax - 1, kUintMax, kUintMax, 0, 1},
    {0, 0, kUintMax, kUintMax, 0, 1},
    {0, 0, 4, 4, kUintMax - 1, kUintMax},
    {kUintMax, kUintMax, 0, 0, 0, 1},
    {4, 4, 0, 0, 0, 1},
    {0, 0, 4, 4, 3, 1},
    {0, 0, 4, 4, 0, kUintMax},
};

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

struct Resources {
  TestDevice device;
  ComPtr<IDirect3DSurface9> system, offscreen, renderTarget, renderTarget2;
  ComPtr<IDirect3DTexture9> texture;
  ComPtr<IDirect3DCubeTexture9> cube;
  ComPtr<IDirect3DVolumeTexture9> volume;
  ComPtr<IDirect3DVolume9> slice;

  Resources() {
    EXPECT_EQ(device->CreateOffscreenPlainSurface(16, 16, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                  system.ReleaseAndGetAddressOf(), nullptr),
              D3D_OK);
    EXPECT_EQ(device->CreateOffscreenPlainSurface(16, 16, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                                  offscreen.ReleaseAndGetAddressOf(), nullptr),
              D3D_OK);
    for (auto* target : {&renderTarget, &renderTarget2}) {
      EXPECT_EQ(device->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                           target->ReleaseAndGetAddressOf(), nullptr),
                D3D_OK);
    }
    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(),
                                    nullptr),
              D3D_OK);
    EXPECT_EQ(
        device->CreateCubeTexture(16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.ReleaseAndGetAddressOf(), nullptr),
        D3D_OK);
    EXPECT_EQ(device->CreateVolumeTexture(16, 16, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                          volume.ReleaseAndGetAddressOf(), nullptr),
              D3D_OK);
    if (volume) volume->GetVolumeLevel(0, slice.ReleaseAndGetAddressOf());
  }
};

TEST(HostileRectangles, EveryCopyFillAndLockRefusesThem) {
  Resources r;
  ASSERT_TRUE(r.system && r.offscreen && r.renderTarget && r.renderTarget2 && r.texture && r.cube && r.slice);
  const RECT whole{0, 0, 16, 16};
  const RECT corner{0, 0, 4, 4};
  D3DLOCKED_RECT lockedRect{};
  const std::vector<std::pair<const char*, std::function<HRESULT(const RECT&)>>> rectCalls{
      {"UpdateSurface source",
       [&](const RECT& rect) {
         const POINT origin{0, 0};
         return r.device->UpdateSurface(r.system.Get(), &rect, r.offscreen.Get(), &origin);
       }},
      {"StretchRect source",
       [&](const RECT& rect) {
         return r.device->StretchRect(r.renderTarget.Get(), &rect, r.renderTarget2.Get(), &whole, D3DTEXF_NONE);
       }},
      {"StretchRect destination",
       [&](const RECT& rect) {
         return r.device->StretchRect(r.renderTarget.Get(), &whole, r.renderTarget2.Get(), &rect, D3DTEXF_LINEAR);
       }},
      {"ColorFill", [&](const RECT& rect) { return r.device->ColorFill(r.offscreen.Get(), &rect, 0xFF00FF00); }},
      {"IDirect3DSurface9::LockRect", [&](const RECT& rect) { return r.system->LockRect(&lockedRect, &rect, 0); }},
      {"IDirect3DTexture9::LockRect", [&](const RECT& rect) { return r.texture->LockRect(0, &lockedRect, &rect, 0); }},
      {"IDirect3DCubeTexture9::LockRect",
       [&](const RECT& rect) { return r.cube->LockRect(D3DCUBEMAP_FACE_POSITIVE_Y, 0, &lockedRect, &rect, 0); }},
      {"IDirect3DTexture9::AddDirtyRect", [&](const RECT& rect) { return r.texture->AddDirtyRect(&rect); }},
      {"IDirect3DCubeTexture9::AddDirtyRect",
       [&](const RECT& rect) { return r.cube->AddDirtyRect(D3DCUBEMAP_FACE_NEGATIVE_X, &rect); }},
  };
  for (const auto& [call, attempt] : rectCalls) {
    for (const RECT& rect : kHostileRects) {
      EXPECT_EQ(attempt(rect), D3DERR_INVALIDCALL) << call << " with " << Describe(rect);
    }
  }

  for (const POINT& point : kHostilePoints) {
    EXPECT_EQ(r.device->UpdateSurface(r.system.Get(), &corner, r.offscreen.Get(), &point), D3DERR_INVALIDCALL)
        << "UpdateSurface to " << point.x << "," << point.y;
    EXPECT_EQ(r.device->UpdateSurface(r.system.Get(), nullptr, r.offscreen.Get(), &point), D3DERR_INVALIDCALL)
        << "UpdateSurface of the whole surface to " << point.x << "," << point.y;
  }

  D3DLOCKED_BOX lockedBox{};
  for (const D3DBOX& box : kHostileBoxes) {
    const std::string what = std::to_string(box.Left) + "," + std::to_string(box.Top) + "," +
                             std::to_string(box.Right) + "," + std::to_string(box.Bottom) + "," +
                             std::to_string(box.Front) + "," + std::to_string(box.Back);
    EXPECT_EQ(r.slice->LockBox(&lockedBox, &box, 0), D3DERR_INVALIDCALL) << "IDirect3DVolume9::LockBox " << what;
    EXPECT_EQ(r.volume->LockBox(0, &lockedBox, &box, 0), D3DERR_INVALIDCALL)
        << "IDirect3DVolumeTexture9::LockBox " << what;
    EXPECT_EQ(r.volume->AddDirtyBox(&box), D3DERR_INVALIDCALL) << "IDirect3DVolumeTexture9::AddDirtyBox " << what;
  }

  // Nothing was left locked by a refused call.
  EXPECT_EQ(r.system->LockRect(&lockedRect, nullptr, 0), D3D_OK);
  EXPECT_EQ(r.system->UnlockRect(), D3D_OK);
}

TEST(HostileRectangles, ClearClipsThemToTheViewport) {
  TestDevice device;
  // Rectangles reaching past both ends of the range cover the whole target once clipped; those
  // entirely outside clear nothing.
  const std::vector<std::pair<D3DRECT, bool>> cases{
      {{kMin, kMin, kMax, kMax}, true},
      {{kMin, kMin, kMin + 4, kMin + 4}, false},
      {{kMax - 1, kMax - 1, kMax, kMax}, false},
      {{kMax, kMax, kMin, kMin}, false},
      {{0, 0, kMax, kMax}, true},
      {{kMin, 0, 4, 4}, true},
  };
  for (const auto& [rect, clears] : cases) {
    const auto before = device.probe->clears;
    EXPECT_EQ(device->Clear(1, &rect, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device.probe->clears - before, clears ? 1u : 0u)
        << rect.x1 << "," << rect.y1 << "," << rect.x2 << "," << rect.y2;
  }
}

}  // namespace
}  // namespace rastro::testing
