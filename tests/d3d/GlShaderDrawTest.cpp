// Shaders drawn through the Direct3D device on OpenGL (llvmpipe here), the way the pixel-shader
// tests draw: the back buffer at its corners and centre equals the CPU evaluator run on the
// inputs the rasteriser interpolates there (tolerance in GlShaderDrawFixture.h).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "GlShaderDrawFixture.h"
#include "ShaderTokens.h"

namespace rastro::testing {
namespace {

constexpr DWORD kDiffuse[4] = {0x00000000, 0x00FF0000, 0x0000FF00, 0x000000FF};
constexpr DWORD kSpecular[4] = {0x000000A0, 0x0000A000, 0x00A00000, 0x00A0A0A0};

struct TwoColourVertex {
  float x, y, z, w;
  DWORD diffuse, specular;
};

std::vector<DWORD> AddColours(DWORD version) {
  TokenStream stream(version);
  if (version >= D3DPS_VERSION(2, 0)) {
    stream.Op(D3DSIO_DCL, {0x80000000, Dst(D3DSPR_INPUT, 0)}).Op(D3DSIO_DCL, {0x80000000, Dst(D3DSPR_INPUT, 1)});
    stream.Op(D3DSIO_ADD, {Dst(D3DSPR_TEMP, 0), Src(D3DSPR_INPUT, 0), Src(D3DSPR_INPUT, 1)});
    stream.Op(D3DSIO_MOV, {Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEMP, 0)});
  } else {
    stream.Op(D3DSIO_ADD, {Dst(D3DSPR_TEMP, 0), Src(D3DSPR_INPUT, 0), Src(D3DSPR_INPUT, 1)});
  }
  return stream.End();
}

std::array<ShaderVector, 4> Corners(const DWORD (&colours)[4]) {
  return {Unpack(colours[0]), Unpack(colours[1]), Unpack(colours[2]), Unpack(colours[3])};
}

TEST_F(GlShaderDraw, ScreenSpaceColoursThroughPixelShadersBypassingASetVertexShader) {
  // A vertex shader that would put everything off screen: screen-space vertices must not use it.
  std::vector<DWORD> offScreen = TokenStream(D3DVS_VERSION(1, 1))
                                     .Op(D3DSIO_DCL, {0x80000000, Dst(D3DSPR_INPUT, 0)})
                                     .Op(D3DSIO_MOV, {Dst(D3DSPR_RASTOUT, 0), Src(D3DSPR_CONST, 0)})
                                     .End();
  ComPtr<IDirect3DVertexShader9> vertexShader;
  ASSERT_EQ(device_->CreateVertexShader(offScreen.data(), vertexShader.ReleaseAndGetAddressOf()), D3D_OK);
  const float far[4] = {5, 5, 5, 1};
  device_->SetVertexShaderConstantF(0, far, 1);
  device_->SetVertexShader(vertexShader.Get());

  const float corners[4][2] = {{0, 0}, {kSize, 0}, {0, kSize}, {kSize, kSize}};
  TwoColourVertex vertices[4];
  for (int i = 0; i < 4; ++i) vertices[i] = {corners[i][0], corners[i][1], 0, 1, kDiffuse[i], kSpecular[i]};
  auto buffer = Buffer(vertices, sizeof vertices, 0xC4);
  device_->SetStreamSource(0, buffer.Get(), 0, sizeof(TwoColourVertex));
  device_->SetFVF(0xC4);

  for (DWORD version : {D3DPS_VERSION(1, 1), D3DPS_VERSION(2, 0)}) {
    std::vector<DWORD> tokens = AddColours(version);
    ComPtr<IDirect3DPixelShader9> pixelShader;
    ASSERT_EQ(device_->CreatePixelShader(tokens.data(), pixelShader.ReleaseAndGetAddressOf()), D3D_OK);
    device_->SetPixelShader(pixelShader.Get());
    std::vector<DWORD> pixels = Frame();
    ASSERT_EQ(pixels.size(), kSize * kSize);
    ShaderEvaluator evaluator;
    ASSERT_EQ(evaluator.Load(tokens.data(), tokens.size()), D3D_OK);
    for (const auto& point : kPoints) {
      ShaderVaryings inputs;
      inputs.color = {Interpolate(Corners(kDiffuse), point[0], point[1]),
                      Interpolate(Corners(kSpecular), point[0], point[1])};
      ExpectPixel(pixels[point[1] * kSize + point[0]], evaluator.RunPixel(inputs, ShaderConstants{}, nullptr).color[0],
                  point[0], point[1]);
    }
  }
}

// A shader is compiled when it is created, for the state its first draw most likely has; draws
// with other state (flat colours, an alpha test) must still get code for their own state, and
// the draw with the likely state the code compiled at creation.
TEST_F(GlShaderDraw, ShaderCompiledAtCreationFollowsTheStateOfEachDraw) {
  // Corners with alpha 0x40, and the shader passing the diffuse colour on.
  const DWORD colours[4] = {0x40102030, 0x40F01020, 0x4020F010, 0x401020F0};
  const float corners[4][2] = {{0, 0}, {kSize, 0}, {0, kSize}, {kSize, kSize}};
  TwoColourVertex vertices[4];
  for (int i = 0; i < 4; ++i) vertices[i] = {corners[i][0], corners[i][1], 0, 1, colours[i], 0};
  auto buffer = Buffer(vertices, sizeof vertices, 0xC4);
  device_->SetStreamSource(0, buffer.Get(), 0, sizeof(TwoColourVertex));
  device_->SetFVF(0xC4);
  std::vector<DWORD> tokens = TokenStream(D3DPS_VERSION(2, 0))
                                  .Op(D3DSIO_DCL, {0x80000000, Dst(D3DSPR_INPUT, 0)})
                                  .Op(D3DSIO_MOV, {Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_INPUT, 0)})
                                  .End();
  ComPtr<IDirect3DPixelShader9> pixelShader;
  ASSERT_EQ(device_->CreatePixelShader(tokens.data(), pixelShader.ReleaseAndGetAddressOf()), D3D_OK);
  device_->SetPixelShader(pixelShader.Get());
  const int inFirst[2] = {2, 2}, inSecond[2] = {kSize - 3, kSize - 3};  // triangles (0, 1, 2) and (1, 2, 3)

