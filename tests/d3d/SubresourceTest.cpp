// Walking a texture's faces and levels, and UpdateTexture copying every one of them for each
// texture kind.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Surface.h"
#include "TestDevice.h"
#include "TextureCommon.h"
#include "Volume.h"

namespace rastro::testing {
namespace {

struct KindCase {
  const char* name;
  D3DRESOURCETYPE type;
  UINT faces;
};

class Subresources : public ::testing::TestWithParam<KindCase> {
 protected:
  // A 16-wide texture of the kind with `levels` levels in `pool` (volumes 16x8x4).
  ComPtr<IDirect3DBaseTexture9> Make(UINT levels, D3DPOOL pool, DWORD usage = 0) {
    ComPtr<IDirect3DBaseTexture9> result;
    switch (GetParam().type) {
      case D3DRTYPE_TEXTURE: {
        ComPtr<IDirect3DTexture9> texture;
        device_->CreateTexture(16, 8, levels, usage, D3DFMT_A8R8G8B8, pool, texture.ReleaseAndGetAddressOf(), nullptr);
        result = ComPtr<IDirect3DBaseTexture9>::Share(texture.Get());
        break;
      }
      case D3DRTYPE_CUBETEXTURE: {
        ComPtr<IDirect3DCubeTexture9> texture;
        device_->CreateCubeTexture(16, levels, usage, D3DFMT_A8R8G8B8, pool, texture.ReleaseAndGetAddressOf(), nullptr);
        result = ComPtr<IDirect3DBaseTexture9>::Share(texture.Get());
        break;
      }
      default: {
        ComPtr<IDirect3DVolumeTexture9> texture;
        device_->CreateVolumeTexture(16, 8, 4, levels, usage, D3DFMT_A8R8G8B8, pool, texture.ReleaseAndGetAddressOf(),
                                     nullptr);
        result = ComPtr<IDirect3DBaseTexture9>::Share(texture.Get());
        break;
      }
    }
    return result;
  }
  static TextureCommon& Common(IDirect3DBaseTexture9* texture) { return *dynamic_cast<TextureCommon*>(texture); }

  // Fills every byte of a subresource with a value naming its face and level.
  static void Fill(const Subresource& part, BYTE base) {
    BYTE* bytes = part.Storage().Bytes();
    ASSERT_NE(bytes, nullptr);
    std::memset(bytes, base + part.face * 16 + part.level, part.Storage().Size());
    part.ContentWritten();
  }

