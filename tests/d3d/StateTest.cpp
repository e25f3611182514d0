// Device state: the published defaults, the setters' rules, scenes, clears and draws as the
// renderer sees them, and the debug output of failing calls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "DebugOutput.h"
#include "TestDevice.h"

namespace rastro::testing {
namespace {

DWORD Bits(float value) {
  DWORD bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

TEST(DefaultState, RenderStatesStartAtThePublishedValues) {
  TestDevice device;
  struct {
    D3DRENDERSTATETYPE state;
    DWORD value;
  } expected[] = {
      {D3DRS_ZENABLE, D3DZB_TRUE},  // the device has an auto depth-stencil
      {D3DRS_FILLMODE, D3DFILL_SOLID},
      {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
      {D3DRS_ZWRITEENABLE, TRUE},
      {D3DRS_ALPHATESTENABLE, FALSE},
      {D3DRS_LASTPIXEL, TRUE},
      {D3DRS_SRCBLEND, D3DBLEND_ONE},
      {D3DRS_DESTBLEND, D3DBLEND_ZERO},
      {D3DRS_CULLMODE, D3DCULL_CCW},
      {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
      {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
      {D3DRS_ALPHABLENDENABLE, FALSE},
      {D3DRS_FOGEND, Bits(1.0f)},
      {D3DRS_FOGDENSITY, Bits(1.0f)},
      {D3DRS_STENCILFUNC, D3DCMP_ALWAYS},
      {D3DRS_STENCILMASK, 0xFFFFFFFF},
      {D3DRS_STENCILWRITEMASK, 0xFFFFFFFF},
      {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
      {D3DRS_CLIPPING, TRUE},
      {D3DRS_LIGHTING, TRUE},
      {D3DRS_COLORVERTEX, TRUE},
      {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
      {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
      {D3DRS_POINTSIZE_MAX, Bits(64.0f)},
      {D3DRS_MULTISAMPLEANTIALIAS, TRUE},
      {D3DRS_COLORWRITEENABLE, 0xF},
      {D3DRS_BLENDOP, D3DBLENDOP_ADD},
      {D3DRS_SCISSORTESTENABLE, FALSE},
      {D3DRS_COLORWRITEENABLE3, 0xF},
      {D3DRS_BLENDFACTOR, 0xFFFFFFFF},
  };
  for (const auto& e : expected) {
    DWORD value = 0xDEADBEEF;
    ASSERT_EQ(device->GetRenderState(e.state, &value), D3D_OK) << e.state;
    EXPECT_EQ(value, e.value) << "render state " << e.state;
  }
  TestDevice withoutDepth(CapableProfile(), FullScreenParameters(640, 480, D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN));
  DWORD zenable = 7;
  ASSERT_EQ(withoutDepth->GetRenderState(D3DRS_ZENABLE, &zenable), D3D_OK);
  EXPECT_EQ(zenable, static_cast<DWORD>(D3DZB_FALSE));
}

TEST(DefaultState, StageAndSamplerStatesStartAtThePublishedValues) {
  TestDevice device;
  auto stage = [&](DWORD index, D3DTEXTURESTAGESTATETYPE type) {
    DWORD value = 0xDEADBEEF;
    EXPECT_EQ(device->GetTextureStageState(index, type, &value), D3D_OK);
    return value;
  };
  EXPECT_EQ(stage(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));
  EXPECT_EQ(stage(0, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_SELECTARG1));
  for (DWORD i = 1; i < 8; ++i) {
    EXPECT_EQ(stage(i, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_DISABLE));
    EXPECT_EQ(stage(i, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_DISABLE));
    EXPECT_EQ(stage(i, D3DTSS_TEXCOORDINDEX), i);
  }
  EXPECT_EQ(stage(3, D3DTSS_COLORARG1), D3DTA_TEXTURE);
  EXPECT_EQ(stage(3, D3DTSS_COLORARG2), D3DTA_CURRENT);
  EXPECT_EQ(stage(5, D3DTSS_RESULTARG), D3DTA_CURRENT);
  auto sampler = [&](DWORD index, D3DSAMPLERSTATETYPE type) {
    DWORD value = 0xDEADBEEF;
    EXPECT_EQ(device->GetSamplerState(index, type, &value), D3D_OK);
    return value;
  };
  for (DWORD s : {DWORD{0}, DWORD{15}, D3DDMAPSAMPLER, D3DVERTEXTEXTURESAMPLER3}) {
    EXPECT_EQ(sampler(s, D3DSAMP_ADDRESSU), static_cast<DWORD>(D3DTADDRESS_WRAP));
    EXPECT_EQ(sampler(s, D3DSAMP_MAGFILTER), static_cast<DWORD>(D3DTEXF_POINT));
    EXPECT_EQ(sampler(s, D3DSAMP_MINFILTER), static_cast<DWORD>(D3DTEXF_POINT));
    EXPECT_EQ(sampler(s, D3DSAMP_MIPFILTER), static_cast<DWORD>(D3DTEXF_NONE));
    EXPECT_EQ(sampler(s, D3DSAMP_MAXANISOTROPY), 1u);
  }
  D3DVIEWPORT9 viewport{};
  ASSERT_EQ(device->GetViewport(&viewport), D3D_OK);
  EXPECT_EQ(viewport.Width, 640u);
  EXPECT_EQ(viewport.Height, 480u);
  EXPECT_EQ(viewport.MaxZ, 1.0f);
}

TEST(StateSetters, StoreValuesAndRefuseWhatDoesNotExist) {
  TestDevice device;
  DWORD value = 0;
  EXPECT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
  EXPECT_EQ(device->GetRenderState(D3DRS_CULLMODE, &value), D3D_OK);
  EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_NONE));
  EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(10), 0), D3DERR_INVALIDCALL);   // a gap
  EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(210), 0), D3DERR_INVALIDCALL);  // beyond the last
  EXPECT_EQ(device->SetTextureStageState(7, D3DTSS_COLOROP, D3DTOP_ADD), D3D_OK);
  EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_ADD), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(12), 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetSamplerState(16, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), D3D_OK);
  EXPECT_EQ(device->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(14), 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->GetRenderState(D3DRS_ZENABLE, nullptr), D3DERR_INVALIDCALL);

