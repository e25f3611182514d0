// Devices on the OpenGL adapter for the renderer's tests: windowless, lockable back buffer,
// and helpers that draw the benchmark's quad and read frames back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "PresentParameters.h"
#include "TestDevice.h"

namespace rastro::testing {

class GlDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    direct3d_ = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
    ASSERT_TRUE(direct3d_) << "no OpenGL 3.3 renderer reachable";
  }

  // A windowless device of the given size and formats, with a lockable back buffer.
  ComPtr<IDirect3DDevice9> CreateDevice(UINT width, UINT height, D3DFORMAT backBuffer, D3DFORMAT depth,
                                        HRESULT* result = nullptr) {
    D3DPRESENT_PARAMETERS parameters = WindowedParameters(width, height, backBuffer, depth);
    ComPtr<IDirect3DDevice9> device;
    HRESULT hr = direct3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_MIXED_VERTEXPROCESSING, &parameters,
                                         device.ReleaseAndGetAddressOf());
    if (result) *result = hr;
    return device;
  }

  ComPtr<IDirect3D9> direct3d_;
};

struct ColoredVertex {
  float x, y, z, rhw;
  D3DCOLOR color;
};

// The benchmark's screen-covering quad: (0,0), (W,0), (0,H), (W,H) as one triangle strip.
inline ComPtr<IDirect3DVertexBuffer9> Quad(IDirect3DDevice9* device, UINT width, UINT height,
                                           const D3DCOLOR colors[4]) {
  float w = static_cast<float>(width), h = static_cast<float>(height);
  const ColoredVertex vertices[4] = {
      {0, 0, 0, 1, colors[0]}, {w, 0, 0, 1, colors[1]}, {0, h, 0, 1, colors[2]}, {w, h, 0, 1, colors[3]}};
  ComPtr<IDirect3DVertexBuffer9> buffer;
  if (FAILED(device->CreateVertexBuffer(sizeof vertices, D3DUSAGE_WRITEONLY, 0x44, D3DPOOL_MANAGED,
                                        buffer.ReleaseAndGetAddressOf(), nullptr))) {
    return {};
  }
  void* data = nullptr;
  buffer->Lock(0, sizeof vertices, &data, 0);
  std::memcpy(data, vertices, sizeof vertices);
  buffer->Unlock();
  return buffer;
}

inline void SetUpFixedFunctionQuad(IDirect3DDevice9* device, IDirect3DVertexBuffer9* quad) {
  device->SetStreamSource(0, quad, 0, sizeof(ColoredVertex));
  device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
}

inline void Frame(IDirect3DDevice9* device, DWORD clearFlags, D3DCOLOR clearColor, int draws) {
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, clearFlags, clearColor, 1.0f, 0), D3D_OK);
  for (int i = 0; i < draws; ++i) ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  ASSERT_EQ(device->EndScene(), D3D_OK);
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

// The back buffer's pixels, as 32-bit values, through GetRenderTargetData.
inline std::vector<DWORD> ReadBackBuffer(IDirect3DDevice9* device, UINT width, UINT height,
                                         D3DFORMAT format = D3DFMT_X8R8G8B8) {
  ComPtr<IDirect3DSurface9> backBuffer, copy;
  device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf());
  device->CreateOffscreenPlainSurface(width, height, format, D3DPOOL_SYSTEMMEM, copy.ReleaseAndGetAddressOf(), nullptr);
  std::vector<DWORD> pixels;
  if (FAILED(device->GetRenderTargetData(backBuffer.Get(), copy.Get()))) return pixels;
  D3DLOCKED_RECT locked{};
  copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
  for (UINT y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch);
    pixels.insert(pixels.end(), row, row + width);
  }
  copy->UnlockRect();
  return pixels;
}

inline int Red(DWORD pixel) { return static_cast<int>((pixel >> 16) & 0xFF); }
inline int Green(DWORD pixel) { return static_cast<int>((pixel >> 8) & 0xFF); }
inline int Blue(DWORD pixel) { return static_cast<int>(pixel & 0xFF); }

}  // namespace rastro::testing
