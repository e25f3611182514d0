// Shader model 3.0 through the Direct3D device on OpenGL (llvmpipe here): vertex texture
// sampling, vs_3_0 outputs meeting ps_3_0 inputs by usage, vPos and vFace, several render
// targets, fog and point-size outputs. Each drawn result is checked against the CPU evaluator
// run on the same inputs.
//
// Tolerance: one unit of the 8-bit target, as GlShaderDrawFixture.h explains.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "GlShaderDrawFixture.h"
#include "ShaderCases.h"

namespace rastro::testing {
namespace {

constexpr DWORD kO = D3DSPR_OUTPUT, kS = D3DSPR_SAMPLER;

// The usage part of a dcl token: usage in bits 0-4, index in bits 16-19.
constexpr DWORD Usage(DWORD usage, DWORD index = 0) { return 0x80000000u | usage | (index << 16); }
constexpr DWORD kSampler2d = 0x80000000u | D3DSTT_2D;

// A corner of the quad with one four-component attribute (declared as texcoord0).
struct AttributeVertex {
  float x, y, z, w;
  float a[4];
};

constexpr float kClipCorners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};

class GlShaderModel3 : public GlShaderDraw {
 protected:
  // Sets a quad whose corners carry `attributes` as texcoord0, through a declaration.
  void SetQuad(const std::array<ShaderVector, 4>& attributes) {
    AttributeVertex vertices[4];
    for (int i = 0; i < 4; ++i) {
      vertices[i] = {kClipCorners[i][0], kClipCorners[i][1], 0, 1, {}};
      std::memcpy(vertices[i].a, attributes[i].data(), sizeof vertices[i].a);
    }
    buffer_ = Buffer(vertices, sizeof vertices, 0);
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 16, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          D3DDECL_END()};
    ASSERT_EQ(device_->CreateVertexDeclaration(elements, declaration_.ReleaseAndGetAddressOf()), D3D_OK);
    device_->SetStreamSource(0, buffer_.Get(), 0, sizeof(AttributeVertex));
    device_->SetVertexDeclaration(declaration_.Get());
  }

  void SetShaders(const std::vector<DWORD>& vertex, const std::vector<DWORD>& pixel) {
    ASSERT_EQ(device_->CreateVertexShader(vertex.data(), vertexShader_.ReleaseAndGetAddressOf()), D3D_OK);
    ASSERT_EQ(device_->CreatePixelShader(pixel.data(), pixelShader_.ReleaseAndGetAddressOf()), D3D_OK);
    device_->SetVertexShader(vertexShader_.Get());
    device_->SetPixelShader(pixelShader_.Get());
  }

  // Runs the vertex shader on each corner (position in v0, the attribute in v1), interpolates
  // every output to the check points and compares the pixel shader's oC`target` there.
  void ExpectEvaluated(const std::vector<DWORD>& vertex, const std::vector<DWORD>& pixel,
                       const std::array<ShaderVector, 4>& attributes, const std::vector<DWORD>& pixels,
                       const ShaderTextureSampler* vertexTextures = nullptr, const ShaderConstants& constants = {},
                       int target = 0) {
    ShaderEvaluator vertexEvaluator, pixelEvaluator;
    ASSERT_EQ(vertexEvaluator.Load(vertex.data(), vertex.size()), D3D_OK);
    ASSERT_EQ(pixelEvaluator.Load(pixel.data(), pixel.size()), D3D_OK);
    ASSERT_EQ(pixels.size(), kSize * kSize);
    std::array<ShaderVaryings, 4> corners;
    for (int i = 0; i < 4; ++i) {
      std::array<ShaderVector, 16> inputs{};
      inputs[0] = {kClipCorners[i][0], kClipCorners[i][1], 0, 1};
      inputs[1] = attributes[i];
      corners[i] = vertexEvaluator.RunVertex(inputs, constants, vertexTextures);
    }
    for (const auto& point : kPoints) {
      ShaderVaryings at = corners[0];
      auto blend = [&](auto member) {
        std::array<ShaderVector, 4> values{member(corners[0]), member(corners[1]), member(corners[2]),
                                           member(corners[3])};
        return Interpolate(values, point[0], point[1]);
      };
      for (int k = 0; k < 2; ++k) at.color[k] = blend([k](const ShaderVaryings& v) { return v.color[k]; });
      for (int k = 0; k < 8; ++k) at.texcoord[k] = blend([k](const ShaderVaryings& v) { return v.texcoord[k]; });
      at.fog = blend([](const ShaderVaryings& v) { return ShaderVector{v.fog, 0, 0, 0}; })[0];
      for (size_t k = 0; k < at.other.size(); ++k) {
        at.other[k].second = blend([k](const ShaderVaryings& v) { return v.other[k].second; });
      }
      ShaderVector position{static_cast<float>(point[0]), static_cast<float>(point[1]), 0, 0};
      PixelResult result = pixelEvaluator.RunPixel(at, constants, nullptr, position, true);
      ExpectPixel(pixels[point[1] * kSize + point[0]], result.color[target], point[0], point[1]);
    }
  }

