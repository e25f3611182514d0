// Surface and volume memory starts out zero, whether it comes fresh from the system or is
// memory another resource wrote and gave back.
#include <gtest/gtest.h>

#include <cstring>

#include "TestDevice.h"

namespace rastro::testing {
namespace {

bool AllZero(const BYTE* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

class FreshTexture : public ::testing::TestWithParam<UINT> {};

TEST_P(FreshTexture, ReadsAsZeroAfterAnotherWroteTheSameMemory) {
  const UINT size = GetParam();
  TestDevice device;
  ASSERT_EQ(device.created, D3D_OK);
  for (int round = 0; round < 3; ++round) {
    ComPtr<IDirect3DTexture9> texture;
    ASSERT_EQ(device->CreateTexture(size, size, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                    texture.ReleaseAndGetAddressOf(), nullptr),
              D3D_OK);
    for (UINT level = 0; level < 2; ++level) {
      D3DLOCKED_RECT locked{};
      ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
      const std::size_t bytes = std::size_t{static_cast<UINT>(locked.Pitch)} * (size >> level);
      EXPECT_TRUE(AllZero(static_cast<const BYTE*>(locked.pBits), bytes)) << "round " << round << " level " << level;
      // Leave the memory dirty for the next round's texture.
      std::memset(locked.pBits, 0xA5, bytes);
      texture->UnlockRect(level);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FreshTexture, ::testing::Values(16u, 256u, 2048u));

TEST(FreshVolume, ReadsAsZeroAfterAnotherWroteTheSameMemory) {
  TestDevice device;
  ASSERT_EQ(device.created, D3D_OK);
  for (int round = 0; round < 2; ++round) {
    ComPtr<IDirect3DVolumeTexture9> texture;
    ASSERT_EQ(device->CreateVolumeTexture(64, 64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                          texture.ReleaseAndGetAddressOf(), nullptr),
              D3D_OK);
    D3DLOCKED_BOX locked{};
    ASSERT_EQ(texture->LockBox(0, &locked, nullptr, 0), D3D_OK);
    const std::size_t bytes = std::size_t{static_cast<UINT>(locked.SlicePitch)} * 64;
    EXPECT_TRUE(AllZero(static_cast<const BYTE*>(locked.pBits), bytes)) << round;
    std::memset(locked.pBits, 0x5A, bytes);
    texture->UnlockBox(0);
  }
}

}  // namespace
}  // namespace rastro::testing
