// Locking surfaces and volumes into pixel regions: rectangle rules, widening for block and
// pair formats, the copy path for surfaces Direct3D will not lock, discard locks, write-back,
// and that every path gives back what it took.
#include <gtest/gtest.h>

#include <cstring>

#include "DebugOutput.h"
#include "MuteDebugOutput.h"
#include "RecordingDevice.h"
#include "SurfaceLock.h"
#include "TestEnvironment.h"
#include "VolumeLock.h"

namespace rastro::testing {
namespace {

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

struct Fixture {
  TestDevice device;
  ComPtr<RecordingDevice> recorder = ComPtr<RecordingDevice>::Adopt(new RecordingDevice(device.device.Get()));

  ComPtr<IDirect3DSurface9> Level(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  UINT level, ComPtr<IDirect3DTexture9>* keep = nullptr) {
    ComPtr<IDirect3DTexture9> texture;
    EXPECT_EQ(
        device->CreateTexture(width, height, levels, usage, format, pool, texture.ReleaseAndGetAddressOf(), nullptr),
        D3D_OK);
    ComPtr<IDirect3DSurface9> surface;
    if (texture) {
      EXPECT_EQ(texture->GetSurfaceLevel(level, surface.ReleaseAndGetAddressOf()), D3D_OK);
    }
    if (keep) *keep = texture;
    return surface;
  }
};

struct BadRect {
  const char* name;
  RECT rect;
};

class SurfaceLockRejects : public ::testing::TestWithParam<BadRect> {};

TEST_P(SurfaceLockRejects, RectanglesOutsideTheSurfaceOrInverted) {
  Fixture f;
  auto surface = f.Level(16, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 0);
  auto recorded = f.recorder->Wrap(surface.Get());
  SurfaceLock lock;
  PixelRegion region;
  EXPECT_EQ(lock.Lock(region, recorded.Get(), nullptr, &GetParam().rect, 0, 0), D3DERR_INVALIDCALL);
  EXPECT_TRUE(recorded->locks.empty());
  EXPECT_EQ(RefCount(surface.Get()), 2u);  // the caller's and the recorder's: nothing held
}

INSTANTIATE_TEST_SUITE_P(Rects, SurfaceLockRejects,
                         ::testing::Values(BadRect{"PastRight", {0, 0, 17, 8}}, BadRect{"PastBottom", {0, 0, 16, 9}},
                                           BadRect{"NegativeLeft", {-1, 0, 4, 4}},
                                           BadRect{"NegativeTop", {0, -2, 4, 4}},
                                           BadRect{"LeftAfterRight", {5, 0, 4, 4}},
                                           BadRect{"TopBelowBottom", {0, 5, 4, 4}}),
                         [](const auto& test) { return std::string(test.param.name); });

struct WidenCase {
  const char* name;
  D3DFORMAT format;
  UINT width, height;
  RECT asked;
  RECT locked;
  D3DBOX region;
};

class SurfaceLockWidens : public ::testing::TestWithParam<WidenCase> {};

TEST_P(SurfaceLockWidens, ToWholeBlocksAndReportsTheRegionRelativeToTheLock) {
  const WidenCase& c = GetParam();
  Fixture f;
  ComPtr<IDirect3DSurface9> surface;
  ASSERT_EQ(f.device->CreateOffscreenPlainSurface(c.width, c.height, c.format, D3DPOOL_SYSTEMMEM,
                                                  surface.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  auto recorded = f.recorder->Wrap(surface.Get());
  SurfaceLock lock;
  PixelRegion region;
  ASSERT_EQ(lock.Lock(region, recorded.Get(), nullptr, &c.asked, 0, LockReadOnly), D3D_OK);
  ASSERT_EQ(recorded->locks.size(), 1u);
  EXPECT_FALSE(recorded->locks[0].whole);
  EXPECT_TRUE(SameRect(recorded->locks[0].rect, c.locked));
  EXPECT_EQ(recorded->locks[0].flags, DWORD{D3DLOCK_NOSYSLOCK | D3DLOCK_READONLY});
  EXPECT_EQ(region.Region.Left, c.region.Left);
  EXPECT_EQ(region.Region.Top, c.region.Top);
  EXPECT_EQ(region.Region.Right, c.region.Right);
  EXPECT_EQ(region.Region.Bottom, c.region.Bottom);
  EXPECT_EQ(region.Region.Front, 0u);
  EXPECT_EQ(region.Region.Back, 1u);
  EXPECT_EQ(region.Extent.Right, c.width);
  EXPECT_EQ(region.Extent.Bottom, c.height);
  EXPECT_EQ(region.Format, c.format);
  EXPECT_TRUE(region.Dither);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SurfaceLockWidens,
    ::testing::Values(WidenCase{"Dxt1", D3DFMT_DXT1, 16, 16, {5, 5, 7, 7}, {4, 4, 8, 8}, {1, 1, 3, 3, 0, 1}},
                      WidenCase{"Yuy2", D3DFMT_YUY2, 8, 2, {3, 0, 5, 2}, {2, 0, 6, 2}, {1, 0, 3, 2, 0, 1}},
                      WidenCase{"Plain", D3DFMT_A8R8G8B8, 8, 8, {3, 1, 5, 2}, {3, 1, 5, 2}, {0, 0, 2, 1, 0, 1}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(SurfaceLock, WideningToTheWholeSurfaceLocksItWhole) {
  Fixture f;
  ComPtr<IDirect3DSurface9> surface;
  ASSERT_EQ(f.device->CreateOffscreenPlainSurface(8, 8, D3DFMT_DXT1, D3DPOOL_SYSTEMMEM,
                                                  surface.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  auto recorded = f.recorder->Wrap(surface.Get());
  SurfaceLock lock;
  PixelRegion region;
  RECT asked{1, 1, 7, 7};
  ASSERT_EQ(lock.Lock(region, recorded.Get(), nullptr, &asked, 0, LockReadOnly), D3D_OK);
  ASSERT_EQ(recorded->locks.size(), 1u);
  EXPECT_TRUE(recorded->locks[0].whole);
  EXPECT_EQ(region.Region.Left, 1u);
  EXPECT_EQ(region.Region.Right, 7u);
}

struct DiscardCase {
  const char* name;
  UINT levels;
  bool partial;
  DWORD flags;
  DWORD expected;
};

class SurfaceLockDiscard : public ::testing::TestWithParam<DiscardCase> {};

TEST_P(SurfaceLockDiscard, OnlyForAFullOverwriteOfAOneLevelDynamicTexture) {
  const DiscardCase& c = GetParam();
  Fixture f;
  auto surface = f.Level(16, 16, c.levels, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, 0);
  auto recorded = f.recorder->Wrap(surface.Get());
  SurfaceLock lock;
  PixelRegion region;
  RECT part{0, 0, 8, 8};
  ASSERT_EQ(lock.Lock(region, recorded.Get(), nullptr, c.partial ? &part : nullptr, 0, c.flags), D3D_OK);
  ASSERT_EQ(recorded->locks.size(), 1u);
  EXPECT_EQ(recorded->locks[0].flags, c.expected);
  EXPECT_TRUE(f.recorder->textures.empty());  // locked directly
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SurfaceLockDiscard,
    ::testing::Values(DiscardCase{"OneLevelWholeWrite", 1, false, 0, D3DLOCK_NOSYSLOCK | D3DLOCK_DISCARD},
                      DiscardCase{"MipChainWholeWrite", 3, false, 0, D3DLOCK_NOSYSLOCK},
                      DiscardCase{"OneLevelPartialWrite", 1, true, 0, D3DLOCK_NOSYSLOCK},
                      DiscardCase{"OneLevelRead", 1, false, LockReadOnly, D3DLOCK_NOSYSLOCK | D3DLOCK_READONLY}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(SurfaceLock, SmallDxt1LevelLocksThroughALevelOfABlockAlignedCopy) {
  Fixture f;
  for (D3DPOOL pool : {D3DPOOL_DEFAULT, D3DPOOL_SYSTEMMEM}) {
    f.recorder->textures.clear();
    f.recorder->updateSurfaces = 0;
    auto surface = f.Level(12, 12, 2, 0, D3DFMT_DXT1, pool, 1);
    auto recorded = f.recorder->Wrap(surface.Get());
    BYTE written[2 * 16];
    for (int i = 0; i < 32; ++i) written[i] = static_cast<BYTE>(i * 7 + 1);
    {
      SurfaceLock lock;
      PixelRegion region;
      // The default-pool level cannot be locked directly; the system-memory one is asked to.
      ASSERT_EQ(lock.Lock(region, recorded.Get(), nullptr, nullptr, 0, pool == D3DPOOL_DEFAULT ? 0 : LockViaCopy),
                D3D_OK);
      ASSERT_EQ(f.recorder->textures.size(), 1u);
      const TextureCreation& copy = f.recorder->textures[0];
      EXPECT_EQ(copy.width, 12u);
      EXPECT_EQ(copy.height, 12u);
      EXPECT_EQ(copy.levels, 2u);
      EXPECT_EQ(copy.pool, D3DPOOL_SYSTEMMEM);
      EXPECT_EQ(copy.format, D3DFMT_DXT1);
      EXPECT_EQ(region.Extent.Right, 6u);
      EXPECT_EQ(region.Extent.Bottom, 6u);
      // A whole overwrite needs no old contents: no read-back through a render target.
      EXPECT_EQ(f.recorder->stretchRects, 0u);
      for (int row = 0; row < 2; ++row) {
        std::memcpy(static_cast<BYTE*>(region.Data) + row * region.RowPitch, written + row * 16, 16);
      }
      EXPECT_EQ(f.recorder->updateSurfaces, 0u);
    }
    EXPECT_EQ(f.recorder->updateSurfaces, 1u);  // written back at Unlock
    if (pool == D3DPOOL_SYSTEMMEM) {
      // UpdateSurface refuses a system-memory destination; the rows were copied instead.
      D3DLOCKED_RECT bits{};
      ASSERT_EQ(surface->LockRect(&bits, nullptr, D3DLOCK_READONLY), D3D_OK);
      for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(std::memcmp(static_cast<BYTE*>(bits.pBits) + row * bits.Pitch, written + row * 16, 16), 0);
      }
      surface->UnlockRect();
    }
  }
}

TEST(SurfaceLock, ReadLocksThroughACopyNeverWriteBack) {
  Fixture f;
  auto surface = f.Level(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 0);
  auto recorded = f.recorder->Wrap(surface.Get());
  {
    SurfaceLock lock;
    PixelRegion region;
    ASSERT_EQ(lock.Lock(region, recorded.Get(), nullptr, nullptr, 0, LockReadOnly | LockViaCopy), D3D_OK);
    std::memset(region.Data, 0xAB, 4);
  }
  EXPECT_EQ(f.recorder->updateSurfaces, 0u);
  D3DLOCKED_RECT bits{};
  ASSERT_EQ(surface->LockRect(&bits, nullptr, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(static_cast<BYTE*>(bits.pBits)[0], 0);
  surface->UnlockRect();
}

TEST(SurfaceLock, ReadingAnUnlockableLevelGoesThroughARenderTarget) {
  Fixture f;
  auto surface = f.Level(8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, 0);
  // Fill the level the way an application would: from system memory.
  ComPtr<IDirect3DSurface9> staging;
  ASSERT_EQ(f.device->CreateOffscreenPlainSurface(8, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                  staging.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  D3DLOCKED_RECT bits{};
  ASSERT_EQ(staging->LockRect(&bits, nullptr, 0), D3D_OK);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) {
      DWORD value = 0xFF000000u | (y << 8) | x;
      std::memcpy(static_cast<BYTE*>(bits.pBits) + y * bits.Pitch + x * 4, &value, 4);
    }
  }
  staging->UnlockRect();
  ASSERT_EQ(f.device->UpdateSurface(staging.Get(), nullptr, surface.Get(), nullptr), D3D_OK);

  auto recorded = f.recorder->Wrap(surface.Get());
  SurfaceLock lock;
  PixelRegion region;
  RECT part{2, 1, 6, 3};
  ASSERT_EQ(lock.Lock(region, recorded.Get(), nullptr, &part, 0, LockReadOnly), D3D_OK);
  EXPECT_EQ(f.recorder->renderTargets, 1u);
  EXPECT_EQ(f.recorder->stretchRects, 1u);
  DWORD value = 0;
  std::memcpy(&value, static_cast<BYTE*>(region.Data) + region.Region.Top * region.RowPitch + region.Region.Left * 4,
              4);
  EXPECT_EQ(value, 0xFF000102u);
  EXPECT_EQ(region.Region.Right - region.Region.Left, 4u);
  lock.Unlock();
  EXPECT_EQ(f.recorder->updateSurfaces, 0u);
}

TEST(SurfaceLock, PartialWriteThroughACopyKeepsThePixelsOutsideTheRectangle) {
  Fixture f;
  auto surface = f.Level(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, 0);
  ASSERT_EQ(f.device->ColorFill(surface.Get(), nullptr, 0xFF102030u), D3D_OK);
  {
    SurfaceLock lock;
    PixelRegion region;
    RECT part{1, 1, 2, 2};
    ASSERT_EQ(lock.Lock(region, surface.Get(), nullptr, &part, 0, 0), D3D_OK);
    DWORD white = 0xFFFFFFFFu;
    std::memcpy(static_cast<BYTE*>(region.Data) + region.Region.Top * region.RowPitch + region.Region.Left * 4, &white,
                4);
  }
  SurfaceLock reader;
  PixelRegion region;
  ASSERT_EQ(reader.Lock(region, surface.Get(), nullptr, nullptr, 0, LockReadOnly), D3D_OK);
  for (UINT y = 0; y < 4; ++y) {
    for (UINT x = 0; x < 4; ++x) {
      DWORD value = 0;
      std::memcpy(&value, static_cast<BYTE*>(region.Data) + y * region.RowPitch + x * 4, 4);
      EXPECT_EQ(value, (x == 1 && y == 1) ? 0xFFFFFFFFu : 0xFF102030u) << x << "," << y;
    }
  }
}

TEST(SurfaceLock, EveryPathGivesBackWhatItTook) {
  Fixture f;
  ULONG deviceRefs = RefCount(f.device.device.Get());
  ComPtr<IDirect3DTexture9> texture;
  auto direct = f.Level(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 0);
  auto unlockable = f.Level(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, 0);
  auto dxtUnreadable = f.Level(12, 12, 2, 0, D3DFMT_DXT1, D3DPOOL_DEFAULT, 1);
  ULONG deviceRefsWithLevels = RefCount(f.device.device.Get());
  RECT part{1, 1, 3, 3};
  for (IDirect3DSurface9* surface : {direct.Get(), unlockable.Get(), dxtUnreadable.Get()}) {
    ULONG before = RefCount(surface);
    for (DWORD flags : {DWORD{0}, LockReadOnly, LockReadOnly | LockViaCopy, LockViaCopy}) {
      for (const RECT* rect : {static_cast<const RECT*>(nullptr), static_cast<const RECT*>(&part)}) {
        SurfaceLock lock;
        PixelRegion region;
        HRESULT hr = lock.Lock(region, surface, nullptr, rect, 0, flags);
        // Only reading old DXT contents from video memory has no route.
        bool readsOldContents = rect != nullptr || (flags & LockReadOnly);
        bool expected = surface != dxtUnreadable.Get() || !readsOldContents;
        EXPECT_EQ(SUCCEEDED(hr), expected) << flags << (rect ? " part" : " whole");
        if (SUCCEEDED(hr)) {
          EXPECT_GT(RefCount(surface), before);
        }
        lock.Unlock();
        EXPECT_EQ(RefCount(surface), before);
        EXPECT_EQ(RefCount(f.device.device.Get()), deviceRefsWithLevels);
      }
    }
  }
  direct.Reset();
  unlockable.Reset();
  dxtUnreadable.Reset();
  EXPECT_EQ(RefCount(f.device.device.Get()), deviceRefs);
}

std::vector<std::string> debugLines;
void CollectLine(const char* line) { debugLines.push_back(line); }

TEST(SurfaceLock, TrialCallsThatMayFailAreNotReported) {
  ScopedEnvironment debug("RASTROMETER_D3D_DEBUG", "1");
  ScopedEnvironment mutable_("D3DXDoNotMute", std::nullopt);
  ResetDebugMuteForTesting();
  debugLines.clear();
  SetDebugOutputSink(CollectLine);
  Fixture f;
  auto surface = f.Level(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, 0);
  {
    // The direct lock and the direct read of the old contents both fail on this level.
    SurfaceLock lock;
    PixelRegion region;
    EXPECT_EQ(lock.Lock(region, surface.Get(), nullptr, nullptr, 0, LockReadOnly), D3D_OK);
  }
  EXPECT_TRUE(debugLines.empty()) << debugLines.front();
  // Failures outside the trial calls still are.
  D3DLOCKED_RECT bits{};
  EXPECT_EQ(surface->LockRect(&bits, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(debugLines.size(), 1u);
  SetDebugOutputSink(nullptr);
  ResetDebugMuteForTesting();
}

TEST(VolumeLock, RefusesBadBoxesAndVolumesItCannotLock) {
  TestDevice device;
  ComPtr<IDirect3DVolumeTexture9> managed, video;
  ASSERT_EQ(device->CreateVolumeTexture(8, 8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                        managed.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ASSERT_EQ(device->CreateVolumeTexture(8, 8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, video.ReleaseAndGetAddressOf(),
                                        nullptr),
            D3D_OK);
  ComPtr<IDirect3DVolume9> level, videoLevel;
  ASSERT_EQ(managed->GetVolumeLevel(0, level.ReleaseAndGetAddressOf()), D3D_OK);
  ASSERT_EQ(video->GetVolumeLevel(0, videoLevel.ReleaseAndGetAddressOf()), D3D_OK);
  VolumeLock lock;
  PixelRegion region;
  for (D3DBOX box :
       {D3DBOX{0, 0, 9, 8, 0, 4}, D3DBOX{0, 0, 8, 8, 0, 5}, D3DBOX{3, 0, 2, 8, 0, 4}, D3DBOX{0, 0, 8, 8, 3, 2}}) {
    EXPECT_EQ(lock.Lock(region, level.Get(), nullptr, &box, 0, 0), D3DERR_INVALIDCALL);
  }
  EXPECT_EQ(lock.Lock(region, videoLevel.Get(), nullptr, nullptr, 0, LockReadOnly), D3DERR_INVALIDCALL);
  ULONG before = RefCount(level.Get());
  D3DBOX box{1, 2, 3, 5, 1, 3};
  ASSERT_EQ(lock.Lock(region, level.Get(), nullptr, &box, 0, LockReadOnly), D3D_OK);
  EXPECT_EQ(region.Region.Left, 0u);
  EXPECT_EQ(region.Region.Right, 2u);
  EXPECT_EQ(region.Region.Bottom, 3u);
  EXPECT_EQ(region.Region.Back, 2u);
  EXPECT_EQ(region.Extent.Back, 4u);
  EXPECT_NE(region.SlicePitch, 0u);
  EXPECT_EQ(RefCount(level.Get()), before + 1);
  lock.Unlock();
  EXPECT_EQ(RefCount(level.Get()), before);
}

TEST(VolumeLock, WidensDxtBoxesInTheirRowsOnly) {
  TestDevice device;
  ComPtr<IDirect3DVolumeTexture9> texture;
  ASSERT_EQ(device->CreateVolumeTexture(16, 16, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_SYSTEMMEM,
                                        texture.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ComPtr<IDirect3DVolume9> level;
  ASSERT_EQ(texture->GetVolumeLevel(0, level.ReleaseAndGetAddressOf()), D3D_OK);
  VolumeLock lock;
  PixelRegion region;
  D3DBOX box{5, 5, 7, 7, 1, 3};
  ASSERT_EQ(lock.Lock(region, level.Get(), nullptr, &box, 0, LockReadOnly), D3D_OK);
  EXPECT_EQ(region.Region.Left, 1u);
  EXPECT_EQ(region.Region.Top, 1u);
  EXPECT_EQ(region.Region.Right, 3u);
  EXPECT_EQ(region.Region.Bottom, 3u);
  EXPECT_EQ(region.Region.Front, 0u);
  EXPECT_EQ(region.Region.Back, 2u);
}

}  // namespace
}  // namespace rastro::testing