  ComPtr<IDirect3DVertexBuffer9> buffer_;
  ComPtr<IDirect3DVertexDeclaration9> declaration_;
  ComPtr<IDirect3DVertexShader9> vertexShader_;
  ComPtr<IDirect3DPixelShader9> pixelShader_;
};

// Point sampling with an explicit level, texel centres as Direct3D places them, wrapping.
class LevelSampler : public ShaderTextureSampler {
 public:
  struct Level {
    int size;
    std::vector<ShaderVector> texels;
  };
  std::array<std::vector<Level>, 4> samplers;
  ShaderVector Sample(UINT sampler, const ShaderVector& c, float lod) const override {
    const std::vector<Level>& levels = samplers[sampler & 3];
    const Level& level =
        levels[std::min<size_t>(static_cast<size_t>(std::max(0.0f, std::round(lod))), levels.size() - 1)];
    int u = static_cast<int>(std::floor(c[0] * level.size)) & (level.size - 1);
    int v = static_cast<int>(std::floor(c[1] * level.size)) & (level.size - 1);
    return level.texels[v * level.size + u];
  }
};

TEST_F(GlShaderModel3, VertexShaderSamplesFloatTexturesThroughTheVertexSamplers) {
  LevelSampler sampler;
  // s0: A32B32G32R32F, 4x4 and 2x2 levels; s2: R32F 4x4 (reads as r, 1, 1, 1).
  sampler.samplers[0] = {{4, {}}, {2, {}}};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x)
      sampler.samplers[0][0].texels.push_back({0.05f * x, 0.05f * y, 0.1f + 0.02f * (x + y), 1});
  }
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) sampler.samplers[0][1].texels.push_back({0.3f + 0.1f * x, 0.3f + 0.1f * y, 0.05f, 1});
  }
  sampler.samplers[2] = {{4, {}}};
  for (int i = 0; i < 16; ++i) sampler.samplers[2][0].texels.push_back({0.03f * i, 1, 1, 1});

  ComPtr<IDirect3DTexture9> rgba, red;
  ASSERT_EQ(
      device_->CreateTexture(4, 4, 2, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, rgba.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_R32F, D3DPOOL_MANAGED, red.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  for (UINT level = 0; level < 2; ++level) {
    const LevelSampler::Level& texels = sampler.samplers[0][level];
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(rgba->LockRect(level, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < texels.size; ++y) {
      // A32B32G32R32F holds R, G, B, A floats in that order.
      std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, texels.texels[y * texels.size].data(),
                  16 * texels.size);
    }
    rgba->UnlockRect(level);
  }
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(red->LockRect(0, &locked, nullptr, 0), D3D_OK);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + 4 * x,
                  &sampler.samplers[2][0].texels[y * 4 + x][0], 4);
    }
  }
  red->UnlockRect(0);
  ASSERT_EQ(device_->SetTexture(D3DVERTEXTEXTURESAMPLER0, rgba.Get()), D3D_OK);
  ASSERT_EQ(device_->SetTexture(D3DVERTEXTEXTURESAMPLER2, red.Get()), D3D_OK);
  // A texture on pixel stage 0 must not be what the vertex shader's s0 reads.
  ASSERT_EQ(device_->SetTexture(0, red.Get()), D3D_OK);
  device_->SetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);

  // Coordinates on texel centres of both levels; w picks the level.
  const std::array<ShaderVector, 4> attributes{
      {{0.125f, 0.125f, 0, 0}, {0.875f, 0.125f, 0, 1}, {0.125f, 0.875f, 0, 1}, {0.625f, 0.375f, 0, 0}}};
  SetQuad(attributes);
  std::vector<DWORD> vertex = TokenStream(kVs30)
                                  .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_POSITION), Dst(kV, 0)})
                                  .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD), Dst(kV, 1)})
                                  .Op(D3DSIO_DCL, {kSampler2d, Dst(kS, 0)})
                                  .Op(D3DSIO_DCL, {kSampler2d, Dst(kS, 2)})
                                  .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_POSITION), Dst(kO, 0)})
                                  .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD), Dst(kO, 1)})
                                  .Op(D3DSIO_MOV, {Dst(kO, 0), Src(kV, 0)})
                                  .Op(D3DSIO_TEXLDL, {Dst(kR, 0), Src(kV, 1), Src(kS, 0)})
                                  .Op(D3DSIO_TEXLDL, {Dst(kR, 1), Src(kV, 1), Src(kS, 2)})
                                  .Op(D3DSIO_ADD, {Dst(kO, 1), Src(kR, 0), Src(kR, 1, Swz(0, 0, 0, 0))})
                                  .End();
  std::vector<DWORD> pixel = TokenStream(kPs30)
                                 .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD), Dst(kV, 0)})
                                 .Op(D3DSIO_MOV, {Dst(D3DSPR_COLOROUT, 0), Src(kV, 0)})
                                 .End();
  SetShaders(vertex, pixel);
  ExpectEvaluated(vertex, pixel, attributes, Frame(), &sampler);
}

