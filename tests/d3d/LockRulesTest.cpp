// The lock rules callers rely on: which resources lock, which flags and rectangles are
// accepted, and that a lock is exclusive.
#include <gtest/gtest.h>

#include "TestDevice.h"

namespace rastro::testing {
namespace {

struct PoolCase {
  const char* name;
  DWORD usage;
  D3DPOOL pool;
  HRESULT lock;
};

class TexturePoolLock : public ::testing::TestWithParam<PoolCase> {};

TEST_P(TexturePoolLock, LockableOnlyOutsideTheDefaultPoolOrWhenDynamic) {
  const PoolCase& c = GetParam();
  TestDevice device;
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(
      device->CreateTexture(64, 64, 1, c.usage, D3DFMT_A8R8G8B8, c.pool, texture.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), c.lock);
  ComPtr<IDirect3DSurface9> level;
  ASSERT_EQ(texture->GetSurfaceLevel(0, level.ReleaseAndGetAddressOf()), D3D_OK);
  if (SUCCEEDED(c.lock)) {
    EXPECT_NE(locked.pBits, nullptr);
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(level->LockRect(&locked, nullptr, 0), D3D_OK);  // the level locks the same way
    EXPECT_EQ(level->UnlockRect(), D3D_OK);
  } else {
    EXPECT_EQ(level->LockRect(&locked, nullptr, 0), c.lock);
  }
}

INSTANTIATE_TEST_SUITE_P(Pools, TexturePoolLock,
                         ::testing::Values(PoolCase{"Default", 0, D3DPOOL_DEFAULT, D3DERR_INVALIDCALL},
                                           PoolCase{"DefaultDynamic", D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT, D3D_OK},
                                           PoolCase{"DefaultRenderTarget", D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT,
                                                    D3DERR_INVALIDCALL},
                                           PoolCase{"Managed", 0, D3DPOOL_MANAGED, D3D_OK},
                                           PoolCase{"SystemMemory", 0, D3DPOOL_SYSTEMMEM, D3D_OK},
                                           PoolCase{"Scratch", 0, D3DPOOL_SCRATCH, D3D_OK}),
                         [](const auto& test) { return test.param.name; });

TEST(LockFlags, DiscardOnlyOnDynamicResourcesAndNeverWithReadOnly) {
  TestDevice device;
  ComPtr<IDirect3DTexture9> managed, dynamic;
  ASSERT_EQ(
      device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, managed.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ASSERT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                  dynamic.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(managed->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
  EXPECT_EQ(dynamic->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD | D3DLOCK_READONLY), D3DERR_INVALIDCALL);
  EXPECT_EQ(managed->LockRect(0, &locked, nullptr, D3DLOCK_NOOVERWRITE), D3DERR_INVALIDCALL);
  ASSERT_EQ(dynamic->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
  EXPECT_EQ(dynamic->UnlockRect(0), D3D_OK);
  ASSERT_EQ(managed->LockRect(0, &locked, nullptr, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK), D3D_OK);
  EXPECT_EQ(managed->UnlockRect(0), D3D_OK);
}

TEST(LockExclusivity, ALockedLevelCannotBeLockedAgainUntilUnlocked) {
  TestDevice device;
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(
      device->CreateTexture(16, 16, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3DERR_INVALIDCALL);
  EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3D_OK);  // another level is free
  EXPECT_EQ(texture->UnlockRect(1), D3D_OK);
  EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
  EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);
  EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
  EXPECT_EQ(texture->LockRect(2, &locked, nullptr, 0), D3DERR_INVALIDCALL);  // no such level
  EXPECT_EQ(texture->LockRect(0, nullptr, nullptr, 0), D3DERR_INVALIDCALL);
}

struct RectCase {
  D3DFORMAT format;
  UINT width, height, level;
  RECT rect;
  HRESULT expected;
};

class LockRectangle : public ::testing::TestWithParam<RectCase> {};

TEST_P(LockRectangle, MustLieInsideAndStartOnBlockBoundaries) {
  const RectCase& c = GetParam();
  TestDevice device;
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(device->CreateTexture(c.width, c.height, c.level + 1, 0, c.format, D3DPOOL_SCRATCH,
                                  texture.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(texture->LockRect(c.level, &locked, &c.rect, 0), c.expected);
  if (SUCCEEDED(c.expected)) {
    EXPECT_EQ(texture->UnlockRect(c.level), D3D_OK);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rectangles, LockRectangle,
    ::testing::Values(RectCase{D3DFMT_A8R8G8B8, 64, 64, 0, {0, 0, 64, 64}, D3D_OK},
                      RectCase{D3DFMT_A8R8G8B8, 64, 64, 0, {63, 63, 64, 64}, D3D_OK},
                      RectCase{D3DFMT_A8R8G8B8, 64, 64, 0, {0, 0, 65, 64}, D3DERR_INVALIDCALL},
                      RectCase{D3DFMT_A8R8G8B8, 64, 64, 0, {0, 0, 64, 65}, D3DERR_INVALIDCALL},
                      RectCase{D3DFMT_A8R8G8B8, 64, 64, 0, {-1, 0, 8, 8}, D3DERR_INVALIDCALL},
                      RectCase{D3DFMT_A8R8G8B8, 64, 64, 0, {9, 0, 8, 8}, D3DERR_INVALIDCALL},
                      RectCase{D3DFMT_A8R8G8B8, 64, 64, 1, {0, 0, 33, 32}, D3DERR_INVALIDCALL},
                      RectCase{D3DFMT_DXT1, 16, 16, 0, {4, 4, 8, 8}, D3D_OK},
                      RectCase{D3DFMT_DXT1, 16, 16, 0, {1, 0, 4, 4}, D3DERR_INVALIDCALL},
                      RectCase{D3DFMT_DXT1, 16, 16, 0, {0, 2, 4, 4}, D3DERR_INVALIDCALL},
                      RectCase{D3DFMT_DXT5, 16, 16, 0, {4, 4, 6, 8}, D3DERR_INVALIDCALL},
                      RectCase{D3DFMT_DXT5, 12, 8, 1, {4, 0, 6, 4}, D3D_OK},  // 6 x 4 level: ends at the edge
                      RectCase{D3DFMT_DXT5, 12, 8, 2, {0, 0, 3, 2}, D3D_OK},  // 3 x 2 level: one partial block
                      RectCase{D3DFMT_YUY2, 8, 2, 0, {2, 0, 6, 2}, D3D_OK},
                      RectCase{D3DFMT_YUY2, 8, 2, 0, {3, 0, 6, 2}, D3DERR_INVALIDCALL},
                      RectCase{D3DFMT_UYVY, 7, 2, 0, {4, 0, 7, 1}, D3D_OK},  // odd width: ends at the edge
                      // Empty rectangles lock nothing.
                      RectCase{D3DFMT_A8R8G8B8, 64, 64, 0, {8, 8, 8, 16}, D3DERR_INVALIDCALL},
                      RectCase{D3DFMT_A8R8G8B8, 64, 64, 0, {8, 8, 16, 8}, D3DERR_INVALIDCALL},
                      RectCase{D3DFMT_A8R8G8B8, 64, 64, 0, {64, 64, 64, 64}, D3DERR_INVALIDCALL},
                      RectCase{D3DFMT_DXT1, 16, 16, 0, {4, 4, 4, 8}, D3DERR_INVALIDCALL}));

TEST(SurfaceLock, RenderTargetsLockOnlyWhenCreatedLockable) {
  TestDevice device;
  ComPtr<IDirect3DSurface9> plain, lockable;
  ASSERT_EQ(device->CreateRenderTarget(32, 32, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                       plain.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ASSERT_EQ(device->CreateRenderTarget(32, 32, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                       lockable.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(plain->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
  ASSERT_EQ(lockable->LockRect(&locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, 128);
  EXPECT_EQ(lockable->UnlockRect(), D3D_OK);
}

TEST(SurfaceLock, BackBufferLocksOnlyWithTheLockableFlag) {
  for (DWORD flags : {DWORD{0}, D3DPRESENTFLAG_LOCKABLE_BACKBUFFER}) {
    D3DPRESENT_PARAMETERS parameters = FullScreenParameters();
    parameters.Flags = flags;
    TestDevice device(CapableProfile(), parameters);
    ASSERT_EQ(device.created, D3D_OK);
    ComPtr<IDirect3DSurface9> backBuffer;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf()), D3D_OK);
    D3DLOCKED_RECT locked{};
    HRESULT hr = backBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    EXPECT_EQ(hr, flags ? D3D_OK : D3DERR_INVALIDCALL);
    if (SUCCEEDED(hr)) backBuffer->UnlockRect();
  }
}

TEST(SurfaceLock, DepthBuffersLockOnlyInLockableFormats) {
  DeviceProfile profile = CapableProfile();
  profile.Support(D3DRTYPE_SURFACE, D3DFMT_D16_LOCKABLE, D3DUSAGE_DEPTHSTENCIL);
  TestDevice device(profile);
  for (auto [format, expected] :
       {std::pair{D3DFMT_D24S8, D3DERR_INVALIDCALL}, std::pair{D3DFMT_D16_LOCKABLE, D3D_OK}}) {
    ComPtr<IDirect3DSurface9> depth;
    ASSERT_EQ(device->CreateDepthStencilSurface(16, 16, format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                depth.ReleaseAndGetAddressOf(), nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(depth->LockRect(&locked, nullptr, 0), expected);
    if (SUCCEEDED(expected)) depth->UnlockRect();
  }
}

TEST(SurfaceLock, OffscreenPlainSurfacesLockInEveryPool) {
  TestDevice device;
  for (D3DPOOL pool : {D3DPOOL_DEFAULT, D3DPOOL_SYSTEMMEM, D3DPOOL_SCRATCH}) {
    ComPtr<IDirect3DSurface9> surface;
    ASSERT_EQ(
        device->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, pool, surface.ReleaseAndGetAddressOf(), nullptr),
        D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(surface->UnlockRect(), D3D_OK);
  }
  ComPtr<IDirect3DSurface9> managed;
  EXPECT_EQ(device->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED,
                                                managed.ReleaseAndGetAddressOf(), nullptr),
            D3DERR_INVALIDCALL);
}

TEST(VolumeLock, BoxMustLieInsideAndDefaultPoolNeedsDynamic) {
  TestDevice device;
  ComPtr<IDirect3DVolumeTexture9> managed, fixed, dynamic;
  ASSERT_EQ(device->CreateVolumeTexture(8, 8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                        managed.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ASSERT_EQ(device->CreateVolumeTexture(8, 8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, fixed.ReleaseAndGetAddressOf(),
                                        nullptr),
            D3D_OK);
  ASSERT_EQ(device->CreateVolumeTexture(8, 8, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                        dynamic.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  D3DLOCKED_BOX locked{};
  EXPECT_EQ(fixed->LockBox(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(dynamic->LockBox(0, &locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
  EXPECT_EQ(dynamic->UnlockBox(0), D3D_OK);
  D3DBOX inside{1, 2, 3, 4, 1, 4};
  ASSERT_EQ(managed->LockBox(0, &locked, &inside, 0), D3D_OK);
  D3DLOCKED_BOX whole{};
  EXPECT_EQ(managed->LockBox(0, &whole, nullptr, 0), D3DERR_INVALIDCALL);  // still locked
  EXPECT_EQ(managed->UnlockBox(0), D3D_OK);
  ASSERT_EQ(managed->LockBox(0, &whole, nullptr, 0), D3D_OK);
  EXPECT_EQ(managed->UnlockBox(0), D3D_OK);
  EXPECT_EQ(static_cast<BYTE*>(locked.pBits) - static_cast<BYTE*>(whole.pBits), 1 * 256 + 2 * 32 + 1 * 4);
  for (D3DBOX outside : {D3DBOX{0, 0, 9, 8, 0, 4}, D3DBOX{0, 0, 8, 8, 0, 5}, D3DBOX{0, 0, 8, 8, 3, 2}}) {
    EXPECT_EQ(managed->LockBox(0, &locked, &outside, 0), D3DERR_INVALIDCALL);
  }
  for (D3DBOX empty : {D3DBOX{2, 0, 2, 8, 0, 4}, D3DBOX{0, 3, 8, 3, 0, 4}, D3DBOX{0, 0, 8, 8, 2, 2}}) {
    EXPECT_EQ(managed->LockBox(0, &locked, &empty, 0), D3DERR_INVALIDCALL)
        << empty.Left << "," << empty.Top << "," << empty.Right << "," << empty.Bottom << "," << empty.Front << ","
        << empty.Back;
  }
}

TEST(VertexBufferLock, RangeMustLieInsideAndDiscardNeedsDynamic) {
  TestDevice device;
  ComPtr<IDirect3DVertexBuffer9> fixed, dynamic;
  ASSERT_EQ(device->CreateVertexBuffer(80, D3DUSAGE_WRITEONLY, 0x44, D3DPOOL_MANAGED, fixed.ReleaseAndGetAddressOf(),
                                       nullptr),
            D3D_OK);
  ASSERT_EQ(device->CreateVertexBuffer(80, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT,
                                       dynamic.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  void* whole = nullptr;
  void* part = nullptr;
  ASSERT_EQ(fixed->Lock(0, 0, &whole, 0), D3D_OK);   // size 0: the whole buffer
  ASSERT_EQ(fixed->Lock(60, 20, &part, 0), D3D_OK);  // locks nest on buffers
  EXPECT_EQ(static_cast<BYTE*>(part) - static_cast<BYTE*>(whole), 60);
  EXPECT_EQ(fixed->Unlock(), D3D_OK);
  EXPECT_EQ(fixed->Unlock(), D3D_OK);
  EXPECT_EQ(fixed->Unlock(), D3DERR_INVALIDCALL);
  EXPECT_EQ(fixed->Lock(60, 21, &part, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(fixed->Lock(81, 0, &part, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(fixed->Lock(0, 0, &part, D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
  EXPECT_EQ(dynamic->Lock(0, 0, &part, D3DLOCK_DISCARD), D3D_OK);
  EXPECT_EQ(dynamic->Unlock(), D3D_OK);
  EXPECT_EQ(dynamic->Lock(0, 0, &part, D3DLOCK_NOOVERWRITE), D3D_OK);
  EXPECT_EQ(dynamic->Unlock(), D3D_OK);
}

}  // namespace
}  // namespace rastro::testing