  TestDevice device_;
};

TEST_P(Subresources, EveryFaceAndLevelKnowsWhereItIs) {
  auto texture = Make(3, D3DPOOL_MANAGED);
  ASSERT_TRUE(texture);
  TextureCommon& common = Common(texture.Get());
  EXPECT_EQ(common.Faces(), GetParam().faces);
  std::vector<std::pair<UINT, UINT>> visited;
  common.ForEachSubresource([&](const Subresource& part) {
    visited.emplace_back(part.face, part.level);
    ASSERT_NE(part.surface == nullptr, part.volume == nullptr);
    EXPECT_EQ(part.Width(), 16u >> part.level);
    EXPECT_EQ(part.Height(), GetParam().type == D3DRTYPE_CUBETEXTURE ? 16u >> part.level : 8u >> part.level);
    EXPECT_EQ(part.Depth(), GetParam().type == D3DRTYPE_VOLUMETEXTURE ? 4u >> part.level : 1u);
    if (part.surface) {
      EXPECT_EQ(part.surface->Face(), part.face);
      EXPECT_EQ(part.surface->Level(), part.level);
      EXPECT_EQ(part.surface->Texture(), &common);
    } else {
      EXPECT_EQ(part.volume->Level(), part.level);
    }
  });
  std::vector<std::pair<UINT, UINT>> expected;
  for (UINT face = 0; face < GetParam().faces; ++face) {
    for (UINT level = 0; level < 3; ++level) expected.emplace_back(face, level);
  }
  EXPECT_EQ(visited, expected);
}

TEST_P(Subresources, AreTheObjectsThePublicInterfacesReturn) {
  auto texture = Make(2, D3DPOOL_SYSTEMMEM);
  ASSERT_TRUE(texture);
  TextureCommon& common = Common(texture.Get());
  for (UINT face = 0; face < common.Faces(); ++face) {
    for (UINT level = 0; level < 2; ++level) {
      Subresource part = common.At(face, level);
      ComPtr<IDirect3DSurface9> surface;
      ComPtr<IDirect3DVolume9> volume;
      if (GetParam().type == D3DRTYPE_TEXTURE) {
        static_cast<IDirect3DTexture9*>(texture.Get())->GetSurfaceLevel(level, surface.ReleaseAndGetAddressOf());
        EXPECT_EQ(static_cast<IDirect3DSurface9*>(part.surface), surface.Get());
      } else if (GetParam().type == D3DRTYPE_CUBETEXTURE) {
        static_cast<IDirect3DCubeTexture9*>(texture.Get())
            ->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, surface.ReleaseAndGetAddressOf());
        EXPECT_EQ(static_cast<IDirect3DSurface9*>(part.surface), surface.Get());
      } else {
        static_cast<IDirect3DVolumeTexture9*>(texture.Get())->GetVolumeLevel(level, volume.ReleaseAndGetAddressOf());
        EXPECT_EQ(static_cast<IDirect3DVolume9*>(part.volume), volume.Get());
      }
    }
  }
}

TEST_P(Subresources, UpdateTextureCopiesMatchingLevelsOfEveryFace) {
  auto source = Make(3, D3DPOOL_SYSTEMMEM);
  auto destination = Make(3, D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC);
  ASSERT_TRUE(source && destination);
  Common(source.Get()).ForEachSubresource([](const Subresource& part) { Fill(part, 0x40); });
  ASSERT_EQ(device_->UpdateTexture(source.Get(), destination.Get()), D3D_OK);
  Common(destination.Get()).ForEachSubresource([](const Subresource& part) {
    const BYTE* bytes = part.Storage().Bytes();
    auto expected = static_cast<BYTE>(0x40 + part.face * 16 + part.level);
    for (std::uint64_t i = 0; i < part.Storage().Size(); ++i) {
      ASSERT_EQ(bytes[i], expected) << "face " << part.face << " level " << part.level << " byte " << i;
    }
  });
}

TEST_P(Subresources, ALockedLastFaceOrLevelRefusesTheUpdateBeforeAnythingIsCopied) {
  auto source = Make(2, D3DPOOL_SYSTEMMEM);
  auto destination = Make(2, D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC);
  ASSERT_TRUE(source && destination);
  TextureCommon& from = Common(source.Get());
  TextureCommon& to = Common(destination.Get());
  from.ForEachSubresource([](const Subresource& part) { Fill(part, 0x10); });
  // Lock the destination's very last face and level.
  Subresource last = to.At(to.Faces() - 1, 1);
  if (last.surface) {
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(last.surface->LockRect(&locked, nullptr, 0), D3D_OK);
  } else {
    D3DLOCKED_BOX locked{};
    ASSERT_EQ(last.volume->LockBox(&locked, nullptr, 0), D3D_OK);
  }
  EXPECT_EQ(device_->UpdateTexture(source.Get(), destination.Get()), D3DERR_INVALIDCALL);
  const BYTE* first = to.At(0, 0).Storage().Bytes();
  EXPECT_EQ(first[0], 0) << "the first level was copied before the lock was found";
  if (last.surface) {
    last.surface->UnlockRect();
  } else {
    last.volume->UnlockBox();
  }
  EXPECT_EQ(device_->UpdateTexture(source.Get(), destination.Get()), D3D_OK);
  EXPECT_EQ(to.At(0, 0).Storage().Bytes()[0], 0x10);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Subresources,
                         ::testing::Values(KindCase{"Flat", D3DRTYPE_TEXTURE, 1},
                                           KindCase{"Cube", D3DRTYPE_CUBETEXTURE, 6},
                                           KindCase{"Volume", D3DRTYPE_VOLUMETEXTURE, 1}),
                         [](const ::testing::TestParamInfo<KindCase>& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace rastro::testing