TEST_F(GlShaderModel3, AdapterOffersShaderModelThreeAndFloatVertexTextures) {
  D3DCAPS9 caps{};
  ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
  EXPECT_EQ(caps.VertexShaderVersion, D3DVS_VERSION(3, 0));
  EXPECT_EQ(caps.PixelShaderVersion, D3DPS_VERSION(3, 0));
  // Shader model 3.0 devices have at least these.
  EXPECT_GE(caps.MaxVertexShader30InstructionSlots, 512u);
  EXPECT_GE(caps.MaxPixelShader30InstructionSlots, 512u);
  EXPECT_GE(caps.MaxVShaderInstructionsExecuted, 65535u);
  EXPECT_GE(caps.MaxPShaderInstructionsExecuted, 65535u);
  EXPECT_EQ(caps.VS20Caps.NumTemps, 32);
  EXPECT_EQ(caps.PS20Caps.NumTemps, 32);
  EXPECT_NE(caps.VertexTextureFilterCaps & D3DPTFILTERCAPS_MINFPOINT, 0u);

  // The software versions are for software vertex processing only; there is nothing above 3.0.
  for (DWORD version : {DWORD{0xFFFE03FF}, DWORD{0xFFFE0400}}) {
    const DWORD tokens[] = {version, 0x0000FFFF};
    ComPtr<IDirect3DVertexShader9> shader;
    EXPECT_EQ(device_->CreateVertexShader(tokens, shader.ReleaseAndGetAddressOf()), D3DERR_INVALIDCALL)
        << std::hex << version;
  }
  for (DWORD version : {DWORD{0xFFFF03FF}, DWORD{0xFFFF0400}}) {
    const DWORD tokens[] = {version, 0x0000FFFF};
    ComPtr<IDirect3DPixelShader9> shader;
    EXPECT_EQ(device_->CreatePixelShader(tokens, shader.ReleaseAndGetAddressOf()), D3DERR_INVALIDCALL)
        << std::hex << version;
  }

  D3DDISPLAYMODE mode{};
  ASSERT_EQ(device_->GetDisplayMode(0, &mode), D3D_OK);
  auto vertexTexture = [&](D3DFORMAT format) {
    return direct3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, mode.Format, D3DUSAGE_QUERY_VERTEXTEXTURE, D3DRTYPE_TEXTURE,
                                        format);
  };
  EXPECT_EQ(vertexTexture(D3DFMT_R32F), D3D_OK);
  EXPECT_EQ(vertexTexture(D3DFMT_A32B32G32R32F), D3D_OK);
  EXPECT_EQ(vertexTexture(D3DFMT_A8R8G8B8), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(vertexTexture(D3DFMT_A16B16G16R16F), D3DERR_NOTAVAILABLE);
}

constexpr DWORD kMisc = D3DSPR_MISCTYPE;

// Corner attributes in [0, 1], different in every component.
const std::array<ShaderVector, 4> kAttributes{
    {{0, 0.2f, 0.4f, 1}, {1, 0.5f, 0, 0.5f}, {0.3f, 1, 0.6f, 0}, {0.8f, 0.1f, 0.9f, 0.3f}}};