  ComPtr<IDirect3DTexture9> scratch, system, managed;
  device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, scratch.ReleaseAndGetAddressOf(), nullptr);
  device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, system.ReleaseAndGetAddressOf(), nullptr);
  device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, managed.ReleaseAndGetAddressOf(), nullptr);
  EXPECT_EQ(device->SetTexture(0, scratch.Get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetTexture(0, system.Get()), D3DERR_INVALIDCALL);  // no texturing from system memory
  EXPECT_EQ(device->SetTexture(16, managed.Get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetTexture(D3DDMAPSAMPLER, managed.Get()), D3D_OK);

  ComPtr<IDirect3DVertexBuffer9> buffer;
  device->CreateVertexBuffer(80, 0, 0x44, D3DPOOL_MANAGED, buffer.ReleaseAndGetAddressOf(), nullptr);
  EXPECT_EQ(device->SetStreamSource(16, buffer.Get(), 0, 20), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetStreamSource(0, buffer.Get(), 2, 20), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetStreamSource(0, buffer.Get(), 0, 1000), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetStreamSource(0, buffer.Get(), 0, 20), D3D_OK);
  UINT offset = 1, stride = 0;
  ComPtr<IDirect3DVertexBuffer9> bound;
  ASSERT_EQ(device->GetStreamSource(0, bound.ReleaseAndGetAddressOf(), &offset, &stride), D3D_OK);
  EXPECT_EQ(bound.Get(), buffer.Get());
  EXPECT_EQ(offset, 0u);
  EXPECT_EQ(stride, 20u);

  EXPECT_EQ(device->SetFVF(0x44), D3D_OK);
  EXPECT_EQ(device->SetFVF(0x3), D3DERR_INVALIDCALL);  // reserved bit
  DWORD fvf = 0;
  EXPECT_EQ(device->GetFVF(&fvf), D3D_OK);
  EXPECT_EQ(fvf, 0x44u);
}

TEST(StateSetters, ViewportMustLieInsideTheRenderTarget) {
  TestDevice device;
  D3DVIEWPORT9 inside{10, 20, 100, 200, 0.0f, 0.5f};
  EXPECT_EQ(device->SetViewport(&inside), D3D_OK);
  D3DVIEWPORT9 outside{600, 0, 100, 100, 0.0f, 1.0f};
  EXPECT_EQ(device->SetViewport(&outside), D3DERR_INVALIDCALL);
  D3DVIEWPORT9 depth{0, 0, 10, 10, 0.0f, 1.5f};
  EXPECT_EQ(device->SetViewport(&depth), D3DERR_INVALIDCALL);
  D3DVIEWPORT9 now{};
  device->GetViewport(&now);
  EXPECT_EQ(now.X, 10u);
  EXPECT_EQ(now.MaxZ, 0.5f);
  // A new render target 0 resets the viewport to its size.
  ComPtr<IDirect3DSurface9> target;
  device->CreateRenderTarget(32, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, target.ReleaseAndGetAddressOf(),
                             nullptr);
  ASSERT_EQ(device->SetRenderTarget(0, target.Get()), D3D_OK);
  device->GetViewport(&now);
  EXPECT_EQ(now.X, 0u);
  EXPECT_EQ(now.Width, 32u);
  EXPECT_EQ(now.Height, 16u);
  EXPECT_EQ(device->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
  ComPtr<IDirect3DSurface9> none;
  EXPECT_EQ(device->GetRenderTarget(2, none.ReleaseAndGetAddressOf()), D3DERR_NOTFOUND);
}

struct DrawingDevice : TestDevice {
  ComPtr<IDirect3DVertexBuffer9> quad;
  DrawingDevice() {
    device->CreateVertexBuffer(80, D3DUSAGE_WRITEONLY, 0x44, D3DPOOL_MANAGED, quad.ReleaseAndGetAddressOf(), nullptr);
    device->SetStreamSource(0, quad.Get(), 0, 20);
    device->SetFVF(0x44);
  }
};

TEST(Scenes, BeginAndEndPairUp) {
  DrawingDevice device;
  EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->EndScene(), D3D_OK);
  EXPECT_EQ(device.probe->beginScenes, 1u);
  EXPECT_EQ(device.probe->endScenes, 1u);
}

TEST(Scenes, PresentWaitsForTheSceneToEnd) {
  DrawingDevice device;
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(device.probe->presents, 0u);
  ASSERT_EQ(device->EndScene(), D3D_OK);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(device.probe->presents, 1u);
}

TEST(Scenes, BeginSceneCanBeMadeToFailForAWhile) {
  DrawingDevice device;
  device.probe->failingBeginScenes = 2;
  EXPECT_EQ(device->BeginScene(), D3DERR_DEVICELOST);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);  // not in a scene
  EXPECT_EQ(device->BeginScene(), D3DERR_DEVICELOST);
  EXPECT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  EXPECT_EQ(device->EndScene(), D3D_OK);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(device.probe->beginScenes, 1u);
  EXPECT_EQ(device.probe->draws, 1u);
  EXPECT_EQ(device.probe->presents, 1u);
}

