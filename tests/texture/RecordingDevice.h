// Test doubles that watch what the texture loader asks of Direct3D: a surface whose locks are
// recorded, and a device whose copies and creations are counted. Both forward every call to
// the real objects of a resource-only device, unwrapping recorded surfaces on the way.
#pragma once

#include <vector>

#include "../d3d/TestDevice.h"

namespace rastro::testing {

struct LockCall {
  bool whole;
  RECT rect;
  DWORD flags;
  HRESULT result;
};

struct TextureCreation {
  UINT width, height, levels;
  DWORD usage;
  D3DFORMAT format;
  D3DPOOL pool;
};

class RecordingDevice;

class RecordingSurface final : public IDirect3DSurface9 {
 public:
  RecordingSurface(IDirect3DSurface9* inner, RecordingDevice* device);
  static IDirect3DSurface9* Unwrap(IDirect3DSurface9* surface) {
    auto* recording = dynamic_cast<RecordingSurface*>(surface);
    return recording ? recording->inner_.Get() : surface;
  }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DSurface9) {
      AddRef();
      *object = static_cast<IDirect3DSurface9*>(this);
      return S_OK;
    }
    return inner_->QueryInterface(riid, object);
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (!left) delete this;
    return left;
  }
  HRESULT GetDevice(IDirect3DDevice9** device) override;
  DWORD SetPriority(DWORD priority) override { return inner_->SetPriority(priority); }
  DWORD GetPriority() override { return inner_->GetPriority(); }
  void PreLoad() override { inner_->PreLoad(); }
  D3DRESOURCETYPE GetType() override { return inner_->GetType(); }
  HRESULT GetContainer(REFIID riid, void** container) override { return inner_->GetContainer(riid, container); }
  HRESULT GetDesc(D3DSURFACE_DESC* desc) override { return inner_->GetDesc(desc); }
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
    HRESULT hr = inner_->LockRect(locked, rect, flags);
    locks.push_back({rect == nullptr, rect ? *rect : RECT{}, flags, hr});
    return hr;
  }
  HRESULT UnlockRect() override {
    ++unlocks;
    return inner_->UnlockRect();
  }

  std::vector<LockCall> locks;
  unsigned unlocks = 0;

 private:
  ~RecordingSurface() = default;
  ComPtr<IDirect3DSurface9> inner_;
  ComPtr<RecordingDevice> device_;
  ULONG refs_ = 1;
};

class RecordingDevice final : public IDirect3DDevice9 {
 public:
  explicit RecordingDevice(IDirect3DDevice9* inner) : inner_(ComPtr<IDirect3DDevice9>::Share(inner)) {}

