// Tests 7 to 16 on the OpenGL device (llvmpipe here), in the program that keeps the GL driver
// loaded for its whole life.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "AssembledShader.h"
#include "ComPtr.h"
#include "GlDriverMapping.h"
#include "PresentParameters.h"
#include "ShaderTests.h"

namespace rastro::testing {
namespace {

// Tests 7 to 14 on the OpenGL device (llvmpipe here): the frame each draws, at its corners and
// centre, is what the evaluator computes from its shader file and the colours the rasteriser
// interpolates there. One unit of the 8-bit target is allowed: both sides round to nearest,
// and the GPU's interpolated inputs may sit a few float steps off a rounding midpoint.

constexpr UINT kFrameSize = 63;  // odd, so that the centre pixel is no vertex or edge midpoint

ComPtr<IDirect3DDevice9> GlDevice(ComPtr<IDirect3D9>& direct3d) {
  ::setenv("SDL_VIDEODRIVER", "offscreen", 0);
  direct3d = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
  ComPtr<IDirect3DDevice9> device;
  if (!direct3d) return device;
  D3DPRESENT_PARAMETERS parameters = WindowedParameters(kFrameSize, kFrameSize);
  direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                         device.ReleaseAndGetAddressOf());
  KeepGlDriverMapped();
  if (device) {
    // As the shell sets them for the whole run.
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
  }
  return device;
}

std::vector<DWORD> DrawOneFrame(IDirect3DDevice9* device, FillTest& test) {
  std::vector<DWORD> pixels;
  if (FAILED(device->BeginScene())) return pixels;
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0);
  test.Render();
  device->EndScene();
  ComPtr<IDirect3DSurface9> backBuffer, copy;
  device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf());
  device->CreateOffscreenPlainSurface(kFrameSize, kFrameSize, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                      copy.ReleaseAndGetAddressOf(), nullptr);
  if (FAILED(device->GetRenderTargetData(backBuffer.Get(), copy.Get()))) return pixels;
  D3DLOCKED_RECT locked{};
  copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
  for (UINT y = 0; y < kFrameSize; ++y) {
    const auto* row = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch);
    pixels.insert(pixels.end(), row, row + kFrameSize);
  }
  copy->UnlockRect();
  return pixels;
}

// The frame's pixel (x, y) is `expected` (the evaluator's colour), within one unit a channel.
void ExpectPixelNear(const std::vector<DWORD>& pixels, int x, int y, const ShaderVector& expected, const char* name) {
  const DWORD pixel = pixels[static_cast<size_t>(y) * kFrameSize + x];
  const int channels[3] = {static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
                           static_cast<int>(pixel & 0xFF)};
  for (int k = 0; k < 3; ++k) {
    const int want = static_cast<int>(std::lround(std::clamp(expected[k], 0.0f, 1.0f) * 255.0f));
    EXPECT_NEAR(channels[k], want, 1) << name << " at (" << x << ", " << y << ") channel " << k;
  }
}

// A corner value of the quad interpolated at pixel (x, y) over the strip's two triangles.
ShaderVector Interpolated(const std::array<D3DCOLOR, 4>& corners, int x, int y) {
  float s = static_cast<float>(x) / kFrameSize, t = static_cast<float>(y) / kFrameSize;
  ShaderVector c[4];
  for (int i = 0; i < 4; ++i) c[i] = Unpack(corners[i]);
  ShaderVector out;
  for (int k = 0; k < 4; ++k) {
    out[k] = s + t <= 1.0f ? c[0][k] + s * (c[1][k] - c[0][k]) + t * (c[2][k] - c[0][k])
                           : c[3][k] + (1.0f - t) * (c[1][k] - c[3][k]) + (1.0f - s) * (c[2][k] - c[3][k]);
  }
  return out;
}

TEST(ShaderTestsOnOpenGl, FramesOfTests7To14AreWhatTheirShadersCompute) {
  ComPtr<IDirect3D9> direct3d;
  ComPtr<IDirect3DDevice9> device = GlDevice(direct3d);
  ASSERT_TRUE(device) << "no OpenGL 3.3 device";
  std::vector<std::unique_ptr<FillTest>> tests;
  std::vector<const char*> files;
  for (size_t i = 0; i < kPixelShaderTests.size(); ++i) {
    tests.push_back(std::make_unique<PixelShaderTest>(kPixelShaderTests[i].name, kPixelShaderTests[i].shaderFile,
                                                      ScreenSize{kFrameSize, kFrameSize},
                                                      FolderFiles(RASTRO_DATA_DIR)));
    files.push_back(kPixelShaderTests[i].shaderFile);
    if (i == 0) {  // test 8 runs after test 7, and its vertex shader stays set for tests 9 to 14
      tests.push_back(std::make_unique<Ps14Test>(ScreenSize{kFrameSize, kFrameSize}, FolderFiles(RASTRO_DATA_DIR)));
      files.push_back("SimplePS14.psh");
    }
  }
  const int points[5][2] = {{0, 0},
                            {kFrameSize - 1, 0},
                            {0, kFrameSize - 1},
                            {kFrameSize - 1, kFrameSize - 1},
                            {kFrameSize / 2, kFrameSize / 2}};
  for (size_t i = 0; i < tests.size(); ++i) {
    FillTest& test = *tests[i];
    ASSERT_TRUE(test.Init(device.Get())) << test.Name();
    std::vector<DWORD> pixels = DrawOneFrame(device.Get(), test);
    ASSERT_EQ(pixels.size(), kFrameSize * kFrameSize) << test.Name();
    Assembled assembled = Assemble(files[i]);
    ShaderEvaluator evaluator;
    ASSERT_EQ(evaluator.Load(assembled.tokens.data(), assembled.tokens.size()), D3D_OK) << files[i];
    for (const auto& point : points) {
      ShaderVaryings inputs;
      inputs.color = {Interpolated(kShaderDiffuseRamp, point[0], point[1]),
                      Interpolated(kShaderSpecularRamp, point[0], point[1])};
      ShaderVector expected = evaluator.RunPixel(inputs, ShaderConstants{}, nullptr).color[0];
      ExpectPixelNear(pixels, point[0], point[1], expected, test.Name());
    }
    test.Destroy();
  }
}

