// Sizes and pitches of texture levels for every kind of format, at sizes that do not divide
// evenly into blocks. Expected pitches are whole rows of blocks rounded up to 4 bytes.
#include <gtest/gtest.h>

#include "TestDevice.h"

namespace rastro::testing {
namespace {

struct LevelCase {
  D3DFORMAT format;
  UINT width, height;  // of level 0
  UINT level;
  UINT levelWidth, levelHeight;
  INT pitch;
};

class LevelLayout : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LevelLayout, LevelHasExpectedSizeAndPitch) {
  const LevelCase& c = GetParam();
  TestDevice device;
  ASSERT_EQ(device.created, D3D_OK);
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(device->CreateTexture(c.width, c.height, 0, 0, c.format, D3DPOOL_SCRATCH, texture.ReleaseAndGetAddressOf(),
                                  nullptr),
            D3D_OK);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(texture->GetLevelDesc(c.level, &desc), D3D_OK);
  EXPECT_EQ(desc.Width, c.levelWidth);
  EXPECT_EQ(desc.Height, c.levelHeight);
  EXPECT_EQ(desc.Format, c.format);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(c.level, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, c.pitch);
  // The whole level is addressable: write its last byte.
  auto* bytes = static_cast<BYTE*>(locked.pBits);
  UINT blockRows = c.format == D3DFMT_DXT1 || c.format == D3DFMT_DXT5 ? (c.levelHeight + 3) / 4 : c.levelHeight;
  bytes[static_cast<size_t>(blockRows - 1) * locked.Pitch + locked.Pitch - 1] = 0xAB;
  EXPECT_EQ(texture->UnlockRect(c.level), D3D_OK);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKindOfFormat, LevelLayout,
    ::testing::Values(LevelCase{D3DFMT_A8R8G8B8, 13, 7, 0, 13, 7, 52},  // 13 x 4 bytes
                      LevelCase{D3DFMT_A8R8G8B8, 13, 7, 1, 6, 3, 24}, LevelCase{D3DFMT_A8R8G8B8, 13, 7, 3, 1, 1, 4},
                      LevelCase{D3DFMT_R8G8B8, 13, 7, 0, 13, 7, 40},  // 39 bytes, rounded up
                      LevelCase{D3DFMT_R5G6B5, 13, 7, 0, 13, 7, 28},  // 26 bytes, rounded up
                      LevelCase{D3DFMT_A8L8, 5, 1, 0, 5, 1, 12},      // 10 bytes, rounded up
                      LevelCase{D3DFMT_L8, 13, 7, 0, 13, 7, 16},      // 13 bytes, rounded up
                      LevelCase{D3DFMT_P8, 5, 5, 2, 1, 1, 4}, LevelCase{D3DFMT_A16B16G16R16F, 13, 7, 0, 13, 7, 104},
                      LevelCase{D3DFMT_A32B32G32R32F, 3, 3, 0, 3, 3, 48}, LevelCase{D3DFMT_D24S8, 3, 3, 0, 3, 3, 12},
                      LevelCase{D3DFMT_DXT1, 12, 8, 0, 12, 8, 24},  // 3 blocks of 8 bytes
                      LevelCase{D3DFMT_DXT1, 12, 8, 1, 6, 4, 16},   // 6 wide: 2 blocks
                      LevelCase{D3DFMT_DXT1, 12, 8, 2, 3, 2, 8},    // partial block
                      LevelCase{D3DFMT_DXT1, 12, 8, 3, 1, 1, 8},
                      LevelCase{D3DFMT_DXT5, 12, 8, 0, 12, 8, 48},  // 3 blocks of 16 bytes
                      LevelCase{D3DFMT_DXT5, 12, 8, 1, 6, 4, 32}, LevelCase{D3DFMT_DXT5, 12, 8, 2, 3, 2, 16},
                      LevelCase{D3DFMT_YUY2, 13, 5, 0, 13, 5, 28},  // 7 pairs of 4 bytes
                      LevelCase{D3DFMT_YUY2, 13, 5, 1, 6, 2, 12},
                      LevelCase{D3DFMT_UYVY, 13, 5, 2, 3, 1, 8},  // odd width rounds up
                      LevelCase{D3DFMT_R8G8_B8G8, 13, 5, 3, 1, 1, 4}, LevelCase{D3DFMT_G8R8_G8B8, 7, 3, 0, 7, 3, 16}));

struct RectOffsetCase {
  D3DFORMAT format;
  UINT width, height;
  RECT rect;
  ptrdiff_t offset;  // bytes from the level's start to the rectangle's first block
};

class RectOffset : public ::testing::TestWithParam<RectOffsetCase> {};

TEST_P(RectOffset, LockedRectanglePointsAtItsFirstBlock) {
  const RectOffsetCase& c = GetParam();
  TestDevice device;
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(device->CreateTexture(c.width, c.height, 1, 0, c.format, D3DPOOL_SCRATCH, texture.ReleaseAndGetAddressOf(),
                                  nullptr),
            D3D_OK);
  D3DLOCKED_RECT whole{}, part{};
  ASSERT_EQ(texture->LockRect(0, &whole, nullptr, D3DLOCK_READONLY), D3D_OK);
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  ASSERT_EQ(texture->LockRect(0, &part, &c.rect, 0), D3D_OK);
  EXPECT_EQ(static_cast<BYTE*>(part.pBits) - static_cast<BYTE*>(whole.pBits), c.offset);
  EXPECT_EQ(part.Pitch, whole.Pitch);
  EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
}

INSTANTIATE_TEST_SUITE_P(Formats, RectOffset,
                         ::testing::Values(RectOffsetCase{D3DFMT_X8R8G8B8, 10, 10, {3, 2, 5, 4}, 2 * 40 + 3 * 4},
                                           RectOffsetCase{D3DFMT_R8G8B8, 10, 10, {3, 2, 5, 4}, 2 * 32 + 3 * 3},
                                           RectOffsetCase{D3DFMT_DXT1, 16, 16, {4, 8, 8, 12}, 2 * 32 + 1 * 8},
                                           RectOffsetCase{D3DFMT_DXT3, 16, 16, {12, 4, 16, 16}, 1 * 64 + 3 * 16},
                                           RectOffsetCase{D3DFMT_YUY2, 8, 2, {2, 1, 6, 2}, 1 * 16 + 1 * 4}));

TEST(VolumeLayout, RowAndSlicePitchesCoverWholeBlocks) {
  TestDevice device;
  struct {
    D3DFORMAT format;
    UINT width, height, depth, level;
    INT rowPitch, slicePitch;
  } cases[] = {
      {D3DFMT_A8R8G8B8, 5, 3, 2, 0, 20, 60}, {D3DFMT_L8, 5, 3, 2, 0, 8, 24},
      {D3DFMT_DXT1, 8, 8, 3, 0, 16, 32},     {D3DFMT_DXT1, 8, 8, 3, 1, 8, 8},  // 4 x 4 x 1: one block
      {D3DFMT_DXT5, 8, 12, 3, 0, 32, 96},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    ComPtr<IDirect3DVolumeTexture9> texture;
    ASSERT_EQ(device->CreateVolumeTexture(c.width, c.height, c.depth, 0, 0, c.format, D3DPOOL_SYSTEMMEM,
                                          texture.ReleaseAndGetAddressOf(), nullptr),
              D3D_OK);
    D3DLOCKED_BOX box{};
    ASSERT_EQ(texture->LockBox(c.level, &box, nullptr, 0), D3D_OK);
    EXPECT_EQ(box.RowPitch, c.rowPitch);
    EXPECT_EQ(box.SlicePitch, c.slicePitch);
    EXPECT_EQ(texture->UnlockBox(c.level), D3D_OK);
  }
}

TEST(LevelCount, ZeroMeansAFullChainDownToOnePixel) {
  TestDevice device;
  struct {
    UINT width, height, levels;
  } cases[] = {{640, 480, 10}, {1, 1, 1}, {256, 1, 9}, {1024, 512, 11}, {3, 5, 3}};
  for (const auto& c : cases) {
    ComPtr<IDirect3DTexture9> texture;
    ASSERT_EQ(device->CreateTexture(c.width, c.height, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                    texture.ReleaseAndGetAddressOf(), nullptr),
              D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), c.levels) << c.width << "x" << c.height;
    D3DSURFACE_DESC last{};
    ASSERT_EQ(texture->GetLevelDesc(c.levels - 1, &last), D3D_OK);
    EXPECT_EQ(last.Width, 1u);
    EXPECT_EQ(last.Height, 1u);
    EXPECT_EQ(texture->GetLevelDesc(c.levels, &last), D3DERR_INVALIDCALL);
  }
}

}  // namespace
}  // namespace rastro::testing