TEST(Drawing, DrawsReachTheRendererOnlyWhenTheVerticesAreThere) {
  DrawingDevice device;
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);  // reads a fifth vertex
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3DERR_INVALIDCALL);   // needs six
  EXPECT_EQ(device->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(9), 0, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_POINTLIST, 3, 1), D3D_OK);
  EXPECT_EQ(device->SetStreamSource(0, nullptr, 0, 0), D3D_OK);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);  // no stream
  EXPECT_EQ(device->SetStreamSource(0, device.quad.Get(), 0, 20), D3D_OK);
  EXPECT_EQ(device->SetFVF(0), D3D_OK);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);  // no vertex format
  EXPECT_EQ(device->EndScene(), D3D_OK);
  EXPECT_EQ(device.probe->draws, 33u);
  EXPECT_EQ(device.probe->primitives, 65u);
  EXPECT_EQ(device.probe->lastPrimitiveType, D3DPT_POINTLIST);
}

TEST(Drawing, DeclarationsNameTheStreamsAndBytesADrawReads) {
  DrawingDevice device;
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
                                        {1, 4, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                        D3DDECL_END()};
  ComPtr<IDirect3DVertexDeclaration9> declaration;
  ASSERT_EQ(device->CreateVertexDeclaration(elements, declaration.ReleaseAndGetAddressOf()), D3D_OK);
  ASSERT_EQ(device->SetVertexDeclaration(declaration.Get()), D3D_OK);
  DWORD fvf = 1;
  device->GetFVF(&fvf);
  EXPECT_EQ(fvf, 0u);
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);  // stream 1 is not set
  ComPtr<IDirect3DVertexBuffer9> coordinates;
  device->CreateVertexBuffer(48, 0, 0, D3DPOOL_MANAGED, coordinates.ReleaseAndGetAddressOf(), nullptr);
  ASSERT_EQ(device->SetStreamSource(1, coordinates.Get(), 0, 12), D3D_OK);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);  // 3 * 12 + 4 + 8 = 48 bytes
  ASSERT_EQ(device->SetStreamSource(1, coordinates.Get(), 4, 12), D3D_OK);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);  // 52 bytes
  EXPECT_EQ(device->EndScene(), D3D_OK);
}

