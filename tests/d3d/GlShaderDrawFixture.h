// The fixture of the tests that draw shaders through the Direct3D device on OpenGL and compare
// the back buffer with the CPU evaluator: a 63x63 lockable X8R8G8B8 back buffer, one frame of a
// two-triangle strip read back, interpolation of corner values as the rasteriser does it, and a
// point sampler matching what the device samples from 8x8 textures.
//
// Tolerance: one unit of the 8-bit target. The evaluator's result is exact to float precision
// and is rounded to the nearest of 256 levels here; the GPU interpolates in float (a few units
// in the last place off the exact barycentric value) and rounds to nearest too, so a value that
// lies within about 1e-6 of a rounding midpoint may land one level either way.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "PresentParameters.h"
#include "ShaderEvaluator.h"
#include "TestDevice.h"

namespace rastro::testing {

constexpr UINT kSize = 63;  // odd, so that no check point falls on a texel edge of the 8x8 textures

class GlShaderDraw : public ::testing::Test {
 protected:
  void SetUp() override {
    direct3d_ = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
    ASSERT_TRUE(direct3d_) << "no OpenGL 3.3 renderer reachable";
    D3DPRESENT_PARAMETERS parameters = WindowedParameters(kSize, kSize);
    ASSERT_EQ(direct3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                                      device_.ReleaseAndGetAddressOf()),
              D3D_OK);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_ZENABLE, FALSE);
  }

  // An 8x8 A8R8G8B8 managed texture holding `texels` row by row, set on `stage`; null on failure.
  ComPtr<IDirect3DTexture9> StageTexture(DWORD stage, const std::array<DWORD, 64>& texels) {
    ComPtr<IDirect3DTexture9> texture;
    D3DLOCKED_RECT locked{};
    if (FAILED(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(),
                                      nullptr)) ||
        FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
      return {};
    }
    for (int y = 0; y < 8; ++y) std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, &texels[y * 8], 32);
    texture->UnlockRect(0);
    device_->SetTexture(stage, texture.Get());
    return texture;
  }

  ComPtr<IDirect3DVertexBuffer9> Buffer(const void* data, UINT bytes, DWORD fvf) {
    ComPtr<IDirect3DVertexBuffer9> buffer;
    EXPECT_EQ(device_->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED,
                                          buffer.ReleaseAndGetAddressOf(), nullptr),
              D3D_OK);
    void* target = nullptr;
    buffer->Lock(0, bytes, &target, 0);
    std::memcpy(target, data, bytes);
    buffer->Unlock();
    return buffer;
  }

  // Clears to 0xFF123456 (every render target set), draws once and reads the back buffer.
  std::vector<DWORD> Frame(D3DPRIMITIVETYPE type = D3DPT_TRIANGLESTRIP, UINT count = 2) {
    EXPECT_EQ(device_->BeginScene(), D3D_OK);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0);
    EXPECT_EQ(device_->DrawPrimitive(type, 0, count), D3D_OK);
    device_->EndScene();
    ComPtr<IDirect3DSurface9> backBuffer;
    device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf());
    return Read(backBuffer.Get());
  }

  // A kSize x kSize render target of 32-bit pixels, row by row.
  std::vector<DWORD> Read(IDirect3DSurface9* target) {
    D3DSURFACE_DESC desc{};
    target->GetDesc(&desc);
    ComPtr<IDirect3DSurface9> copy;
    device_->CreateOffscreenPlainSurface(kSize, kSize, desc.Format, D3DPOOL_SYSTEMMEM, copy.ReleaseAndGetAddressOf(),
                                         nullptr);
    std::vector<DWORD> pixels;
    if (FAILED(device_->GetRenderTargetData(target, copy.Get()))) return pixels;
    D3DLOCKED_RECT locked{};
    copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    for (UINT y = 0; y < kSize; ++y) {
      const auto* row = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch);
      pixels.insert(pixels.end(), row, row + kSize);
    }
    copy->UnlockRect();
    return pixels;
  }

  ComPtr<IDirect3D9> direct3d_;
  ComPtr<IDirect3DDevice9> device_;
};

// The quad's four corners carry `corner` values; pixel (x, y), its centre on integer
// coordinates, interpolates them over the strip's triangles (0, 1, 2) and (1, 2, 3).
inline ShaderVector Interpolate(const std::array<ShaderVector, 4>& corner, int x, int y) {
  float s = static_cast<float>(x) / kSize, t = static_cast<float>(y) / kSize;
  ShaderVector out;
  for (int k = 0; k < 4; ++k) {
    if (s + t <= 1.0f) {
      out[k] = corner[0][k] + s * (corner[1][k] - corner[0][k]) + t * (corner[2][k] - corner[0][k]);
    } else {
      out[k] = corner[3][k] + (1.0f - t) * (corner[1][k] - corner[3][k]) + (1.0f - s) * (corner[2][k] - corner[3][k]);
    }
  }
  return out;
}

inline ShaderVector Unpack(DWORD colour) {
  return {((colour >> 16) & 0xFF) / 255.0f, ((colour >> 8) & 0xFF) / 255.0f, (colour & 0xFF) / 255.0f,
          (colour >> 24) / 255.0f};
}

inline void ExpectPixel(DWORD gpu, const ShaderVector& cpu, int x, int y) {
  int channels[3] = {static_cast<int>((gpu >> 16) & 0xFF), static_cast<int>((gpu >> 8) & 0xFF),
                     static_cast<int>(gpu & 0xFF)};
  for (int k = 0; k < 3; ++k) {
    int expected = static_cast<int>(std::lround(std::clamp(cpu[k], 0.0f, 1.0f) * 255.0f));
    EXPECT_NEAR(channels[k], expected, 1) << "pixel (" << x << ", " << y << ") channel " << k;
  }
}

constexpr int kPoints[5][2] = {{0, 0}, {kSize - 1, 0}, {0, kSize - 1}, {kSize - 1, kSize - 1}, {kSize / 2, kSize / 2}};

// Point sampling of 8x8 textures on stages 0-3 with wrapping, texel centres as Direct3D places
// them.
class TexelSampler : public ShaderTextureSampler {
 public:
  std::array<std::array<DWORD, 64>, 4> texels{};
  ShaderVector Sample(UINT sampler, const ShaderVector& c, float) const override {
    int u = static_cast<int>(std::floor(c[0] * 8.0f)) & 7;
    int v = static_cast<int>(std::floor(c[1] * 8.0f)) & 7;
    return Unpack(texels[sampler & 3][v * 8 + u]);
  }
};

}  // namespace rastro::testing