  // Flat: each triangle takes its first vertex's colour.
  device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
  std::vector<DWORD> flat = Frame();
  ASSERT_EQ(flat.size(), kSize * kSize);
  EXPECT_EQ(flat[inFirst[1] * kSize + inFirst[0]] & 0xFFFFFF, colours[0] & 0xFFFFFF);
  EXPECT_EQ(flat[inSecond[1] * kSize + inSecond[0]] & 0xFFFFFF, colours[1] & 0xFFFFFF);

  // Smooth: interpolated, as the evaluator computes from the interpolated inputs.
  device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
  std::vector<DWORD> smooth = Frame();
  ASSERT_EQ(smooth.size(), kSize * kSize);
  ShaderEvaluator evaluator;
  ASSERT_EQ(evaluator.Load(tokens.data(), tokens.size()), D3D_OK);
  for (const auto& point : kPoints) {
    ShaderVaryings inputs;
    inputs.color = {Interpolate(Corners(colours), point[0], point[1]), ShaderVector{}};
    ExpectPixel(smooth[point[1] * kSize + point[0]], evaluator.RunPixel(inputs, ShaderConstants{}, nullptr).color[0],
                point[0], point[1]);
  }

  // An alpha test the colours fail (0x40 is not above 0x80): nothing is drawn over the clear.
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
  device_->SetRenderState(D3DRS_ALPHAREF, 0x80);
  std::vector<DWORD> tested = Frame();
  ASSERT_EQ(tested.size(), kSize * kSize);
  for (const auto& point : kPoints) EXPECT_EQ(tested[point[1] * kSize + point[0]] & 0xFFFFFF, 0x123456u);
  // ... and one they pass (0x40 is not below 0x30).
  device_->SetRenderState(D3DRS_ALPHAREF, 0x30);
  std::vector<DWORD> passed = Frame();
  ASSERT_EQ(passed.size(), kSize * kSize);
  for (const auto& point : kPoints) EXPECT_EQ(passed[point[1] * kSize + point[0]], smooth[point[1] * kSize + point[0]]);
}