TEST_F(GlShaderModel3, PixelShaderInputsMeetVertexShaderOutputsByUsageNotRegister) {
  SetQuad(kAttributes);
  // Outputs in an order of registers the pixel shader does not follow; a tangent nobody reads.
  std::vector<DWORD> vertex =
      TokenStream(kVs30)
          .Def(0, 0.5f, 0.25f, 1, 0.75f)
          .Def(1, 0.9f, 0.1f, 0.3f, 0.6f)
          .Def(2, 0.7f, 0.2f, 0.6f, 0.4f)
          .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_POSITION), Dst(kV, 0)})
          .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD), Dst(kV, 1)})
          .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD, 3), Dst(kO, 0)})
          .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_NORMAL), Dst(kO, 1)})
          .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_FOG), Dst(kO, 2, 0x1)})
          .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_POSITION), Dst(kO, 3)})
          .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TANGENT, 2), Dst(kO, 4)})
          .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_COLOR, 1), Dst(kO, 5)})
          .Op(D3DSIO_MOV, {Dst(kO, 3), Src(kV, 0)})
          .Op(D3DSIO_MUL, {Dst(kO, 0), Src(kV, 1), Src(kC, 0)})
          .Op(D3DSIO_MAD, {Dst(kO, 1), Src(kV, 1, Swz(3, 2, 1, 0)), Src(kC, 1), Src(kC, 2, kIdentity, D3DSPSM_NEG)})
          .Op(D3DSIO_MOV, {Dst(kO, 2, 0x1), Src(kV, 1, Swz(1, 1, 1, 1))})
          .Op(D3DSIO_MOV, {Dst(kO, 4), Src(kC, 1)})
          .Op(D3DSIO_MOV, {Dst(kO, 5), Src(kC, 2)})
          .End();
  // oC0 = normal/4 + texcoord3/4 + colour1/4 + fog/10 + binormal (never written: 0) + vPos/256.
  std::vector<DWORD> pixel = TokenStream(kPs30)
                                 .Def(0, 0.25f, 0.25f, 0.25f, 0.25f)
                                 .Def(1, 0.1f, 0.1f, 0.1f, 0.1f)
                                 .Def(2, 1.0f / 256, 1.0f / 256, 0, 0)
                                 .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_NORMAL), Dst(kV, 0)})
                                 .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD, 3), Dst(kV, 1)})
                                 .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_FOG), Dst(kV, 2, 0x1)})
                                 .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_COLOR, 1), Dst(kV, 3)})
                                 .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_BINORMAL), Dst(kV, 4)})
                                 .Op(D3DSIO_DCL, {0x80000000, Dst(kMisc, D3DSMO_POSITION, 0x3)})
                                 .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kV, 0), Src(kV, 1)})
                                 .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kV, 3)})
                                 .Op(D3DSIO_MUL, {Dst(kR, 0), Src(kR, 0), Src(kC, 0)})
                                 .Op(D3DSIO_MAD, {Dst(kR, 0), Src(kV, 2, Swz(0, 0, 0, 0)), Src(kC, 1), Src(kR, 0)})
                                 .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kV, 4)})
                                 .Op(D3DSIO_MAD, {Dst(kR, 0, 0x3), Src(kMisc, D3DSMO_POSITION), Src(kC, 2), Src(kR, 0)})
                                 .Op(D3DSIO_MOV, {Dst(D3DSPR_COLOROUT, 0), Src(kR, 0)})
                                 .End();
  SetShaders(vertex, pixel);
  ExpectEvaluated(vertex, pixel, kAttributes, Frame());
}

TEST_F(GlShaderModel3, FaceRegisterIsPositiveForClockwiseTriangles) {
  // Left: clockwise on the screen; right: counter-clockwise. No culling.
  const AttributeVertex vertices[6] = {{-1, 1, 0, 1, {}}, {0, 1, 0, 1, {}},    {-1, -1, 0, 1, {}},
                                       {1, 1, 0, 1, {}},  {0.1f, 1, 0, 1, {}}, {1, -1, 0, 1, {}}};
  buffer_ = Buffer(vertices, sizeof vertices, 0);
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
  ASSERT_EQ(device_->CreateVertexDeclaration(elements, declaration_.ReleaseAndGetAddressOf()), D3D_OK);
  device_->SetStreamSource(0, buffer_.Get(), 0, sizeof(AttributeVertex));
  device_->SetVertexDeclaration(declaration_.Get());
  std::vector<DWORD> vertex = TokenStream(kVs30)
                                  .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_POSITION), Dst(kV, 0)})
                                  .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_POSITION), Dst(kO, 0)})
                                  .Op(D3DSIO_MOV, {Dst(kO, 0), Src(kV, 0)})
                                  .End();
  std::vector<DWORD> pixel =
      TokenStream(kPs30)
          .Def(0, 1, 0.75f, 0.5f, 1)
          .Def(1, 0.25f, 0, 0.125f, 1)
          .Op(D3DSIO_DCL, {0x80000000, Dst(kMisc, D3DSMO_FACE, 0x1)})
          .Op(D3DSIO_CMP, {Dst(D3DSPR_COLOROUT, 0), Src(kMisc, D3DSMO_FACE, Swz(0, 0, 0, 0)), Src(kC, 0), Src(kC, 1)})
          .End();
  SetShaders(vertex, pixel);
  std::vector<DWORD> pixels = Frame(D3DPT_TRIANGLELIST, 2);
  ASSERT_EQ(pixels.size(), kSize * kSize);
  ShaderEvaluator evaluator;
  ASSERT_EQ(evaluator.Load(pixel.data(), pixel.size()), D3D_OK);
  ExpectPixel(pixels[20 * kSize + 5], evaluator.RunPixel({}, {}, nullptr, {5, 20, 0, 0}, true).color[0], 5, 20);
  ExpectPixel(pixels[20 * kSize + 60], evaluator.RunPixel({}, {}, nullptr, {60, 20, 0, 0}, false).color[0], 60, 20);
  EXPECT_EQ(pixels[20 * kSize + 5] & 0xFFFFFF, 0xFFBF80u);   // c0 by hand
  EXPECT_EQ(pixels[20 * kSize + 60] & 0xFFFFFF, 0x400020u);  // c1 by hand
}

