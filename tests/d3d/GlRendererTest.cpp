// The OpenGL renderer on the machine's GL (llvmpipe without a display): the benchmark's first
// two workloads, clears, back-buffer formats and the adapter's profile.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "GlTestDevice.h"
#include "gl/SdlVideo.h"

namespace rastro::testing {
namespace {

TEST_F(GlDevice, PureFillrateWorkloadDrawsTheColourRamp) {
  constexpr UINT kWidth = 64, kHeight = 48;
  auto device = CreateDevice(kWidth, kHeight, D3DFMT_X8R8G8B8, D3DFMT_D24S8);
  ASSERT_TRUE(device);
  const D3DCOLOR ramp[4] = {0x00000000, 0x00FF0000, 0x0000FF00, 0x000000FF};
  auto quad = Quad(device.Get(), kWidth, kHeight, ramp);
  SetUpFixedFunctionQuad(device.Get(), quad.Get());
  device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
  device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  Frame(device.Get(), D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0x00FFFFFF, 32);
  auto pixels = ReadBackBuffer(device.Get(), kWidth, kHeight);
  ASSERT_EQ(pixels.size(), size_t{kWidth * kHeight});
  auto at = [&](UINT x, UINT y) { return pixels[y * kWidth + x]; };
  // Each corner pixel's centre is within a pixel of its vertex: within 1/48 of its colour.
  DWORD topLeft = at(0, 0), topRight = at(kWidth - 1, 0), bottomLeft = at(0, kHeight - 1),
        bottomRight = at(kWidth - 1, kHeight - 1);
  EXPECT_LE(Red(topLeft) + Green(topLeft) + Blue(topLeft), 12) << std::hex << topLeft;
  EXPECT_GE(Red(topRight), 245) << std::hex << topRight;
  EXPECT_LE(Green(topRight) + Blue(topRight), 12) << std::hex << topRight;
  EXPECT_GE(Green(bottomLeft), 245) << std::hex << bottomLeft;
  EXPECT_LE(Red(bottomLeft) + Blue(bottomLeft), 12) << std::hex << bottomLeft;
  EXPECT_GE(Blue(bottomRight), 240) << std::hex << bottomRight;
  EXPECT_LE(Red(bottomRight) + Green(bottomRight), 16) << std::hex << bottomRight;
  // Nothing of the white clear colour is left: the quad covers every pixel.
  for (DWORD pixel : pixels) ASSERT_LT(Red(pixel) + Green(pixel) + Blue(pixel), 3 * 255 - 30) << std::hex << pixel;
}

TEST_F(GlDevice, ZPixelRateWorkloadWritesDepthOnly) {
  constexpr UINT kWidth = 32, kHeight = 16;
  auto device = CreateDevice(kWidth, kHeight, D3DFMT_X8R8G8B8, D3DFMT_D16_LOCKABLE);
  ASSERT_TRUE(device);
  const D3DCOLOR ramp[4] = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
  auto quad = Quad(device.Get(), kWidth, kHeight, ramp);
  SetUpFixedFunctionQuad(device.Get(), quad.Get());
  device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
  device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  Frame(device.Get(), D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00336699, 32);
  for (DWORD pixel : ReadBackBuffer(device.Get(), kWidth, kHeight)) ASSERT_EQ(pixel & 0xFFFFFF, 0x336699u);
  ComPtr<IDirect3DSurface9> depth;
  ASSERT_EQ(device->GetDepthStencilSurface(depth.ReleaseAndGetAddressOf()), D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(depth->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  for (UINT y = 0; y < kHeight; ++y) {
    const auto* row = reinterpret_cast<const WORD*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch);
    for (UINT x = 0; x < kWidth; ++x) ASSERT_EQ(row[x], 0) << x << "," << y;
  }
  depth->UnlockRect();
}

TEST_F(GlDevice, ClearsFillTheirRectanglesAndIgnoreWriteMasks) {
  constexpr UINT kWidth = 16, kHeight = 16;
  auto device = CreateDevice(kWidth, kHeight, D3DFMT_X8R8G8B8, D3DFMT_D16_LOCKABLE);
  ASSERT_TRUE(device);
  device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
  device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00102030, 1.0f, 0), D3D_OK);
  D3DRECT part{4, 2, 8, 6};
  ASSERT_EQ(device->Clear(1, &part, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00A0B0C0, 0.5f, 0), D3D_OK);
  auto pixels = ReadBackBuffer(device.Get(), kWidth, kHeight);
  ASSERT_EQ(pixels.size(), size_t{kWidth * kHeight});
  EXPECT_EQ(pixels[2 * kWidth + 4] & 0xFFFFFF, 0xA0B0C0u);
  EXPECT_EQ(pixels[5 * kWidth + 7] & 0xFFFFFF, 0xA0B0C0u);
  EXPECT_EQ(pixels[6 * kWidth + 7] & 0xFFFFFF, 0x102030u);  // the rectangle's bottom is exclusive
  EXPECT_EQ(pixels[2 * kWidth + 8] & 0xFFFFFF, 0x102030u);
  ComPtr<IDirect3DSurface9> depth;
  ASSERT_EQ(device->GetDepthStencilSurface(depth.ReleaseAndGetAddressOf()), D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(depth->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  auto depthAt = [&](int x, int y) {
    return reinterpret_cast<const WORD*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch)[x];
  };
  EXPECT_EQ(depthAt(0, 0), 0xFFFF);
  EXPECT_NEAR(depthAt(5, 3), 0x8000, 1);
  depth->UnlockRect();
  // The viewport limits a clear too.
  D3DVIEWPORT9 viewport{0, 8, 16, 8, 0.0f, 1.0f};
  ASSERT_EQ(device->SetViewport(&viewport), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00010203, 1.0f, 0), D3D_OK);
  pixels = ReadBackBuffer(device.Get(), kWidth, kHeight);
  EXPECT_EQ(pixels[0] & 0xFFFFFF, 0x102030u);
  EXPECT_EQ(pixels[8 * kWidth] & 0xFFFFFF, 0x010203u);
}

TEST_F(GlDevice, StencilClearsDecideWhichPixelsADrawReaches) {
  constexpr UINT kWidth = 8, kHeight = 8;
  auto device = CreateDevice(kWidth, kHeight, D3DFMT_X8R8G8B8, D3DFMT_D24S8);
  ASSERT_TRUE(device);
  const D3DCOLOR white[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
  auto quad = Quad(device.Get(), kWidth, kHeight, white);
  SetUpFixedFunctionQuad(device.Get(), quad.Get());
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
  device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
  device->SetRenderState(D3DRS_STENCILREF, 5);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_STENCIL, 0, 1.0f, 3), D3D_OK);
  D3DRECT left{0, 0, 4, 8};
  ASSERT_EQ(device->Clear(1, &left, D3DCLEAR_STENCIL, 0, 1.0f, 5), D3D_OK);
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  ASSERT_EQ(device->EndScene(), D3D_OK);
  auto pixels = ReadBackBuffer(device.Get(), kWidth, kHeight);
  ASSERT_EQ(pixels.size(), size_t{kWidth * kHeight});
  EXPECT_EQ(pixels[3 * kWidth + 3] & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(pixels[3 * kWidth + 4] & 0xFFFFFF, 0u);
}

TEST_F(GlDevice, BackBuffersKeepTheirDirect3DLayout) {
  struct {
    D3DFORMAT format;
    D3DCOLOR clear;
    DWORD expected;
    DWORD mask;
    UINT bytes;
  } cases[] = {
      {D3DFMT_X8R8G8B8, 0xFF204080, 0x204080, 0xFFFFFF, 4}, {D3DFMT_A8R8G8B8, 0x80204080, 0x80204080, 0xFFFFFFFF, 4},
      {D3DFMT_R5G6B5, 0xFFFF0000, 0xF800, 0xFFFF, 2},       {D3DFMT_R5G6B5, 0xFF0000FF, 0x001F, 0xFFFF, 2},
      {D3DFMT_X1R5G5B5, 0xFF00FF00, 0x03E0, 0x7FFF, 2},     {D3DFMT_A1R5G5B5, 0xFF0000FF, 0x801F, 0xFFFF, 2},
  };
  bool checkedX8R8G8B8 = false;  // every adapter offers it, so it cannot be passed over
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    HRESULT hr = E_FAIL;
    auto device = CreateDevice(8, 4, c.format, D3DFMT_UNKNOWN, &hr);
    if (FAILED(direct3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, c.format, TRUE)) &&
        FAILED(direct3d_->CheckDeviceType(
            0, D3DDEVTYPE_HAL, c.format == D3DFMT_R5G6B5 ? D3DFMT_R5G6B5 : D3DFMT_X1R5G5B5, c.format, TRUE))) {
      continue;  // a back buffer the renderer does not offer
    }
    // Windowed devices take the desktop's format; go full screen for the others.
    if (!device) {
      D3DPRESENT_PARAMETERS parameters{};
      parameters.BackBufferWidth = 640;
      parameters.BackBufferHeight = 480;
      parameters.BackBufferFormat = c.format;
      parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
      parameters.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
      parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
      ASSERT_EQ(direct3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_MIXED_VERTEXPROCESSING, &parameters,
                                        device.ReleaseAndGetAddressOf()),
                D3D_OK);
    }
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, c.clear, 1.0f, 0), D3D_OK);
    ComPtr<IDirect3DSurface9> backBuffer;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf()), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(backBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    DWORD value = 0;
    std::memcpy(&value, static_cast<const BYTE*>(locked.pBits) + locked.Pitch + c.bytes, c.bytes);
    backBuffer->UnlockRect();
    EXPECT_EQ(value & c.mask, c.expected) << std::hex << value;
    checkedX8R8G8B8 |= c.format == D3DFMT_X8R8G8B8;
  }
  EXPECT_TRUE(checkedX8R8G8B8);
}