TEST(Drawing, UserPointerDrawsLeaveStreamZeroUnset) {
  DrawingDevice device;
  const float vertices[4][5] = {};
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, 20), D3D_OK);
  EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, nullptr, 20), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->EndScene(), D3D_OK);
  ComPtr<IDirect3DVertexBuffer9> bound;
  UINT offset = 0, stride = 0;
  ASSERT_EQ(device->GetStreamSource(0, bound.ReleaseAndGetAddressOf(), &offset, &stride), D3D_OK);
  EXPECT_FALSE(bound);
  EXPECT_EQ(device.probe->draws, 1u);
}

TEST(Drawing, UserPointerDrawsRefuseDeclarationsThatReadOtherStreams) {
  DrawingDevice device;
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
                                        {1, 0, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                        D3DDECL_END()};
  ComPtr<IDirect3DVertexDeclaration9> twoStreams;
  ASSERT_EQ(device->CreateVertexDeclaration(elements, twoStreams.ReleaseAndGetAddressOf()), D3D_OK);
  ComPtr<IDirect3DVertexBuffer9> coordinates;
  ASSERT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, coordinates.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  const float vertices[4][4] = {};
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  ASSERT_EQ(device->SetVertexDeclaration(twoStreams.Get()), D3D_OK);
  // Refused with stream 1 bound as much as without.
  EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, 16), D3DERR_INVALIDCALL);
  ASSERT_EQ(device->SetStreamSource(1, coordinates.Get(), 0, 8), D3D_OK);
  EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, 16), D3DERR_INVALIDCALL);
  EXPECT_EQ(device.probe->draws, 0u);
  // Stream 0 alone draws.
  const D3DVERTEXELEMENT9 positionOnly[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
  ComPtr<IDirect3DVertexDeclaration9> oneStream;
  ASSERT_EQ(device->CreateVertexDeclaration(positionOnly, oneStream.ReleaseAndGetAddressOf()), D3D_OK);
  ASSERT_EQ(device->SetVertexDeclaration(oneStream.Get()), D3D_OK);
  EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, 16), D3D_OK);
  EXPECT_EQ(device->EndScene(), D3D_OK);
  EXPECT_EQ(device.probe->draws, 1u);
}

