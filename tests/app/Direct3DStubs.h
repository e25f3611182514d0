// Direct3D stand-ins whose every method answers "not implemented"; the fakes of the app tests
// override what the benchmark uses.
#pragma once

#include "d3d9.h"

namespace rastro::testing {

class StubDirect3D : public IDirect3D9 {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  UINT GetAdapterCount() override { return 0; }
  HRESULT GetAdapterIdentifier(UINT, DWORD, D3DADAPTER_IDENTIFIER9*) override { return E_NOTIMPL; }
  UINT GetAdapterModeCount(UINT, D3DFORMAT) override { return 0; }
  HRESULT EnumAdapterModes(UINT, D3DFORMAT, UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
  HRESULT GetAdapterDisplayMode(UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
  HRESULT CheckDeviceType(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, BOOL) override { return E_NOTIMPL; }
  HRESULT CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE, D3DFORMAT) override {
    return E_NOTIMPL;
  }
  HRESULT CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT CheckDepthStencilMatch(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, D3DFORMAT) override { return E_NOTIMPL; }
  HRESULT CheckDeviceFormatConversion(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT) override { return E_NOTIMPL; }
  HRESULT GetDeviceCaps(UINT, D3DDEVTYPE, D3DCAPS9*) override { return E_NOTIMPL; }
  HRESULT CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice9**) override {
    return E_NOTIMPL;
  }
};

class StubDevice : public IDirect3DDevice9 {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  HRESULT TestCooperativeLevel() override { return E_NOTIMPL; }
  UINT GetAvailableTextureMem() override { return 0; }
  HRESULT EvictManagedResources() override { return E_NOTIMPL; }
  HRESULT GetDirect3D(IDirect3D9**) override { return E_NOTIMPL; }
  HRESULT GetDeviceCaps(D3DCAPS9*) override { return E_NOTIMPL; }
  HRESULT GetDisplayMode(UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
  HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS*) override { return E_NOTIMPL; }
  HRESULT Reset(D3DPRESENT_PARAMETERS*) override { return E_NOTIMPL; }
  HRESULT Present(const RECT*, const RECT*, HWND, const RGNDATA*) override { return E_NOTIMPL; }
  HRESULT GetBackBuffer(UINT, UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface9**) override { return E_NOTIMPL; }
  HRESULT CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture9**, HANDLE*) override {
    return E_NOTIMPL;
  }
  HRESULT CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DVolumeTexture9**,
                              HANDLE*) override {
    return E_NOTIMPL;
  }
  HRESULT CreateCubeTexture(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DCubeTexture9**, HANDLE*) override {
    return E_NOTIMPL;
  }
  HRESULT CreateVertexBuffer(UINT, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer9**, HANDLE*) override {
    return E_NOTIMPL;
  }
  HRESULT CreateRenderTarget(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL, IDirect3DSurface9**,
                             HANDLE*) override {
    return E_NOTIMPL;
  }
  HRESULT CreateDepthStencilSurface(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL, IDirect3DSurface9**,
                                    HANDLE*) override {
    return E_NOTIMPL;
  }
  HRESULT UpdateSurface(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const POINT*) override {
    return E_NOTIMPL;
  }
  HRESULT UpdateTexture(IDirect3DBaseTexture9*, IDirect3DBaseTexture9*) override { return E_NOTIMPL; }
  HRESULT GetRenderTargetData(IDirect3DSurface9*, IDirect3DSurface9*) override { return E_NOTIMPL; }
  HRESULT StretchRect(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const RECT*, D3DTEXTUREFILTERTYPE) override {
    return E_NOTIMPL;
  }
  HRESULT ColorFill(IDirect3DSurface9*, const RECT*, D3DCOLOR) override { return E_NOTIMPL; }
  HRESULT CreateOffscreenPlainSurface(UINT, UINT, D3DFORMAT, D3DPOOL, IDirect3DSurface9**, HANDLE*) override {
    return E_NOTIMPL;
  }
  HRESULT SetRenderTarget(DWORD, IDirect3DSurface9*) override { return E_NOTIMPL; }
  HRESULT GetRenderTarget(DWORD, IDirect3DSurface9**) override { return E_NOTIMPL; }
  HRESULT SetDepthStencilSurface(IDirect3DSurface9*) override { return E_NOTIMPL; }
  HRESULT GetDepthStencilSurface(IDirect3DSurface9**) override { return E_NOTIMPL; }
  HRESULT BeginScene() override { return E_NOTIMPL; }
  HRESULT EndScene() override { return E_NOTIMPL; }
  HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return E_NOTIMPL; }
  HRESULT SetViewport(const D3DVIEWPORT9*) override { return E_NOTIMPL; }
  HRESULT GetViewport(D3DVIEWPORT9*) override { return E_NOTIMPL; }
  HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return E_NOTIMPL; }
  HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return E_NOTIMPL; }
  HRESULT GetTexture(DWORD, IDirect3DBaseTexture9**) override { return E_NOTIMPL; }
  HRESULT SetTexture(DWORD, IDirect3DBaseTexture9*) override { return E_NOTIMPL; }
  HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override { return E_NOTIMPL; }
  HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override { return E_NOTIMPL; }
  HRESULT GetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD*) override { return E_NOTIMPL; }
  HRESULT SetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD) override { return E_NOTIMPL; }
  HRESULT ValidateDevice(DWORD*) override { return E_NOTIMPL; }
  HRESULT SetScissorRect(const RECT*) override { return E_NOTIMPL; }
  HRESULT GetScissorRect(RECT*) override { return E_NOTIMPL; }
  HRESULT SetSoftwareVertexProcessing(BOOL) override { return E_NOTIMPL; }
  BOOL GetSoftwareVertexProcessing() override { return FALSE; }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) override { return E_NOTIMPL; }
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE, UINT, const void*, UINT) override { return E_NOTIMPL; }
  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9*, IDirect3DVertexDeclaration9**) override {
    return E_NOTIMPL;
  }
  HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9*) override { return E_NOTIMPL; }
  HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9**) override { return E_NOTIMPL; }
  HRESULT SetFVF(DWORD) override { return E_NOTIMPL; }
  HRESULT GetFVF(DWORD*) override { return E_NOTIMPL; }
  HRESULT CreateVertexShader(const DWORD*, IDirect3DVertexShader9**) override { return E_NOTIMPL; }
  HRESULT SetVertexShader(IDirect3DVertexShader9*) override { return E_NOTIMPL; }
  HRESULT GetVertexShader(IDirect3DVertexShader9**) override { return E_NOTIMPL; }
  HRESULT SetVertexShaderConstantF(UINT, const float*, UINT) override { return E_NOTIMPL; }
  HRESULT GetVertexShaderConstantF(UINT, float*, UINT) override { return E_NOTIMPL; }
  HRESULT SetVertexShaderConstantI(UINT, const int*, UINT) override { return E_NOTIMPL; }
  HRESULT GetVertexShaderConstantI(UINT, int*, UINT) override { return E_NOTIMPL; }
  HRESULT SetVertexShaderConstantB(UINT, const BOOL*, UINT) override { return E_NOTIMPL; }
  HRESULT GetVertexShaderConstantB(UINT, BOOL*, UINT) override { return E_NOTIMPL; }
  HRESULT SetStreamSource(UINT, IDirect3DVertexBuffer9*, UINT, UINT) override { return E_NOTIMPL; }
  HRESULT GetStreamSource(UINT, IDirect3DVertexBuffer9**, UINT*, UINT*) override { return E_NOTIMPL; }
  HRESULT CreatePixelShader(const DWORD*, IDirect3DPixelShader9**) override { return E_NOTIMPL; }
  HRESULT SetPixelShader(IDirect3DPixelShader9*) override { return E_NOTIMPL; }
  HRESULT GetPixelShader(IDirect3DPixelShader9**) override { return E_NOTIMPL; }
  HRESULT SetPixelShaderConstantF(UINT, const float*, UINT) override { return E_NOTIMPL; }
  HRESULT GetPixelShaderConstantF(UINT, float*, UINT) override { return E_NOTIMPL; }
  HRESULT SetPixelShaderConstantI(UINT, const int*, UINT) override { return E_NOTIMPL; }
  HRESULT GetPixelShaderConstantI(UINT, int*, UINT) override { return E_NOTIMPL; }
  HRESULT SetPixelShaderConstantB(UINT, const BOOL*, UINT) override { return E_NOTIMPL; }
  HRESULT GetPixelShaderConstantB(UINT, BOOL*, UINT) override { return E_NOTIMPL; }
};

class StubVertexBuffer : public IDirect3DVertexBuffer9 {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  HRESULT GetDevice(IDirect3DDevice9**) override { return E_NOTIMPL; }
  DWORD SetPriority(DWORD) override { return 0; }
  DWORD GetPriority() override { return 0; }
  void PreLoad() override {}
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
  HRESULT Lock(UINT, UINT, void**, DWORD) override { return E_NOTIMPL; }
  HRESULT Unlock() override { return E_NOTIMPL; }
  HRESULT GetDesc(D3DVERTEXBUFFER_DESC*) override { return E_NOTIMPL; }
};

}  // namespace rastro::testing