TEST_F(GlDevice, AdapterOffersOnlyCompleteFramebufferCombinations) {
  UINT checked = 0;
  for (D3DFORMAT backBuffer : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5}) {
    for (D3DFORMAT depth : {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D32, D3DFMT_D16_LOCKABLE}) {
      D3DFORMAT display = backBuffer == D3DFMT_A8R8G8B8 ? D3DFMT_X8R8G8B8 : backBuffer;
      if (FAILED(direct3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, display, backBuffer, FALSE)) ||
          FAILED(direct3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                              depth)) ||
          FAILED(direct3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, display, backBuffer, depth))) {
        continue;
      }
      SCOPED_TRACE(::testing::Message() << backBuffer << "/" << depth);
      D3DPRESENT_PARAMETERS parameters{};
      parameters.BackBufferWidth = 640;
      parameters.BackBufferHeight = 480;
      parameters.BackBufferFormat = backBuffer;
      parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
      parameters.EnableAutoDepthStencil = TRUE;
      parameters.AutoDepthStencilFormat = depth;
      parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
      ComPtr<IDirect3DDevice9> device;
      ASSERT_EQ(direct3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_MIXED_VERTEXPROCESSING, &parameters,
                                        device.ReleaseAndGetAddressOf()),
                D3D_OK);
      // A complete framebuffer takes the clear: the depth buffer then reads back as cleared
      // through a copy into a lockable target is not possible for every format, so draw a
      // depth-tested quad that must pass against the cleared depth.
      const D3DCOLOR white[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
      auto quad = Quad(device.Get(), 640, 480, white);
      SetUpFixedFunctionQuad(device.Get(), quad.Get());
      device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
      ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.5f, 0), D3D_OK);
      ASSERT_EQ(device->BeginScene(), D3D_OK);
      ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
      ASSERT_EQ(device->EndScene(), D3D_OK);
      ComPtr<IDirect3DSurface9> backBufferSurface, target;
      device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBufferSurface.ReleaseAndGetAddressOf());
      ASSERT_EQ(device->CreateRenderTarget(640, 480, backBuffer, D3DMULTISAMPLE_NONE, 0, TRUE,
                                           target.ReleaseAndGetAddressOf(), nullptr),
                D3D_OK);
      ASSERT_EQ(device->StretchRect(backBufferSurface.Get(), nullptr, target.Get(), nullptr, D3DTEXF_NONE), D3D_OK);
      D3DLOCKED_RECT locked{};
      ASSERT_EQ(target->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
      BYTE first = *static_cast<const BYTE*>(locked.pBits);
      target->UnlockRect();
      EXPECT_EQ(first, 0xFF);  // z = 0 passes LESS against 0.5: the quad is there
      ++checked;
    }
  }
  EXPECT_GT(checked, 0u);
}