  // A recorded stand-in for `surface`, one reference owned by the caller.
  ComPtr<RecordingSurface> Wrap(IDirect3DSurface9* surface) {
    return ComPtr<RecordingSurface>::Adopt(new RecordingSurface(surface, this));
  }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IDirect3DDevice9) {
      AddRef();
      *object = static_cast<IDirect3DDevice9*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (!left) delete this;
    return left;
  }

  HRESULT TestCooperativeLevel() override { return inner_->TestCooperativeLevel(); }
  HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                        IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle) override {
    textures.push_back({Width, Height, Levels, Usage, Format, Pool});
    return inner_->CreateTexture(Width, Height, Levels, Usage, Format, Pool, ppTexture, pSharedHandle);
  }
  HRESULT CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
                             DWORD MultisampleQuality, BOOL Lockable, IDirect3DSurface9** ppSurface,
                             HANDLE* pSharedHandle) override {
    ++renderTargets;
    return inner_->CreateRenderTarget(Width, Height, Format, MultiSample, MultisampleQuality, Lockable, ppSurface,
                                      pSharedHandle);
  }
  HRESULT UpdateSurface(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect,
                        IDirect3DSurface9* pDestinationSurface, const POINT* pDestPoint) override {
    ++updateSurfaces;
    return inner_->UpdateSurface(RecordingSurface::Unwrap(pSourceSurface), pSourceRect,
                                 RecordingSurface::Unwrap(pDestinationSurface), pDestPoint);
  }
  HRESULT StretchRect(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect, IDirect3DSurface9* pDestSurface,
                      const RECT* pDestRect, D3DTEXTUREFILTERTYPE Filter) override {
    ++stretchRects;
    return inner_->StretchRect(RecordingSurface::Unwrap(pSourceSurface), pSourceRect,
                               RecordingSurface::Unwrap(pDestSurface), pDestRect, Filter);
  }

  UINT GetAvailableTextureMem() override { return inner_->GetAvailableTextureMem(); }
  HRESULT EvictManagedResources() override { return inner_->EvictManagedResources(); }
  HRESULT GetDirect3D(IDirect3D9** ppD3D9) override { return inner_->GetDirect3D(ppD3D9); }
  HRESULT GetDeviceCaps(D3DCAPS9* pCaps) override { return inner_->GetDeviceCaps(pCaps); }
  HRESULT GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) override {
    return inner_->GetDisplayMode(iSwapChain, pMode);
  }
  HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) override {
    return inner_->GetCreationParameters(pParameters);
  }
  HRESULT Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override {
    return inner_->Reset(pPresentationParameters);
  }
  HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                  const RGNDATA* pDirtyRegion) override {
    return inner_->Present(pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion);
  }
  HRESULT GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                        IDirect3DSurface9** ppBackBuffer) override {
    return inner_->GetBackBuffer(iSwapChain, iBackBuffer, Type, ppBackBuffer);
  }
  HRESULT CreateVolumeTexture(UINT Width, UINT Height, UINT Depth, UINT Levels, DWORD Usage, D3DFORMAT Format,
                              D3DPOOL Pool, IDirect3DVolumeTexture9** ppVolumeTexture, HANDLE* pSharedHandle) override {
    return inner_->CreateVolumeTexture(Width, Height, Depth, Levels, Usage, Format, Pool, ppVolumeTexture,
                                       pSharedHandle);
  }
  HRESULT CreateCubeTexture(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                            IDirect3DCubeTexture9** ppCubeTexture, HANDLE* pSharedHandle) override {
    return inner_->CreateCubeTexture(EdgeLength, Levels, Usage, Format, Pool, ppCubeTexture, pSharedHandle);
  }
  HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool, IDirect3DVertexBuffer9** ppVertexBuffer,
                             HANDLE* pSharedHandle) override {
    return inner_->CreateVertexBuffer(Length, Usage, FVF, Pool, ppVertexBuffer, pSharedHandle);
  }
  HRESULT CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
                                    DWORD MultisampleQuality, BOOL Discard, IDirect3DSurface9** ppSurface,
                                    HANDLE* pSharedHandle) override {
    return inner_->CreateDepthStencilSurface(Width, Height, Format, MultiSample, MultisampleQuality, Discard, ppSurface,
                                             pSharedHandle);
  }
  HRESULT UpdateTexture(IDirect3DBaseTexture9* pSourceTexture, IDirect3DBaseTexture9* pDestinationTexture) override {
    return inner_->UpdateTexture(pSourceTexture, pDestinationTexture);
  }
  HRESULT GetRenderTargetData(IDirect3DSurface9* pRenderTarget, IDirect3DSurface9* pDestSurface) override {
    return inner_->GetRenderTargetData(pRenderTarget, pDestSurface);
  }
  HRESULT ColorFill(IDirect3DSurface9* pSurface, const RECT* pRect, D3DCOLOR color) override {
    return inner_->ColorFill(pSurface, pRect, color);
  }
  HRESULT CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool,
                                      IDirect3DSurface9** ppSurface, HANDLE* pSharedHandle) override {
    return inner_->CreateOffscreenPlainSurface(Width, Height, Format, Pool, ppSurface, pSharedHandle);
  }
  HRESULT SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget) override {
    return inner_->SetRenderTarget(RenderTargetIndex, pRenderTarget);
  }
  HRESULT GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) override {
    return inner_->GetRenderTarget(RenderTargetIndex, ppRenderTarget);
  }
  HRESULT SetDepthStencilSurface(IDirect3DSurface9* pNewZStencil) override {
    return inner_->SetDepthStencilSurface(pNewZStencil);
  }
  HRESULT GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface) override {
    return inner_->GetDepthStencilSurface(ppZStencilSurface);
  }
  HRESULT BeginScene() override { return inner_->BeginScene(); }
  HRESULT EndScene() override { return inner_->EndScene(); }
  HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) override {
    return inner_->Clear(Count, pRects, Flags, Color, Z, Stencil);
  }
  HRESULT SetViewport(const D3DVIEWPORT9* pViewport) override { return inner_->SetViewport(pViewport); }
  HRESULT GetViewport(D3DVIEWPORT9* pViewport) override { return inner_->GetViewport(pViewport); }
  HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override {
    return inner_->SetRenderState(State, Value);
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override {
    return inner_->GetRenderState(State, pValue);
  }
  HRESULT GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture) override {
    return inner_->GetTexture(Stage, ppTexture);
  }
  HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override {
    return inner_->SetTexture(Stage, pTexture);
  }
  HRESULT GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override {
    return inner_->GetTextureStageState(Stage, Type, pValue);
  }
  HRESULT SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override {
    return inner_->SetTextureStageState(Stage, Type, Value);
  }
  HRESULT GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) override {
    return inner_->GetSamplerState(Sampler, Type, pValue);
  }
  HRESULT SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override {
    return inner_->SetSamplerState(Sampler, Type, Value);
  }
  HRESULT ValidateDevice(DWORD* pNumPasses) override { return inner_->ValidateDevice(pNumPasses); }
  HRESULT SetScissorRect(const RECT* pRect) override { return inner_->SetScissorRect(pRect); }
  HRESULT GetScissorRect(RECT* pRect) override { return inner_->GetScissorRect(pRect); }
  HRESULT SetSoftwareVertexProcessing(BOOL bSoftware) override {
    return inner_->SetSoftwareVertexProcessing(bSoftware);
  }
  BOOL GetSoftwareVertexProcessing() override { return inner_->GetSoftwareVertexProcessing(); }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override {
    return inner_->DrawPrimitive(PrimitiveType, StartVertex, PrimitiveCount);
  }
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount, const void* pVertexStreamZeroData,
                          UINT VertexStreamZeroStride) override {
    return inner_->DrawPrimitiveUP(PrimitiveType, PrimitiveCount, pVertexStreamZeroData, VertexStreamZeroStride);
  }
  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* pVertexElements,
                                  IDirect3DVertexDeclaration9** ppDecl) override {
    return inner_->CreateVertexDeclaration(pVertexElements, ppDecl);
  }
  HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) override {
    return inner_->SetVertexDeclaration(pDecl);
  }
  HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** ppDecl) override {
    return inner_->GetVertexDeclaration(ppDecl);
  }
  HRESULT SetFVF(DWORD FVF) override { return inner_->SetFVF(FVF); }
  HRESULT GetFVF(DWORD* pFVF) override { return inner_->GetFVF(pFVF); }
  HRESULT CreateVertexShader(const DWORD* pFunction, IDirect3DVertexShader9** ppShader) override {
    return inner_->CreateVertexShader(pFunction, ppShader);
  }
  HRESULT SetVertexShader(IDirect3DVertexShader9* pShader) override { return inner_->SetVertexShader(pShader); }
  HRESULT GetVertexShader(IDirect3DVertexShader9** ppShader) override { return inner_->GetVertexShader(ppShader); }
  HRESULT SetVertexShaderConstantF(UINT StartRegister, const float* pConstantData, UINT Vector4fCount) override {
    return inner_->SetVertexShaderConstantF(StartRegister, pConstantData, Vector4fCount);
  }
  HRESULT GetVertexShaderConstantF(UINT StartRegister, float* pConstantData, UINT Vector4fCount) override {
    return inner_->GetVertexShaderConstantF(StartRegister, pConstantData, Vector4fCount);
  }
  HRESULT SetVertexShaderConstantI(UINT StartRegister, const int* pConstantData, UINT Vector4iCount) override {
    return inner_->SetVertexShaderConstantI(StartRegister, pConstantData, Vector4iCount);
  }
  HRESULT GetVertexShaderConstantI(UINT StartRegister, int* pConstantData, UINT Vector4iCount) override {
    return inner_->GetVertexShaderConstantI(StartRegister, pConstantData, Vector4iCount);
  }
  HRESULT SetVertexShaderConstantB(UINT StartRegister, const BOOL* pConstantData, UINT BoolCount) override {
    return inner_->SetVertexShaderConstantB(StartRegister, pConstantData, BoolCount);
  }
  HRESULT GetVertexShaderConstantB(UINT StartRegister, BOOL* pConstantData, UINT BoolCount) override {
    return inner_->GetVertexShaderConstantB(StartRegister, pConstantData, BoolCount);
  }
  HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                          UINT Stride) override {
    return inner_->SetStreamSource(StreamNumber, pStreamData, OffsetInBytes, Stride);
  }
  HRESULT GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData, UINT* pOffsetInBytes,
                          UINT* pStride) override {
    return inner_->GetStreamSource(StreamNumber, ppStreamData, pOffsetInBytes, pStride);
  }
  HRESULT CreatePixelShader(const DWORD* pFunction, IDirect3DPixelShader9** ppShader) override {
    return inner_->CreatePixelShader(pFunction, ppShader);
  }
  HRESULT SetPixelShader(IDirect3DPixelShader9* pShader) override { return inner_->SetPixelShader(pShader); }
  HRESULT GetPixelShader(IDirect3DPixelShader9** ppShader) override { return inner_->GetPixelShader(ppShader); }
  HRESULT SetPixelShaderConstantF(UINT StartRegister, const float* pConstantData, UINT Vector4fCount) override {
    return inner_->SetPixelShaderConstantF(StartRegister, pConstantData, Vector4fCount);
  }
  HRESULT GetPixelShaderConstantF(UINT StartRegister, float* pConstantData, UINT Vector4fCount) override {
    return inner_->GetPixelShaderConstantF(StartRegister, pConstantData, Vector4fCount);
  }
  HRESULT SetPixelShaderConstantI(UINT StartRegister, const int* pConstantData, UINT Vector4iCount) override {
    return inner_->SetPixelShaderConstantI(StartRegister, pConstantData, Vector4iCount);
  }
  HRESULT GetPixelShaderConstantI(UINT StartRegister, int* pConstantData, UINT Vector4iCount) override {
    return inner_->GetPixelShaderConstantI(StartRegister, pConstantData, Vector4iCount);
  }
  HRESULT SetPixelShaderConstantB(UINT StartRegister, const BOOL* pConstantData, UINT BoolCount) override {
    return inner_->SetPixelShaderConstantB(StartRegister, pConstantData, BoolCount);
  }
  HRESULT GetPixelShaderConstantB(UINT StartRegister, BOOL* pConstantData, UINT BoolCount) override {
    return inner_->GetPixelShaderConstantB(StartRegister, pConstantData, BoolCount);
  }

  std::vector<TextureCreation> textures;
  unsigned renderTargets = 0;
  unsigned updateSurfaces = 0;
  unsigned stretchRects = 0;

 private:
  ~RecordingDevice() = default;
  ComPtr<IDirect3DDevice9> inner_;
  ULONG refs_ = 1;
};

inline RecordingSurface::RecordingSurface(IDirect3DSurface9* inner, RecordingDevice* device)
    : inner_(ComPtr<IDirect3DSurface9>::Share(inner)), device_(ComPtr<RecordingDevice>::Share(device)) {}

inline HRESULT RecordingSurface::GetDevice(IDirect3DDevice9** device) {
  device_->AddRef();
  *device = device_.Get();
  return S_OK;
}

}  // namespace rastro::testing