TEST(Clearing, ClearsNeedTheBuffersTheyName) {
  TestDevice withStencil;
  EXPECT_EQ(withStencil->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0x11223344, 0.5f, 3),
            D3D_OK);
  EXPECT_EQ(withStencil.probe->clears, 1u);
  EXPECT_EQ(withStencil.probe->lastClearFlags, 7u);
  EXPECT_EQ(withStencil.probe->lastClearColor, 0x11223344u);
  EXPECT_EQ(withStencil.probe->lastClearZ, 0.5f);
  EXPECT_EQ(withStencil.probe->lastClearStencil, 3u);
  EXPECT_EQ(withStencil->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.5f, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(withStencil->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(withStencil->Clear(0, nullptr, 0, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  D3DRECT away{700, 500, 800, 600};  // entirely outside the viewport: nothing to clear
  EXPECT_EQ(withStencil->Clear(1, &away, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
  EXPECT_EQ(withStencil.probe->clears, 1u);

  TestDevice withoutStencil(CapableProfile(), FullScreenParameters(640, 480, D3DFMT_X8R8G8B8, D3DFMT_D24X8));
  EXPECT_EQ(withoutStencil->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  EXPECT_EQ(withoutStencil->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  TestDevice withoutDepth(CapableProfile(), FullScreenParameters(640, 480, D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN));
  EXPECT_EQ(withoutDepth->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(withoutDepth->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
}

TEST(ValidateDevice, ChecksStagesAgainstTheCaps) {
  DeviceProfile profile = CapableProfile();
  profile.caps.MaxTextureBlendStages = 2;
  profile.caps.TextureOpCaps &= ~D3DTEXOPCAPS_DOTPRODUCT3;
  TestDevice device(profile);
  DWORD passes = 0;
  EXPECT_EQ(device->ValidateDevice(&passes), D3D_OK);
  EXPECT_EQ(passes, 1u);
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3);
  EXPECT_EQ(device->ValidateDevice(&passes), D3DERR_UNSUPPORTEDCOLOROPERATION);
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
  device->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_ADD);
  EXPECT_EQ(device->ValidateDevice(&passes), D3DERR_TOOMANYOPERATIONS);
}

std::vector<std::string> capturedLines;
void Capture(const char* line) { capturedLines.emplace_back(line); }

TEST(DebugOutput, FailingCallsPrintOneLineUnlessMuted) {
  TestDevice device;
  ::setenv("RASTROMETER_D3D_DEBUG", "1", 1);
  SetDebugOutputSink(&Capture);
  capturedLines.clear();
  EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(10), 0), D3DERR_INVALIDCALL);
  ASSERT_EQ(capturedLines.size(), 1u);
  EXPECT_NE(capturedLines[0].find("IDirect3DDevice9::SetRenderState"), std::string::npos);
  EXPECT_EQ(device->SetRenderState(D3DRS_ZENABLE, 0), D3D_OK);
  EXPECT_EQ(capturedLines.size(), 1u);  // successes print nothing
  EXPECT_EQ(DebugSetMute(1), 0);
  EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(10), 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(capturedLines.size(), 1u);
  EXPECT_EQ(DebugSetMute(0), 1);
  SetDebugOutputSink(nullptr);
  ::unsetenv("RASTROMETER_D3D_DEBUG");
}

// Every line printed while `calls` runs with RASTROMETER_D3D_DEBUG set to `level`.
std::vector<std::string> LinesAtLevel(const char* level, const std::function<void()>& calls) {
  ::setenv("RASTROMETER_D3D_DEBUG", level, 1);
  SetDebugOutputSink(&Capture);
  capturedLines.clear();
  calls();
  SetDebugOutputSink(nullptr);
  ::unsetenv("RASTROMETER_D3D_DEBUG");
  return capturedLines;
}

TEST(DebugOutput, ZeroOrEmptyMeansOff) {
  TestDevice device;
  for (const char* level : {"0", ""}) {
    EXPECT_TRUE(LinesAtLevel(level, [&] { device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(10), 0); }).empty())
        << "RASTROMETER_D3D_DEBUG=" << level;
  }
}

TEST(DebugOutput, CapabilityAnswersAreNotFailuresAndPrintOnlyAtLevelTwo) {
  TestDevice device;
  IDirect3D9* d3d = device.direct3d.Get();
  const std::vector<std::pair<const char*, std::function<HRESULT()>>> answers{
      {"IDirect3D9::CheckDeviceType",
       [&] { return d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, FALSE); }},
      {"IDirect3D9::CheckDeviceFormat",
       [&] { return d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_P8); }},
      {"IDirect3D9::CheckDepthStencilMatch",
       [&] { return d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_P8); }},
      {"IDirect3D9::CheckDeviceMultiSampleType",
       [&] {
         return d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE, D3DMULTISAMPLE_4_SAMPLES,
                                                nullptr);
       }},
      {"IDirect3D9::CheckDeviceFormatConversion",
       [&] { return d3d->CheckDeviceFormatConversion(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5); }},
  };
  for (const auto& [call, ask] : answers) {
    HRESULT answer = D3D_OK;
    EXPECT_TRUE(LinesAtLevel("1", [&] { answer = ask(); }).empty()) << call;
    EXPECT_EQ(answer, D3DERR_NOTAVAILABLE) << call;
    const std::vector<std::string> lines = LinesAtLevel("2", [&] { ask(); });
    ASSERT_EQ(lines.size(), 1u) << call;
    EXPECT_NE(lines[0].find(std::string(call) + " declined"), std::string::npos) << lines[0];
  }
  // A wrong argument is still a failed call.
  const std::vector<std::string> lines = LinesAtLevel("1", [&] {
    d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL,
                           D3DRTYPE_SURFACE, D3DFMT_X8R8G8B8);
  });
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("IDirect3D9::CheckDeviceFormat failed"), std::string::npos) << lines[0];
}