TEST_F(GlShaderDraw, ClipSpaceDeclarationThroughVertexAndPixelShader14) {
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
                                        {0, 16, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                        {0, 20, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 1},
                                        D3DDECL_END()};
  ComPtr<IDirect3DVertexDeclaration9> declaration;
  ASSERT_EQ(device_->CreateVertexDeclaration(elements, declaration.ReleaseAndGetAddressOf()), D3D_OK);
  const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
  TwoColourVertex vertices[4];
  for (int i = 0; i < 4; ++i) vertices[i] = {corners[i][0], corners[i][1], 0, 1, kDiffuse[i], kSpecular[i]};
  auto buffer = Buffer(vertices, sizeof vertices, 0xC4);
  // dcl_position v0, dcl_color0 v3, dcl_color1 v7: registers need not follow the declaration.
  std::vector<DWORD> vertexTokens = TokenStream(D3DVS_VERSION(1, 1))
                                        .Op(D3DSIO_DCL, {0x80000000, Dst(D3DSPR_INPUT, 0)})
                                        .Op(D3DSIO_DCL, {0x8000000A, Dst(D3DSPR_INPUT, 3)})
                                        .Op(D3DSIO_DCL, {0x8001000A, Dst(D3DSPR_INPUT, 7)})
                                        .Op(D3DSIO_MOV, {Dst(D3DSPR_RASTOUT, 0), Src(D3DSPR_INPUT, 0)})
                                        .Op(D3DSIO_MOV, {Dst(D3DSPR_ATTROUT, 0), Src(D3DSPR_INPUT, 3)})
                                        .Op(D3DSIO_MOV, {Dst(D3DSPR_ATTROUT, 1), Src(D3DSPR_INPUT, 7)})
                                        .End();
  std::vector<DWORD> pixelTokens = AddColours(D3DPS_VERSION(1, 4));
  ComPtr<IDirect3DVertexShader9> vertexShader;
  ComPtr<IDirect3DPixelShader9> pixelShader;
  ASSERT_EQ(device_->CreateVertexShader(vertexTokens.data(), vertexShader.ReleaseAndGetAddressOf()), D3D_OK);
  ASSERT_EQ(device_->CreatePixelShader(pixelTokens.data(), pixelShader.ReleaseAndGetAddressOf()), D3D_OK);
  device_->SetPixelShader(pixelShader.Get());
  device_->SetVertexShader(vertexShader.Get());
  device_->SetStreamSource(0, buffer.Get(), 0, sizeof(TwoColourVertex));
  device_->SetVertexDeclaration(declaration.Get());
  std::vector<DWORD> pixels = Frame();
  ASSERT_EQ(pixels.size(), kSize * kSize);
  ShaderEvaluator vertex, pixel;
  ASSERT_EQ(vertex.Load(vertexTokens.data(), vertexTokens.size()), D3D_OK);
  ASSERT_EQ(pixel.Load(pixelTokens.data(), pixelTokens.size()), D3D_OK);
  // Run the vertex shader on each corner, then interpolate its outputs.
  std::array<ShaderVector, 4> diffuse, specular;
  for (int i = 0; i < 4; ++i) {
    std::array<ShaderVector, 16> registers{};
    registers[0] = {corners[i][0], corners[i][1], 0, 1};
    registers[3] = Unpack(kDiffuse[i]);
    registers[7] = Unpack(kSpecular[i]);
    ShaderVaryings out = vertex.RunVertex(registers, ShaderConstants{}, nullptr);
    diffuse[i] = out.color[0];
    specular[i] = out.color[1];
  }
  for (const auto& point : kPoints) {
    ShaderVaryings inputs;
    inputs.color = {Interpolate(diffuse, point[0], point[1]), Interpolate(specular, point[0], point[1])};
    ExpectPixel(pixels[point[1] * kSize + point[0]], pixel.RunPixel(inputs, ShaderConstants{}, nullptr).color[0],
                point[0], point[1]);
  }
}

