// The two tests that use neither textures nor shaders: plain vertex colour, and depth
// traffic with colour writes masked off.
#pragma once

#include <memory>

#include "Catalogue.h"
#include "FillTest.h"

namespace rastro {

class UntexturedTest : public FillTest {
 public:
  enum class Kind { kPureFillrate, kZPixelRate };

  // The name and factor come from the test's catalogue row, which outlives the test.
  UntexturedTest(Kind kind, const CatalogueRow& row, ScreenSize screen) : FillTest(screen), kind_(kind), row_(row) {}

  const char* Name() const override { return row_.name; }
  unsigned PixelFactor() const override { return row_.pixelFactor; }
  bool Init(IDirect3DDevice9* device) override;
  bool Destroy() override;

 private:
  Kind kind_;
  const CatalogueRow& row_;
  ComPtr<IDirect3DVertexBuffer9> vertexBuffer_;
};

}  // namespace rastro