TEST(DebugOutput, ContainersNameTheirOwnInterfaceAndGetContainerReportsMissingInterfaces) {
  TestDevice device;
  ComPtr<IDirect3DTexture9> texture;
  ComPtr<IDirect3DCubeTexture9> cube;
  ComPtr<IDirect3DVolumeTexture9> volume;
  ASSERT_EQ(
      device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ASSERT_EQ(
      device->CreateCubeTexture(8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ASSERT_EQ(device->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                        volume.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ComPtr<IDirect3DSurface9> level;
  ComPtr<IDirect3DVolume9> slice;
  ASSERT_EQ(texture->GetSurfaceLevel(0, level.ReleaseAndGetAddressOf()), D3D_OK);
  ASSERT_EQ(volume->GetVolumeLevel(0, slice.ReleaseAndGetAddressOf()), D3D_OK);
  D3DLOCKED_RECT rect{};
  D3DLOCKED_BOX box{};
  void* container = nullptr;
  const std::vector<std::pair<const char*, std::function<void()>>> failures{
      {"IDirect3DTexture9::UnlockRect", [&] { texture->UnlockRect(0); }},
      {"IDirect3DTexture9::LockRect", [&] { texture->LockRect(0, nullptr, nullptr, 0); }},
      {"IDirect3DCubeTexture9::UnlockRect", [&] { cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0); }},
      {"IDirect3DCubeTexture9::LockRect", [&] { cube->LockRect(D3DCUBEMAP_FACE_POSITIVE_X, 0, &rect, nullptr, ~0u); }},
      {"IDirect3DVolumeTexture9::UnlockBox", [&] { volume->UnlockBox(0); }},
      {"IDirect3DVolumeTexture9::LockBox", [&] { volume->LockBox(0, nullptr, nullptr, 0); }},
      {"IDirect3DSurface9::LockRect", [&] { level->LockRect(nullptr, nullptr, 0); }},
      {"IDirect3DVolume9::LockBox", [&] { slice->LockBox(&box, nullptr, ~0u); }},
      {"IDirect3DSurface9::GetContainer", [&] { level->GetContainer(IID_IDirect3DCubeTexture9, &container); }},
      {"IDirect3DVolume9::GetContainer", [&] { slice->GetContainer(IID_IDirect3DTexture9, &container); }},
  };
  for (const auto& [call, fail] : failures) {
    const std::vector<std::string> lines = LinesAtLevel("1", fail);
    ASSERT_EQ(lines.size(), 1u) << call;
    EXPECT_EQ(lines[0].rfind(std::string("Direct3D9: ") + call + " failed", 0), 0u) << lines[0];
  }
  EXPECT_EQ(container, nullptr);
}

}  // namespace
}  // namespace rastro::testing

namespace rastro::testing {
namespace {

TEST(StateSetters, VertexSamplersHoldTheirTexturesApartFromThePixelStages) {
  TestDevice device;
  ComPtr<IDirect3DTexture9> first, second;
  ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_R32F, D3DPOOL_MANAGED, first.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ASSERT_EQ(
      device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, second.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  const ULONG alone = RefCount(first.Get());
  for (DWORD sampler = D3DVERTEXTEXTURESAMPLER0; sampler <= D3DVERTEXTEXTURESAMPLER3; ++sampler) {
    ASSERT_EQ(device->SetTexture(sampler, first.Get()), D3D_OK) << sampler;
  }
  ASSERT_EQ(device->SetTexture(1, second.Get()), D3D_OK);
  // Binding keeps the texture alive without counting against the application's references.
  EXPECT_EQ(RefCount(first.Get()), alone);
  ComPtr<IDirect3DBaseTexture9> bound;
  ASSERT_EQ(device->GetTexture(D3DVERTEXTEXTURESAMPLER1, bound.ReleaseAndGetAddressOf()), D3D_OK);
  EXPECT_EQ(bound.Get(), static_cast<IDirect3DBaseTexture9*>(first.Get()));
  EXPECT_EQ(RefCount(first.Get()), alone + 1);  // the one GetTexture handed out
  bound.Reset();
  ASSERT_EQ(device->GetTexture(1, bound.ReleaseAndGetAddressOf()), D3D_OK);
  EXPECT_EQ(bound.Get(), static_cast<IDirect3DBaseTexture9*>(second.Get()));
  ASSERT_EQ(device->GetTexture(D3DVERTEXTEXTURESAMPLER0 - 1, bound.ReleaseAndGetAddressOf()),
            D3D_OK);  // the displacement map
  EXPECT_EQ(bound.Get(), nullptr);
  EXPECT_EQ(device->GetTexture(D3DVERTEXTEXTURESAMPLER3 + 1, bound.ReleaseAndGetAddressOf()), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetTexture(D3DVERTEXTEXTURESAMPLER3 + 1, first.Get()), D3DERR_INVALIDCALL);

  // Unbinding one vertex sampler leaves the others bound.
  ASSERT_EQ(device->SetTexture(D3DVERTEXTEXTURESAMPLER2, nullptr), D3D_OK);
  ASSERT_EQ(device->GetTexture(D3DVERTEXTEXTURESAMPLER2, bound.ReleaseAndGetAddressOf()), D3D_OK);
  EXPECT_EQ(bound.Get(), nullptr);
  ASSERT_EQ(device->GetTexture(D3DVERTEXTEXTURESAMPLER3, bound.ReleaseAndGetAddressOf()), D3D_OK);
  EXPECT_EQ(bound.Get(), static_cast<IDirect3DBaseTexture9*>(first.Get()));
  bound.Reset();
}

// Extra render targets draw only at the size of the first, and at its pixel size unless the
// device offers independent bit depths.
TEST(Scenes, RenderTargetsDrawTogetherOnlyWhenTheyMatch) {
  struct Case {
    UINT width;
    D3DFORMAT format;
    bool independentDepths;
    HRESULT draw;
  };
  const Case cases[] = {
      {640, D3DFMT_A8R8G8B8, false, D3D_OK},             // same size, same 32 bits
      {640, D3DFMT_R5G6B5, false, D3DERR_INVALIDCALL},   // 16 bits beside 32
      {640, D3DFMT_R5G6B5, true, D3D_OK},                // ... allowed by the cap
      {320, D3DFMT_A8R8G8B8, true, D3DERR_INVALIDCALL},  // another size
  };
  for (const Case& c : cases) {
    DeviceProfile profile = CapableProfile();
    if (c.independentDepths) profile.caps.PrimitiveMiscCaps |= D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS;
    TestDevice device(profile);
    ComPtr<IDirect3DVertexBuffer9> quad;
    device->CreateVertexBuffer(80, D3DUSAGE_WRITEONLY, 0x44, D3DPOOL_MANAGED, quad.ReleaseAndGetAddressOf(), nullptr);
    device->SetStreamSource(0, quad.Get(), 0, 20);
    device->SetFVF(0x44);
    ComPtr<IDirect3DSurface9> target;
    ASSERT_EQ(device->CreateRenderTarget(c.width, 480, c.format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                         target.ReleaseAndGetAddressOf(), nullptr),
              D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(2, target.Get()), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), c.draw) << c.width << " " << c.format;
    EXPECT_EQ(device.probe->draws, c.draw == D3D_OK ? 1u : 0u);
    // Taking the odd target away lets the draw through.
    ASSERT_EQ(device->SetRenderTarget(2, nullptr), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    device->EndScene();
  }
}

}  // namespace
}  // namespace rastro::testing