TEST_F(GlShaderModel3, PixelShaderWritesEachRenderTargetItHasAColourFor) {
  D3DCAPS9 caps{};
  ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
  ASSERT_EQ(caps.NumSimultaneousRTs, 4u);
  std::array<ComPtr<IDirect3DSurface9>, 4> targets;
  device_->GetRenderTarget(0, targets[0].ReleaseAndGetAddressOf());
  for (DWORD index = 1; index < 4; ++index) {
    ASSERT_EQ(device_->CreateRenderTarget(kSize, kSize, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                          targets[index].ReleaseAndGetAddressOf(), nullptr),
              D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(index, targets[index].Get()), D3D_OK);
  }
  SetQuad(kAttributes);
  std::vector<DWORD> vertex = TokenStream(kVs30)
                                  .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_POSITION), Dst(kV, 0)})
                                  .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD), Dst(kV, 1)})
                                  .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_POSITION), Dst(kO, 0)})
                                  .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD), Dst(kO, 1)})
                                  .Op(D3DSIO_MOV, {Dst(kO, 0), Src(kV, 0)})
                                  .Op(D3DSIO_MOV, {Dst(kO, 1), Src(kV, 1)})
                                  .End();
  // oC0 = t, oC1 = 1 - t, oC3 = t.zxyw; nothing for target 2.
  std::vector<DWORD> pixel =
      TokenStream(kPs30)
          .Def(0, 1, 1, 1, 1)
          .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD), Dst(kV, 0)})
          .Op(D3DSIO_MOV, {Dst(D3DSPR_COLOROUT, 0), Src(kV, 0)})
          .Op(D3DSIO_ADD, {Dst(D3DSPR_COLOROUT, 1), Src(kC, 0), Src(kV, 0, kIdentity, D3DSPSM_NEG)})
          .Op(D3DSIO_MOV, {Dst(D3DSPR_COLOROUT, 3), Src(kV, 0, Swz(2, 0, 1, 3))})
          .End();
  SetShaders(vertex, pixel);
  std::vector<DWORD> first = Frame();
  ExpectEvaluated(vertex, pixel, kAttributes, first);
  ExpectEvaluated(vertex, pixel, kAttributes, Read(targets[1].Get()), nullptr, {}, 1);
  ExpectEvaluated(vertex, pixel, kAttributes, Read(targets[3].Get()), nullptr, {}, 3);
  // Cleared with the others, never drawn into.
  std::vector<DWORD> untouched = Read(targets[2].Get());
  ASSERT_EQ(untouched.size(), kSize * kSize);
  for (const auto& point : kPoints) EXPECT_EQ(untouched[point[1] * kSize + point[0]], 0xFF123456u);

  // Targets of another size do not draw together.
  ComPtr<IDirect3DSurface9> small;
  ASSERT_EQ(device_->CreateRenderTarget(kSize - 1, kSize, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                        small.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ASSERT_EQ(device_->SetRenderTarget(2, small.Get()), D3D_OK);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
  device_->EndScene();
  EXPECT_EQ(device_->SetRenderTarget(4, targets[1].Get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->SetRenderTarget(2, nullptr), D3D_OK);
  ComPtr<IDirect3DSurface9> none;
  EXPECT_EQ(device_->GetRenderTarget(2, none.ReleaseAndGetAddressOf()), D3DERR_NOTFOUND);
}

// Lit pixels of a frame cleared to 0x123456.
int LitPixels(const std::vector<DWORD>& pixels) {
  return static_cast<int>(
      std::count_if(pixels.begin(), pixels.end(), [](DWORD p) { return (p & 0xFFFFFF) != 0x123456; }));
}

TEST_F(GlShaderModel3, PointSizeComesFromTheVertexShaderOrTheRenderState) {
  // One point on the centre of pixel (31, 31).
  const float centre = 2.0f * 31 / kSize - 1;
  const AttributeVertex point{centre, -centre, 0, 1, {}};
  buffer_ = Buffer(&point, sizeof point, 0);
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
  ASSERT_EQ(device_->CreateVertexDeclaration(elements, declaration_.ReleaseAndGetAddressOf()), D3D_OK);
  device_->SetStreamSource(0, buffer_.Get(), 0, sizeof(AttributeVertex));
  device_->SetVertexDeclaration(declaration_.Get());
  D3DCAPS9 caps{};
  ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
  ASSERT_GE(caps.MaxPointSize, 9.0f);

  std::vector<DWORD> white =
      TokenStream(kPs30).Def(0, 1, 1, 1, 1).Op(D3DSIO_MOV, {Dst(D3DSPR_COLOROUT, 0), Src(kC, 0)}).End();
  std::vector<DWORD> vs30 = TokenStream(kVs30)
                                .Def(0, 9, 0, 0, 0)
                                .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_POSITION), Dst(kV, 0)})
                                .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_POSITION), Dst(kO, 0)})
                                .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_PSIZE), Dst(kO, 1, 0x1)})
                                .Op(D3DSIO_MOV, {Dst(kO, 0), Src(kV, 0)})
                                .Op(D3DSIO_MOV, {Dst(kO, 1, 0x1), Src(kC, 0)})
                                .End();
  SetShaders(vs30, white);
  ShaderEvaluator evaluator;
  ASSERT_EQ(evaluator.Load(vs30.data(), vs30.size()), D3D_OK);
  std::array<ShaderVector, 16> inputs{};
  inputs[0] = {point.x, point.y, 0, 1};
  ASSERT_EQ(evaluator.RunVertex(inputs, {}, nullptr).pointSize, 9.0f);
  EXPECT_EQ(LitPixels(Frame(D3DPT_POINTLIST, 1)), 81);
  device_->SetRenderState(D3DRS_POINTSIZE_MAX, FloatBitsOf(5.0f));  // the shader's 9 is clamped
  EXPECT_EQ(LitPixels(Frame(D3DPT_POINTLIST, 1)), 25);
  device_->SetRenderState(D3DRS_POINTSIZE_MAX, FloatBitsOf(64.0f));

  // vs_1_1 writes oPts; the pixel stage is the fixed function's.
  std::vector<DWORD> vs11 = TokenStream(D3DVS_VERSION(1, 1))
                                .Def(0, 3, 0, 0, 0)
                                .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_POSITION), Dst(kV, 0)})
                                .Op(D3DSIO_MOV, {Dst(D3DSPR_RASTOUT, D3DSRO_POSITION), Src(kV, 0)})
                                .Op(D3DSIO_MOV, {Dst(D3DSPR_ATTROUT, 0), Src(kC, 0, Swz(0, 0, 0, 0))})
                                .Op(D3DSIO_MOV, {Dst(D3DSPR_RASTOUT, D3DSRO_POINT_SIZE, 0x1), Src(kC, 0)})
                                .End();
  ComPtr<IDirect3DVertexShader9> shader11;
  ASSERT_EQ(device_->CreateVertexShader(vs11.data(), shader11.ReleaseAndGetAddressOf()), D3D_OK);
  device_->SetVertexShader(shader11.Get());
  device_->SetPixelShader(nullptr);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  EXPECT_EQ(LitPixels(Frame(D3DPT_POINTLIST, 1)), 9);

  // Without a vertex shader point size the render state decides.
  device_->SetVertexShader(nullptr);
  device_->SetRenderState(D3DRS_POINTSIZE, FloatBitsOf(7.0f));
  struct ScreenVertex {
    float x, y, z, rhw;
    DWORD color;
  };
  const ScreenVertex screen{31, 31, 0, 1, 0xFFFFFFFF};
  buffer_ = Buffer(&screen, sizeof screen, D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device_->SetStreamSource(0, buffer_.Get(), 0, sizeof screen);
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  EXPECT_EQ(LitPixels(Frame(D3DPT_POINTLIST, 1)), 49);
}

