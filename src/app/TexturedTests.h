// Tests 3 to 6: the fixed-function pipeline with one to four textures, each stage combining
// its texture with what the stages before it produced.
#pragma once

#include <array>
#include <functional>

#include "FillTest.h"

namespace rastro {

// Loads the data file `fileName` as a texture into `texture`; only whether it became non-null
// matters to the tests.
using TextureLoader =
    std::function<HRESULT(IDirect3DDevice9* device, const char* fileName, IDirect3DTexture9** texture)>;

inline constexpr UINT kMaxTestTextures = 4;

class TexturedTest : public FillTest {
 public:
  // A test with `textureCount` (1 to 4) textures, read through `loader`.
  TexturedTest(UINT textureCount, ScreenSize screen, TextureLoader loader)
      : FillTest(screen), textureCount_(textureCount), loader_(std::move(loader)) {}

  const char* Name() const override;
  unsigned PixelFactor() const override { return 32; }
  bool Init(IDirect3DDevice9* device) override;
  bool Destroy() override;

 private:
  UINT textureCount_;
  TextureLoader loader_;
  ComPtr<IDirect3DVertexBuffer9> vertexBuffer_;
  std::array<ComPtr<IDirect3DTexture9>, kMaxTestTextures> textures_;
};

// The textured screen-space layout with `textureCount` coordinate sets: its FVF and stride.
DWORD TexturedFvf(UINT textureCount);
UINT TexturedStride(UINT textureCount);

}  // namespace rastro
