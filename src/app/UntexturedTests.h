// The two tests that use neither textures nor shaders: plain vertex colour, and depth
// traffic with colour writes masked off.
#pragma once

#include <memory>

#include "FillTest.h"

namespace rastro {

class UntexturedTest : public FillTest {
 public:
  enum class Kind { kPureFillrate, kZPixelRate };

  UntexturedTest(Kind kind, ScreenSize screen) : FillTest(screen), kind_(kind) {}

  const char* Name() const override;
  unsigned PixelFactor() const override { return 32; }
  bool Init(IDirect3DDevice9* device) override;
  bool Destroy() override;

 private:
  Kind kind_;
  ComPtr<IDirect3DVertexBuffer9> vertexBuffer_;
};

}  // namespace rastro