TEST_F(GlShaderModel3, DeviceAcceptsTheShaderModel3Cases) {
  for (const ShaderCase& c : PixelCases()) {
    if (c.tokens[0] != kPs30) continue;
    ComPtr<IDirect3DPixelShader9> shader;
    EXPECT_EQ(device_->CreatePixelShader(c.tokens.data(), shader.ReleaseAndGetAddressOf()), D3D_OK) << c.name;
  }
  for (const ShaderCase& c : VertexCases()) {
    if (c.tokens[0] != kVs30) continue;
    ComPtr<IDirect3DVertexShader9> shader;
    EXPECT_EQ(device_->CreateVertexShader(c.tokens.data(), shader.ReleaseAndGetAddressOf()), D3D_OK) << c.name;
  }
}

// Texture coordinates that run from 0 to 1 across the quad change by 1/63 per pixel.
const std::array<ShaderVector, 4> kRamp{{{0, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1}, {1, 1, 0, 1}}};

std::vector<DWORD> PassCoordinates() {
  return TokenStream(kVs30)
      .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_POSITION), Dst(kV, 0)})
      .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD), Dst(kV, 1)})
      .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_POSITION), Dst(kO, 0)})
      .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD), Dst(kO, 1)})
      .Op(D3DSIO_MOV, {Dst(kO, 0), Src(kV, 0)})
      .Op(D3DSIO_MOV, {Dst(kO, 1), Src(kV, 1)})
      .End();
}