TEST_F(GlShaderDraw, PerPixelLightingSamplesTwoTexturesAndNormalises) {
  TexelSampler sampler;
  std::array<ComPtr<IDirect3DTexture9>, 2> textures;
  for (int t = 0; t < 2; ++t) {
    for (int i = 0; i < 64; ++i) {
      // Normals leaning different ways; colours of every channel.
      sampler.texels[t][i] = t == 0 ? 0xFF000000 | ((40 + 25 * (i % 8)) << 16) | ((200 - 20 * (i / 8)) << 8) | (150 + i)
                                    : 0xFF000000 | ((i * 4) << 16) | ((255 - i * 3) << 8) | (i * 2 + 60);
    }
    textures[t] = StageTexture(t, sampler.texels[t]);
    ASSERT_TRUE(textures[t]);
  }
  struct Vertex {
    float x, y, z, w, u, v;
  };
  const Vertex vertices[4] = {{-1, 1, 0, 1, 0, 0}, {1, 1, 0, 1, 1, 0}, {-1, -1, 0, 1, 0, 1}, {1, -1, 0, 1, 1, 1}};
  auto buffer = Buffer(vertices, sizeof vertices, 0x104);
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
                                        {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                        D3DDECL_END()};
  ComPtr<IDirect3DVertexDeclaration9> declaration;
  ASSERT_EQ(device_->CreateVertexDeclaration(elements, declaration.ReleaseAndGetAddressOf()), D3D_OK);
  device_->SetStreamSource(0, buffer.Get(), 0, sizeof(Vertex));
  device_->SetVertexDeclaration(declaration.Get());
  std::vector<DWORD> vertexTokens = TokenStream(D3DVS_VERSION(1, 1))
                                        .Op(D3DSIO_DCL, {0x80000000, Dst(D3DSPR_INPUT, 0)})
                                        .Op(D3DSIO_DCL, {0x80000005, Dst(D3DSPR_INPUT, 1)})
                                        .Op(D3DSIO_MOV, {Dst(D3DSPR_RASTOUT, 0), Src(D3DSPR_INPUT, 0)})
                                        .Op(D3DSIO_MOV, {Dst(D3DSPR_TEXCRDOUT, 0), Src(D3DSPR_INPUT, 1)})
                                        .End();
  // The lighting shader of the benchmark: expand, normalise, dot with the light, modulate.
  constexpr DWORD kS = D3DSPR_SAMPLER, kR = D3DSPR_TEMP, kC = D3DSPR_CONST;
  std::vector<DWORD> pixelTokens = TokenStream(D3DPS_VERSION(2, 0))
                                       .Def(0, 0.57735027f, 0.57735027f, 0.57735027f, 0)
                                       .Def(1, 2, 1, 0, 0)
                                       .Op(D3DSIO_DCL, {0x80000000, Dst(D3DSPR_TEXTURE, 0, 0x3)})
                                       .Op(D3DSIO_DCL, {0x90000000, Dst(kS, 0)})
                                       .Op(D3DSIO_DCL, {0x90000000, Dst(kS, 1)})
                                       .Op(D3DSIO_TEX, {Dst(kR, 0), Src(D3DSPR_TEXTURE, 0), Src(kS, 0)})
                                       .Op(D3DSIO_TEX, {Dst(kR, 1), Src(D3DSPR_TEXTURE, 0), Src(kS, 1)})
                                       .Op(D3DSIO_MAD, {Dst(kR, 0, 0x7), Src(kR, 0), Src(kC, 1, Swz(0, 0, 0, 0)),
                                                        Src(kC, 1, Swz(1, 1, 1, 1), D3DSPSM_NEG)})
                                       .Op(D3DSIO_NRM, {Dst(kR, 2, 0x7), Src(kR, 0)})
                                       .Op(D3DSIO_DP3, {Dst(kR, 3, 0x1, D3DSPDM_SATURATE), Src(kR, 2), Src(kC, 0)})
                                       .Op(D3DSIO_MUL, {Dst(kR, 0), Src(kR, 1), Src(kR, 3, Swz(0, 0, 0, 0))})
                                       .Op(D3DSIO_MOV, {Dst(D3DSPR_COLOROUT, 0), Src(kR, 0)})
                                       .End();
  ComPtr<IDirect3DVertexShader9> vertexShader;
  ComPtr<IDirect3DPixelShader9> pixelShader;
  ASSERT_EQ(device_->CreatePixelShader(pixelTokens.data(), pixelShader.ReleaseAndGetAddressOf()), D3D_OK);
  ASSERT_EQ(device_->CreateVertexShader(vertexTokens.data(), vertexShader.ReleaseAndGetAddressOf()), D3D_OK);
  device_->SetPixelShader(pixelShader.Get());
  device_->SetVertexShader(vertexShader.Get());
  std::vector<DWORD> pixels = Frame();
  ASSERT_EQ(pixels.size(), kSize * kSize);
  ShaderEvaluator pixel;
  ASSERT_EQ(pixel.Load(pixelTokens.data(), pixelTokens.size()), D3D_OK);
  const std::array<ShaderVector, 4> coordinates{{{0, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1}, {1, 1, 0, 1}}};
  for (const auto& point : kPoints) {
    ShaderVaryings inputs;
    inputs.texcoord[0] = Interpolate(coordinates, point[0], point[1]);
    ExpectPixel(pixels[point[1] * kSize + point[0]], pixel.RunPixel(inputs, ShaderConstants{}, &sampler).color[0],
                point[0], point[1]);
  }
}