// Offscreen there is no display to ask: the adapter reports what an ordinary 24-bit desktop
// has, X8R8G8B8 modes only, so nothing picks a 10-bit or 16-bit display by default.
TEST_F(GlDevice, OffscreenDisplayFormatsAreThoseOfA24BitDesktop) {
  EXPECT_GT(direct3d_->GetAdapterModeCount(0, D3DFMT_X8R8G8B8), 0u);
  for (D3DFORMAT other : {D3DFMT_A2R10G10B10, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A8R8G8B8}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(direct3d_->GetAdapterModeCount(0, other), 0u);
    EXPECT_NE(direct3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, other, other, FALSE), D3D_OK);
  }
  // Both 32-bit back buffers stay offered on the X8R8G8B8 display, full screen and windowed;
  // 16-bit ones only windowed, where Present converts them to the desktop's format.
  for (BOOL windowed : {FALSE, TRUE}) {
    EXPECT_EQ(direct3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, windowed), D3D_OK);
    EXPECT_EQ(direct3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, windowed), D3D_OK);
  }
  EXPECT_EQ(direct3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, TRUE), D3D_OK);
  EXPECT_NE(direct3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, FALSE), D3D_OK);
  EXPECT_NE(direct3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A2R10G10B10, TRUE), D3D_OK);
  D3DDISPLAYMODE desktop{};
  ASSERT_EQ(direct3d_->GetAdapterDisplayMode(0, &desktop), D3D_OK);
  EXPECT_EQ(desktop.Format, D3DFMT_X8R8G8B8);
}

