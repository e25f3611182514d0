// Tests 7 to 16: pixel shaders 1.1, 1.4 and 2.0 (full and partial precision), from a plain
// colour pass to per-pixel lighting with two textures.
#pragma once

#include <array>

#include "FillTest.h"
#include "TestFiles.h"

namespace rastro {

// Vertex of the two-colour layout: screen space (x, y, z, rhw) or clip space (x, y, z, w).
struct TwoColourVertex {
  float x, y, z, w;
  D3DCOLOR diffuse;
  D3DCOLOR specular;
};
static_assert(sizeof(TwoColourVertex) == 24);

// Vertex of the one-texture layout: position and one coordinate set.
struct TexturedVertex {
  float x, y, z, w;
  float u, v;
};
static_assert(sizeof(TexturedVertex) == 24);

inline constexpr DWORD kTwoColourFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR;
inline constexpr DWORD kOneTextureFvf = D3DFVF_XYZRHW | D3DFVF_TEX1;
inline constexpr std::array<D3DCOLOR, 4> kShaderDiffuseRamp{0x00000000, 0x00FF0000, 0x0000FF00, 0x000000FF};
inline constexpr std::array<D3DCOLOR, 4> kShaderSpecularRamp{0x000000A0, 0x0000A000, 0x00A00000, 0x00A0A0A0};

// Tests 7 and 9 to 14: screen-space two-colour quad and one pixel shader.
class PixelShaderTest final : public FillTest {
 public:
  PixelShaderTest(const char* name, const char* shaderFile, ScreenSize screen, TestFiles files)
      : FillTest(screen), name_(name), shaderFile_(shaderFile), files_(std::move(files)) {}

  const char* Name() const override { return name_; }
  unsigned PixelFactor() const override { return 32; }
  bool Init(IDirect3DDevice9* device) override;
  bool Destroy() override;

 private:
  const char* name_;
  const char* shaderFile_;
  TestFiles files_;
  ComPtr<IDirect3DVertexBuffer9> vertexBuffer_;
  ComPtr<IDirect3DPixelShader9> pixelShader_;
};

// Test 8: clip-space two-colour quad through a vertex declaration, a vertex and a pixel shader.
class Ps14Test final : public FillTest {
 public:
  Ps14Test(ScreenSize screen, TestFiles files) : FillTest(screen), files_(std::move(files)) {}

  const char* Name() const override { return "PS 1.4 - Simple"; }
  unsigned PixelFactor() const override { return 32; }
  bool Init(IDirect3DDevice9* device) override;
  bool Destroy() override;

 private:
  TestFiles files_;
  ComPtr<IDirect3DVertexBuffer9> vertexBuffer_;
  ComPtr<IDirect3DPixelShader9> pixelShader_;
  ComPtr<IDirect3DVertexShader9> vertexShader_;
  ComPtr<IDirect3DVertexDeclaration9> declaration_;
};

// Tests 15 and 16: a normal map and a colour texture lit per pixel.
class LightingTest final : public FillTest {
 public:
  LightingTest(bool partialPrecision, ScreenSize screen, TestFiles files)
      : FillTest(screen), partialPrecision_(partialPrecision), files_(std::move(files)) {}

  const char* Name() const override;
  unsigned PixelFactor() const override { return 16; }
  bool Init(IDirect3DDevice9* device) override;
  bool Destroy() override;

 private:
  bool partialPrecision_;
  TestFiles files_;
  ComPtr<IDirect3DVertexBuffer9> vertexBuffer_;
  ComPtr<IDirect3DPixelShader9> pixelShader_;
  ComPtr<IDirect3DVertexDeclaration9> declaration_;
  ComPtr<IDirect3DVertexShader9> vertexShader_;
  ComPtr<IDirect3DTexture9> normalMap_;
  ComPtr<IDirect3DTexture9> colourTexture_;
};

// The shader files the tests read, and their names, in catalogue order from test 7 (test 8's
// pixel shader included; its vertex shader and the lighting tests' are named in the tests).
struct PixelShaderTestRow {
  const char* name;
  const char* shaderFile;
};
inline constexpr std::array<PixelShaderTestRow, 7> kPixelShaderTests{{
    {"PS 1.1 - Simple", "SimplePS11.psh"},
    {"PS 2.0 - Simple", "SimplePS20.psh"},
    {"PS 2.0 PP - Simple", "SimplePS20PP.psh"},
    {"PS 2.0 - Longer", "LongerPS20.psh"},
    {"PS 2.0 PP - Longer", "LongerPS20PP.psh"},
    {"PS 2.0 - Longer 4 Registers", "Longer4RegPS20.psh"},
    {"PS 2.0 PP - Longer 4 Registers", "Longer4RegPS20PP.psh"},
}};

}  // namespace rastro