TEST_F(GlShaderModel3, DerivativesAreTheChangeToTheNextPixel) {
  SetQuad(kRamp);
  // (dsx(t).x, dsy(t).y, dsx(t).y) * 31.5 + (0, 0, 0.25): half a unit per pixel along its axis,
  // nothing across it.
  std::vector<DWORD> pixel = TokenStream(kPs30)
                                 .Def(0, 31.5f, 31.5f, 31.5f, 0)
                                 .Def(1, 0, 0, 0.25f, 1)
                                 .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD), Dst(kV, 0)})
                                 .Op(D3DSIO_DSX, {Dst(kR, 0), Src(kV, 0)})
                                 .Op(D3DSIO_DSY, {Dst(kR, 1), Src(kV, 0)})
                                 .Op(D3DSIO_MOV, {Dst(kR, 2), Src(kC, 1)})
                                 .Op(D3DSIO_MAD, {Dst(kR, 2, 0x1), Src(kR, 0, Swz(0, 0, 0, 0)), Src(kC, 0), Src(kR, 2)})
                                 .Op(D3DSIO_MAD, {Dst(kR, 2, 0x2), Src(kR, 1, Swz(1, 1, 1, 1)), Src(kC, 0), Src(kR, 2)})
                                 .Op(D3DSIO_MAD, {Dst(kR, 2, 0x4), Src(kR, 0, Swz(1, 1, 1, 1)), Src(kC, 0), Src(kR, 2)})
                                 .Op(D3DSIO_MOV, {Dst(D3DSPR_COLOROUT, 0), Src(kR, 2)})
                                 .End();
  SetShaders(PassCoordinates(), pixel);
  std::vector<DWORD> pixels = Frame();
  ASSERT_EQ(pixels.size(), kSize * kSize);
  for (const auto& point : kPoints)
    ExpectPixel(pixels[point[1] * kSize + point[0]], {0.5f, 0.5f, 0.25f, 1}, point[0], point[1]);
}

TEST_F(GlShaderModel3, ExplicitGradientsChooseTheMipLevel) {
  // 2x2 level of four colours, 1x1 level of one.
  LevelSampler sampler;
  sampler.samplers[0] = {{2, {Unpack(0xFFFF0000), Unpack(0xFF00FF00), Unpack(0xFF0000FF), Unpack(0xFFFFFFFF)}},
                         {1, {Unpack(0xFF40C080)}}};
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(
      device_->CreateTexture(2, 2, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  const DWORD texels[2][4] = {{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}, {0xFF40C080}};
  for (UINT level = 0; level < 2; ++level) {
    UINT size = 2 >> level;
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < size; ++y)
      std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, &texels[level][y * size], 4 * size);
    texture->UnlockRect(level);
  }
  device_->SetTexture(0, texture.Get());
  device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
  SetQuad(kRamp);
  auto shader = [](DWORD gradients) {
    return TokenStream(kPs30)
        .Def(0, 0, 0, 0, 0)
        .Def(1, 1, 0, 0, 0)
        .Def(2, 0, 1, 0, 0)
        .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD), Dst(kV, 0)})
        .Op(D3DSIO_DCL, {kSampler2d, Dst(kS, 0)})
        .Op(D3DSIO_TEXLDD, {Dst(kR, 0), Src(kV, 0), Src(kS, 0), Src(kC, gradients), Src(kC, gradients ? 2 : 0)})
        .Op(D3DSIO_MOV, {Dst(D3DSPR_COLOROUT, 0), Src(kR, 0)})
        .End();
  };
  // No change across the pixel: the 2x2 level, as the evaluator samples it.
  std::vector<DWORD> flat = shader(0);
  SetShaders(PassCoordinates(), flat);
  {
    std::vector<DWORD> pixels = Frame();
    ShaderEvaluator evaluator;
    ASSERT_EQ(evaluator.Load(flat.data(), flat.size()), D3D_OK);
    for (const auto& point : kPoints) {
      ShaderVaryings at;
      at.texcoord[0] = Interpolate(kRamp, point[0], point[1]);
      ExpectPixel(pixels[point[1] * kSize + point[0]], evaluator.RunPixel(at, {}, &sampler).color[0], point[0],
                  point[1]);
    }
  }
  // A whole texture per pixel (two texels of the top level): the 1x1 level everywhere.
  SetShaders(PassCoordinates(), shader(1));
  std::vector<DWORD> pixels = Frame();
  ASSERT_EQ(pixels.size(), kSize * kSize);
  for (const auto& point : kPoints)
    ExpectPixel(pixels[point[1] * kSize + point[0]], Unpack(0xFF40C080), point[0], point[1]);
}