TEST_F(GlDevice, AdapterDescribesTheGlRenderer) {
  ASSERT_EQ(direct3d_->GetAdapterCount(), 1u);
  D3DADAPTER_IDENTIFIER9 identifier{};
  ASSERT_EQ(direct3d_->GetAdapterIdentifier(0, 0, &identifier), D3D_OK);
  EXPECT_GT(std::strlen(identifier.Description), 0u);
  EXPECT_GE(identifier.DriverVersion.HighPart >> 16, 3);  // the GL major version
  UINT modes = direct3d_->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
  ASSERT_GT(modes, 0u);
  D3DDISPLAYMODE previous{}, mode{};
  bool has1024 = false;
  for (UINT i = 0; i < modes; ++i) {
    ASSERT_EQ(direct3d_->EnumAdapterModes(0, D3DFMT_X8R8G8B8, i, &mode), D3D_OK);
    EXPECT_GE(mode.Width * 100000 + mode.Height, previous.Width * 100000 + previous.Height);  // ascending
    has1024 |= mode.Width == 1024 && mode.Height == 768;
    previous = mode;
  }
  EXPECT_TRUE(has1024);
  D3DCAPS9 caps{};
  ASSERT_EQ(direct3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
  EXPECT_TRUE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_COLORWRITEENABLE);
  EXPECT_TRUE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_CULLNONE);
  EXPECT_TRUE(caps.TextureCaps & D3DPTEXTURECAPS_MIPMAP);
  EXPECT_FALSE(caps.TextureCaps & D3DPTEXTURECAPS_POW2);
  EXPECT_GE(caps.MaxTextureWidth, 2048u);
  EXPECT_GE(caps.MaxSimultaneousTextures, 4u);
  EXPECT_LE(caps.MaxSimultaneousTextures, 8u);
}

}  // namespace
}  // namespace rastro::testing