// Point sampling (the device's default) of level 0 of the textures on stages 0 and 1.
class StageTexels : public ShaderTextureSampler {
 public:
  struct Level {
    UINT width = 0, height = 0;
    std::vector<DWORD> texels;
  };
  std::array<Level, 2> stages;
  ShaderVector Sample(UINT sampler, const ShaderVector& c, float) const override {
    const Level& level = stages[sampler & 1];
    int u = static_cast<int>(std::floor(c[0] * static_cast<float>(level.width)));
    int v = static_cast<int>(std::floor(c[1] * static_cast<float>(level.height)));
    u = std::clamp(u, 0, static_cast<int>(level.width) - 1);
    v = std::clamp(v, 0, static_cast<int>(level.height) - 1);
    return Unpack(level.texels[static_cast<size_t>(v) * level.width + u] | 0xFF000000u);
  }
};

TEST(ShaderTestsOnOpenGl, FramesOfTheLightingTestsAreWhatTheirShadersCompute) {
  ComPtr<IDirect3D9> direct3d;
  ComPtr<IDirect3DDevice9> device = GlDevice(direct3d);
  ASSERT_TRUE(device) << "no OpenGL 3.3 device";
  const TestFiles files = FolderFiles(RASTRO_DATA_DIR);
  for (bool partial : {false, true}) {
    LightingTest test(partial, {kFrameSize, kFrameSize}, files);
    ASSERT_TRUE(test.Init(device.Get())) << test.Name();
    std::vector<DWORD> pixels = DrawOneFrame(device.Get(), test);
    ASSERT_EQ(pixels.size(), kFrameSize * kFrameSize);
    // What the loader put in the textures, read back for the evaluator's sampler.
    StageTexels sampler;
    for (DWORD stage = 0; stage < 2; ++stage) {
      ComPtr<IDirect3DBaseTexture9> bound;
      ASSERT_EQ(device->GetTexture(stage, bound.ReleaseAndGetAddressOf()), D3D_OK);
      auto* texture = static_cast<IDirect3DTexture9*>(bound.Get());
      D3DSURFACE_DESC desc{};
      texture->GetLevelDesc(0, &desc);
      if (desc.Format != D3DFMT_X8R8G8B8 && desc.Format != D3DFMT_A8R8G8B8)
        GTEST_SKIP() << "texture format " << desc.Format;
      D3DLOCKED_RECT locked{};
      ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
      sampler.stages[stage].width = desc.Width;
      sampler.stages[stage].height = desc.Height;
      for (UINT y = 0; y < desc.Height; ++y) {
        const auto* row = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch);
        sampler.stages[stage].texels.insert(sampler.stages[stage].texels.end(), row, row + desc.Width);
      }
      texture->UnlockRect(0);
    }
    Assembled assembled = Assemble(partial ? "PerPixelLightingPS20PP.psh" : "PerPixelLightingPS20.psh");
    ShaderEvaluator evaluator;
    ASSERT_EQ(evaluator.Load(assembled.tokens.data(), assembled.tokens.size()), D3D_OK);
    const int points[5][2] = {{0, 0},
                              {kFrameSize - 1, 0},
                              {0, kFrameSize - 1},
                              {kFrameSize - 1, kFrameSize - 1},
                              {kFrameSize / 2, kFrameSize / 2}};
    for (const auto& point : points) {
      // Clip-space quad with coordinates (0, 0) to (1, 1): pixel centres at x / W, y / H.
      ShaderVaryings inputs;
      inputs.texcoord[0] = {static_cast<float>(point[0]) / kFrameSize, static_cast<float>(point[1]) / kFrameSize, 0, 1};
      ShaderVector expected = evaluator.RunPixel(inputs, ShaderConstants{}, &sampler).color[0];
      ExpectPixelNear(pixels, point[0], point[1], expected, test.Name());
    }
    test.Destroy();
  }
}

}  // namespace
}  // namespace rastro::testing