TEST_F(GlShaderModel3, PointSpritesSpanTheTextureCoordinatesOverThePoint) {
  // A five-pixel point on the centre of pixel (31, 31) covers pixels 29-33; the sprite's
  // coordinates at their centres are 0.1, 0.3, ... 0.9.
  struct SpriteVertex {
    float x, y, z, rhw;
    float u, v;
  };
  const SpriteVertex vertex{31, 31, 0, 1, 0.5f, 0.25f};
  buffer_ = Buffer(&vertex, sizeof vertex, D3DFVF_XYZRHW | D3DFVF_TEX1);
  device_->SetStreamSource(0, buffer_.Get(), 0, sizeof vertex);
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
  device_->SetRenderState(D3DRS_POINTSIZE, FloatBitsOf(5.0f));
  device_->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);

  std::vector<DWORD> coordinates = TokenStream(D3DPS_VERSION(2, 0))
                                       .Op(D3DSIO_DCL, {0x80000000, Dst(D3DSPR_TEXTURE, 0)})
                                       .Op(D3DSIO_MOV, {Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEXTURE, 0)})
                                       .End();
  ComPtr<IDirect3DPixelShader9> shader;
  ASSERT_EQ(device_->CreatePixelShader(coordinates.data(), shader.ReleaseAndGetAddressOf()), D3D_OK);
  device_->SetPixelShader(shader.Get());
  std::vector<DWORD> pixels = Frame(D3DPT_POINTLIST, 1);
  ASSERT_EQ(pixels.size(), kSize * kSize);
  EXPECT_EQ(LitPixels(pixels), 25);
  for (int y = 29; y <= 33; y += 2) {
    for (int x = 29; x <= 33; x += 2) {
      ExpectPixel(pixels[y * kSize + x], {(x - 28.5f) / 5, (y - 28.5f) / 5, 0, 1}, x, y);
    }
  }
  // Not a sprite: the vertex's coordinates over the whole point.
  device_->SetRenderState(D3DRS_POINTSPRITEENABLE, FALSE);
  pixels = Frame(D3DPT_POINTLIST, 1);
  ASSERT_EQ(pixels.size(), kSize * kSize);
  ExpectPixel(pixels[29 * kSize + 29], {0.5f, 0.25f, 0, 1}, 29, 29);
  ExpectPixel(pixels[33 * kSize + 33], {0.5f, 0.25f, 0, 1}, 33, 33);

  // The fixed-function stages take the sprite's coordinates too: a 2x2 texture's texels at the
  // point's corners.
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(
      device_->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  const DWORD texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  for (int y = 0; y < 2; ++y) std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, &texels[2 * y], 8);
  texture->UnlockRect(0);
  device_->SetTexture(0, texture.Get());
  device_->SetPixelShader(nullptr);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device_->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
  pixels = Frame(D3DPT_POINTLIST, 1);
  ASSERT_EQ(pixels.size(), kSize * kSize);
  EXPECT_EQ(pixels[29 * kSize + 29] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(pixels[29 * kSize + 33] & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(pixels[33 * kSize + 29] & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(pixels[33 * kSize + 33] & 0xFFFFFF, 0xFFFFFFu);
}

// Point sampling of 2x2 textures on any of the sixteen pixel samplers.
class QuadTexelSampler : public ShaderTextureSampler {
 public:
  std::array<std::array<DWORD, 4>, 16> texels{};
  ShaderVector Sample(UINT sampler, const ShaderVector& c, float) const override {
    int u = static_cast<int>(std::floor(c[0] * 2.0f)) & 1;
    int v = static_cast<int>(std::floor(c[1] * 2.0f)) & 1;
    return Unpack(texels[sampler & 15][v * 2 + u]);
  }
};

TEST_F(GlShaderModel3, PixelShadersReadTheSamplersBeyondTheEightStages) {
  QuadTexelSampler sampler;
  sampler.texels[8] = {0xFF204060, 0xFF608020, 0xFF802040, 0xFF406080};
  sampler.texels[15] = {0xFF101010, 0xFF303030, 0xFF505050, 0xFF707070};
  sampler.texels[0] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};  // must not be read
  std::vector<ComPtr<IDirect3DTexture9>> textures;
  for (DWORD stage : {DWORD{0}, DWORD{8}, DWORD{15}}) {
    ComPtr<IDirect3DTexture9> texture;
    ASSERT_EQ(
        device_->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(), nullptr),
        D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 2; ++y)
      std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, &sampler.texels[stage][2 * y], 8);
    texture->UnlockRect(0);
    ASSERT_EQ(device_->SetTexture(stage, texture.Get()), D3D_OK);
    textures.push_back(texture);
  }
  SetQuad(kRamp);
  // s8 + s15 (declared the other way round from their numbers' order).
  std::vector<DWORD> pixel = TokenStream(kPs30)
                                 .Op(D3DSIO_DCL, {Usage(D3DDECLUSAGE_TEXCOORD), Dst(kV, 0)})
                                 .Op(D3DSIO_DCL, {kSampler2d, Dst(kS, 15)})
                                 .Op(D3DSIO_DCL, {kSampler2d, Dst(kS, 8)})
                                 .Op(D3DSIO_TEX, {Dst(kR, 0), Src(kV, 0), Src(kS, 8)})
                                 .Op(D3DSIO_TEX, {Dst(kR, 1), Src(kV, 0), Src(kS, 15)})
                                 .Op(D3DSIO_ADD, {Dst(D3DSPR_COLOROUT, 0), Src(kR, 0), Src(kR, 1)})
                                 .End();
  SetShaders(PassCoordinates(), pixel);
  std::vector<DWORD> pixels = Frame();
  ASSERT_EQ(pixels.size(), kSize * kSize);
  ShaderEvaluator evaluator;
  ASSERT_EQ(evaluator.Load(pixel.data(), pixel.size()), D3D_OK);
  for (const auto& point : kPoints) {
    ShaderVaryings at;
    at.texcoord[0] = Interpolate(kRamp, point[0], point[1]);
    ExpectPixel(pixels[point[1] * kSize + point[0]], evaluator.RunPixel(at, {}, &sampler).color[0], point[0], point[1]);
  }
}

}  // namespace
}  // namespace rastro::testing