namespace rastro::testing {
namespace {

TEST_F(GlDevice, TexturedStageSamplesTheTextureWithDirect3DTexelMapping) {
  constexpr UINT kSize = 8;
  auto device = CreateDevice(kSize, kSize, D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN);
  ASSERT_TRUE(device);
  // A 2 x 2 texture, one colour per texel, filled through a system-memory copy as the loader does.
  ComPtr<IDirect3DTexture9> staging, texture;
  ASSERT_EQ(
      device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, staging.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ASSERT_EQ(
      device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, texture.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(staging->LockRect(0, &locked, nullptr, 0), D3D_OK);
  auto* rows = static_cast<BYTE*>(locked.pBits);
  reinterpret_cast<DWORD*>(rows)[0] = 0xFFFF0000;
  reinterpret_cast<DWORD*>(rows)[1] = 0xFF00FF00;
  reinterpret_cast<DWORD*>(rows + locked.Pitch)[0] = 0xFF0000FF;
  reinterpret_cast<DWORD*>(rows + locked.Pitch)[1] = 0xFFFFFFFF;
  staging->UnlockRect(0);
  ASSERT_EQ(device->UpdateTexture(staging.Get(), texture.Get()), D3D_OK);

  struct TexturedVertex {
    float x, y, z, rhw, u, v;
  };
  const float s = static_cast<float>(kSize);
  const TexturedVertex vertices[4] = {{0, 0, 0, 1, 0, 0}, {s, 0, 0, 1, 1, 0}, {0, s, 0, 1, 0, 1}, {s, s, 0, 1, 1, 1}};
  ComPtr<IDirect3DVertexBuffer9> quad;
  ASSERT_EQ(device->CreateVertexBuffer(sizeof vertices, D3DUSAGE_WRITEONLY, D3DFVF_XYZRHW | D3DFVF_TEX1,
                                       D3DPOOL_MANAGED, quad.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  void* data = nullptr;
  quad->Lock(0, 0, &data, 0);
  std::memcpy(data, vertices, sizeof vertices);
  quad->Unlock();
  device->SetStreamSource(0, quad.Get(), 0, sizeof(TexturedVertex));
  device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  device->SetTexture(0, texture.Get());
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  Frame(device.Get(), D3DCLEAR_TARGET, 0x00808080, 1);
  auto pixels = ReadBackBuffer(device.Get(), kSize, kSize);
  ASSERT_EQ(pixels.size(), size_t{kSize * kSize});
  // Pixel centres sit on integer coordinates: pixel 1 samples u = 1/8 (texel 0), pixel 6 u = 6/8.
  EXPECT_EQ(pixels[1 * kSize + 1] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(pixels[1 * kSize + 6] & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(pixels[6 * kSize + 1] & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(pixels[6 * kSize + 6] & 0xFFFFFF, 0xFFFFFFu);

  // Modulating with a second stage of the same texture squares each channel.
  device->SetTexture(1, texture.Get());
  device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
  device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT | D3DTA_COMPLEMENT);
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
  Frame(device.Get(), D3DCLEAR_TARGET, 0x00808080, 1);
  pixels = ReadBackBuffer(device.Get(), kSize, kSize);
  // texel * (1 - texel) is 0 in every channel of these pure colours.
  EXPECT_EQ(pixels[1 * kSize + 1] & 0xFFFFFF, 0u);
  EXPECT_EQ(pixels[6 * kSize + 6] & 0xFFFFFF, 0u);
}

}  // namespace
}  // namespace rastro::testing

namespace rastro::testing {
namespace {

TEST_F(GlDevice, DevicesTakeTheProgramsOpenGlWindow) {
  SDL_Window* window = SDL_CreateWindow("Rastrometer", 0, 0, 400, 400, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  SDL_Window* plain = SDL_CreateWindow("plain", 0, 0, 64, 64, SDL_WINDOW_HIDDEN);
  ASSERT_NE(window, nullptr);
  ASSERT_NE(plain, nullptr);
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = 640;
  parameters.BackBufferHeight = 480;
  parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
  parameters.hDeviceWindow = window;
  parameters.EnableAutoDepthStencil = TRUE;
  parameters.AutoDepthStencilFormat = D3DFMT_D24S8;
  parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  {
    ComPtr<IDirect3DDevice9> device;
    ASSERT_EQ(direct3d_->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_MIXED_VERTEXPROCESSING, &parameters,
                                      device.ReleaseAndGetAddressOf()),
              D3D_OK);
    D3DDEVICE_CREATION_PARAMETERS creation{};
    device->GetCreationParameters(&creation);
    EXPECT_EQ(creation.hFocusWindow, window);
    for (int frame = 0; frame < 3; ++frame) Frame(device.Get(), D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00112233, 0);
    auto pixels = ReadBackBuffer(device.Get(), 640, 480);
    ASSERT_FALSE(pixels.empty());
    EXPECT_EQ(pixels[479 * 640 + 639] & 0xFFFFFF, 0x112233u);
  }
  // A window made without OpenGL cannot take the device.
  parameters.hDeviceWindow = plain;
  ComPtr<IDirect3DDevice9> refused;
  EXPECT_EQ(direct3d_->CreateDevice(0, D3DDEVTYPE_HAL, plain, D3DCREATE_MIXED_VERTEXPROCESSING, &parameters,
                                    refused.ReleaseAndGetAddressOf()),
            D3DERR_NOTAVAILABLE);
  EXPECT_FALSE(refused);
  SDL_DestroyWindow(plain);
  SDL_DestroyWindow(window);
}

}  // namespace
}  // namespace rastro::testing

namespace rastro::testing {
namespace {

TEST(DisplayFormatOf, MapsEachDisplayDepthToItsDirect3DDisplayFormat) {
  struct {
    Uint32 pixelFormat;
    D3DFORMAT expected;
  } cases[] = {
      {SDL_PIXELFORMAT_RGB888, D3DFMT_X8R8G8B8},         {SDL_PIXELFORMAT_ARGB8888, D3DFMT_X8R8G8B8},
      {SDL_PIXELFORMAT_BGR888, D3DFMT_X8R8G8B8},         {SDL_PIXELFORMAT_RGB24, D3DFMT_X8R8G8B8},
      {SDL_PIXELFORMAT_RGB565, D3DFMT_R5G6B5},           {SDL_PIXELFORMAT_RGB555, D3DFMT_X1R5G5B5},
      {SDL_PIXELFORMAT_ARGB2101010, D3DFMT_A2R10G10B10}, {SDL_PIXELFORMAT_INDEX8, D3DFMT_UNKNOWN},
      {SDL_PIXELFORMAT_RGB332, D3DFMT_UNKNOWN},          {SDL_PIXELFORMAT_YUY2, D3DFMT_UNKNOWN},
      {SDL_PIXELFORMAT_RGB444, D3DFMT_UNKNOWN},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DisplayFormatOf(c.pixelFormat), c.expected) << SDL_GetPixelFormatName(c.pixelFormat);
}

}  // namespace
}  // namespace rastro::testing