TEST_F(GlShaderDraw, Ps11BumpMappingOffsetsTheSecondStagesCoordinates) {
  TexelSampler sampler;
  std::array<ComPtr<IDirect3DTexture9>, 2> textures;
  for (int t = 0; t < 2; ++t) {
    for (int i = 0; i < 64; ++i) {
      sampler.texels[t][i] = t == 0 ? 0xFF000000 | ((i * 37) % 256) << 16 | ((i * 91) % 256) << 8
                                    : 0xFF000000 | ((i * 4) << 16) | ((255 - i * 3) << 8) | (i * 2 + 60);
    }
    textures[t] = StageTexture(t, sampler.texels[t]);
    ASSERT_TRUE(textures[t]);
  }
  const float matrix[4] = {0.25f, 0.0f, 0.0f, 0.125f};
  for (int k = 0; k < 4; ++k) {
    DWORD bits;
    std::memcpy(&bits, &matrix[k], 4);
    device_->SetTextureStageState(1, static_cast<D3DTEXTURESTAGESTATETYPE>(D3DTSS_BUMPENVMAT00 + k), bits);
  }
  struct Vertex {
    float x, y, z, rhw, u0, v0, u1, v1;
  };
  const float w = kSize;
  const Vertex vertices[4] = {
      {0, 0, 0, 1, 0, 0, 0, 0}, {w, 0, 0, 1, 1, 0, 1, 0}, {0, w, 0, 1, 0, 1, 0, 1}, {w, w, 0, 1, 1, 1, 1, 1}};
  auto buffer = Buffer(vertices, sizeof vertices, D3DFVF_XYZRHW | D3DFVF_TEX2);
  device_->SetStreamSource(0, buffer.Get(), 0, sizeof(Vertex));
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX2);
  std::vector<DWORD> tokens = TokenStream(D3DPS_VERSION(1, 1))
                                  .Op(D3DSIO_TEX, {Dst(D3DSPR_TEXTURE, 0)})
                                  .Op(D3DSIO_TEXBEM, {Dst(D3DSPR_TEXTURE, 1), Src(D3DSPR_TEXTURE, 0)})
                                  .Op(D3DSIO_MOV, {Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEXTURE, 1)})
                                  .End();
  ComPtr<IDirect3DPixelShader9> shader;
  ASSERT_EQ(device_->CreatePixelShader(tokens.data(), shader.ReleaseAndGetAddressOf()), D3D_OK);
  device_->SetPixelShader(shader.Get());
  std::vector<DWORD> pixels = Frame();
  ASSERT_EQ(pixels.size(), kSize * kSize);
  ShaderEvaluator evaluator;
  ASSERT_EQ(evaluator.Load(tokens.data(), tokens.size()), D3D_OK);
  ShaderConstants constants;
  constants.bump[1] = {matrix[0], matrix[1], matrix[2], matrix[3], 0, 0};
  const std::array<ShaderVector, 4> coordinates{{{0, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1}, {1, 1, 0, 1}}};
  for (const auto& point : kPoints) {
    ShaderVaryings inputs;
    inputs.texcoord[0] = inputs.texcoord[1] = Interpolate(coordinates, point[0], point[1]);
    ExpectPixel(pixels[point[1] * kSize + point[0]], evaluator.RunPixel(inputs, constants, &sampler).color[0], point[0],
                point[1]);
  }
}

}  // namespace
}  // namespace rastro::testing
