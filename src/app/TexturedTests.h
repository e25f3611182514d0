// Tests 3 to 6: the fixed-function pipeline with one to four textures, each stage combining
// its texture with what the stages before it produced.
#pragma once

#include <array>

#include "FillTest.h"
#include "TestFiles.h"

namespace rastro {

inline constexpr UINT kMaxTestTextures = 4;

class TexturedTest : public FillTest {
 public:
  // A test with `textureCount` (1 to 4) textures, read from `files`.
  TexturedTest(UINT textureCount, ScreenSize screen, TestFiles files)
      : FillTest(screen), textureCount_(textureCount), files_(std::move(files)) {}

  const char* Name() const override;
  unsigned PixelFactor() const override { return 32; }
  bool Init(IDirect3DDevice9* device) override;
  bool Destroy() override;

 private:
  UINT textureCount_;
  TestFiles files_;
  ComPtr<IDirect3DVertexBuffer9> vertexBuffer_;
  std::array<ComPtr<IDirect3DTexture9>, kMaxTestTextures> textures_;
};

// The textured screen-space layout with `textureCount` coordinate sets: its FVF and stride.
DWORD TexturedFvf(UINT textureCount);
UINT TexturedStride(UINT textureCount);

}  // namespace rastro
