// The texture-addressing instructions of pixel shaders 1.1-1.4 drawn through the Direct3D device
// on OpenGL: each small shader's frame, at the corners and centre, equals the CPU evaluator run
// on the interpolated texture coordinates with the same four 8x8 textures. Tolerance as in
// GlShaderDrawFixture.h. The coordinates are chosen off texel edges so that point sampling of a
// computed coordinate cannot land on a neighbouring texel by rounding alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "GlShaderDrawFixture.h"
#include "ShaderCases.h"

namespace rastro::testing {
namespace {

constexpr DWORD kClear = 0xFF123456;

class GlTextureAddressing : public GlShaderDraw, public ::testing::WithParamInterface<AddressingCase> {};

// Texture coordinates at the quad's corners: four sets of four components, spread over [0.05, 0.95)
// in steps no multiple of 1/8.
float Coordinate(int set, int corner, int component) {
  return std::fmod(0.137f * static_cast<float>(set + 1) + 0.291f * static_cast<float>(corner) +
                       0.413f * static_cast<float>(component) + 0.05f,
                   0.9f) +
         0.05f;
}

TEST_P(GlTextureAddressing, FrameEqualsTheEvaluator) {
  const AddressingCase& c = GetParam();
  TexelSampler sampler;
  std::array<ComPtr<IDirect3DTexture9>, 4> textures;
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 64; ++i) {
      const DWORD r = (i * (37 + 20 * t) + 11 * t) % 256, g = (i * 91 + 53 * t) % 256,
                  b = (255 - i * 3 - 17 * t) & 0xFF;
      sampler.texels[t][i] = ((128 + i * 2) << 24) | (r << 16) | (g << 8) | b;
    }
    textures[t] = StageTexture(t, sampler.texels[t]);
    ASSERT_TRUE(textures[t]);
  }
  ShaderConstants constants;
  constants.floats = {{0.3f, -0.5f, 0.8f, 0.0f}, {0.7f, 0.4f, 0.25f, 0.9f}};
  device_->SetPixelShaderConstantF(0, constants.floats[0].data(), 2);
  const ShaderBumpEnvironment bump{0.25f, -0.125f, 0.0625f, 0.375f, 0.75f, 0.125f};
  const float bumpStates[6] = {bump.m00, bump.m01, bump.m10, bump.m11, bump.luminanceScale, bump.luminanceOffset};
  const D3DTEXTURESTAGESTATETYPE bumpTypes[6] = {D3DTSS_BUMPENVMAT00, D3DTSS_BUMPENVMAT01,  D3DTSS_BUMPENVMAT10,
                                                 D3DTSS_BUMPENVMAT11, D3DTSS_BUMPENVLSCALE, D3DTSS_BUMPENVLOFFSET};
  for (int stage : {1, 2}) {
    constants.bump[stage] = bump;
    for (int k = 0; k < 6; ++k) device_->SetTextureStageState(stage, bumpTypes[k], FloatBitsOf(bumpStates[k]));
  }

  struct Vertex {
    float x, y, z, rhw;
    float coordinates[4][4];
  };
  constexpr DWORD kFvf = D3DFVF_XYZRHW | D3DFVF_TEX4 | D3DFVF_TEXCOORDSIZE4(0) | D3DFVF_TEXCOORDSIZE4(1) |
                         D3DFVF_TEXCOORDSIZE4(2) | D3DFVF_TEXCOORDSIZE4(3);
  const float w = kSize;
  const float corners[4][2] = {{0, 0}, {w, 0}, {0, w}, {w, w}};
  Vertex vertices[4];
  std::array<std::array<ShaderVector, 4>, 4> cornerCoordinates{};  // [set][corner]
  for (int v = 0; v < 4; ++v) {
    vertices[v] = {corners[v][0], corners[v][1], 0, 1, {}};
    for (int set = 0; set < 4; ++set) {
      for (int k = 0; k < 4; ++k) {
        float value = Coordinate(set, v, k) + (set == 1 ? c.setOneOffset : 0.0f);
        vertices[v].coordinates[set][k] = value;
        cornerCoordinates[set][v][k] = value;
      }
    }
  }
  auto buffer = Buffer(vertices, sizeof vertices, kFvf);
  device_->SetStreamSource(0, buffer.Get(), 0, sizeof(Vertex));
  device_->SetFVF(kFvf);

  ComPtr<IDirect3DPixelShader9> shader;
  ASSERT_EQ(device_->CreatePixelShader(c.tokens.data(), shader.ReleaseAndGetAddressOf()), D3D_OK);
  device_->SetPixelShader(shader.Get());
  std::vector<DWORD> pixels = Frame();
  ASSERT_EQ(pixels.size(), kSize * kSize);
  ShaderEvaluator evaluator;
  ASSERT_EQ(evaluator.Load(c.tokens.data(), c.tokens.size()), D3D_OK);
  int killed = 0;
  for (const auto& point : kPoints) {
    ShaderVaryings inputs;
    for (int set = 0; set < 4; ++set) inputs.texcoord[set] = Interpolate(cornerCoordinates[set], point[0], point[1]);
    PixelResult result = evaluator.RunPixel(inputs, constants, &sampler);
    DWORD gpu = pixels[point[1] * kSize + point[0]];
    if (result.killed) {
      ++killed;
      EXPECT_EQ(gpu & 0xFFFFFF, kClear & 0xFFFFFF)
          << "pixel (" << point[0] << ", " << point[1] << ") was not discarded";
    } else {
      ExpectPixel(gpu, result.color[0], point[0], point[1]);
    }
  }
  // The discarding case must discard some of the checked pixels and keep others.
  if (std::string(c.name).starts_with("Texkill")) {
    EXPECT_GT(killed, 0);
    EXPECT_LT(killed, 5);
  } else {
    EXPECT_EQ(killed, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Ps1x, GlTextureAddressing, ::testing::ValuesIn(AddressingCases()),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace rastro::testing
