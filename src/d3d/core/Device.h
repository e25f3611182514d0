// The Direct3D 9 device: every rule of the runtime that callers rely on, the state it keeps,
// and the resources it creates. Drawing itself is handed to a Renderer.
#pragma once

#include <memory>
#include <vector>

#include "DeviceState.h"
#include "renderer/Renderer.h"

namespace rastro {

class Direct3D;
class Surface;
class VertexBuffer;
class VertexDeclaration;

class Device final : public IDirect3DDevice9 {
 public:
  // Checks the arguments and the presentation parameters against the adapter, completes the
  // parameters (as the runtime writes back back-buffer count, size and format) and creates
  // the device with its renderer.
  static HRESULT Create(Direct3D& direct3d, UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                        D3DPRESENT_PARAMETERS* presentation, IDirect3DDevice9** device);

  // IUnknown
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // IDirect3DDevice9
  HRESULT TestCooperativeLevel() override;
  UINT GetAvailableTextureMem() override;
  HRESULT EvictManagedResources() override;
  HRESULT GetDirect3D(IDirect3D9** direct3d) override;
  HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
  HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
  HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override;
  HRESULT Reset(D3DPRESENT_PARAMETERS* presentation) override;
  HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                  const RGNDATA* dirtyRegion) override;
  HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) override;
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture9** texture, HANDLE* sharedHandle) override;
  HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DVolumeTexture9** texture, HANDLE* sharedHandle) override;
  HRESULT CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            IDirect3DCubeTexture9** texture, HANDLE* sharedHandle) override;
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                             HANDLE* sharedHandle) override;
  HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                             DWORD multisampleQuality, BOOL lockable, IDirect3DSurface9** surface,
                             HANDLE* sharedHandle) override;
  HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                    DWORD multisampleQuality, BOOL discard, IDirect3DSurface9** surface,
                                    HANDLE* sharedHandle) override;
  HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                        const POINT* destPoint) override;
  HRESULT UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) override;
  HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destination) override;
  HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                      const RECT* destRect, D3DTEXTUREFILTERTYPE filter) override;
  HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;
  HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DSurface9** surface, HANDLE* sharedHandle) override;
  HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* renderTarget) override;
  HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** renderTarget) override;
  HRESULT SetDepthStencilSurface(IDirect3DSurface9* depthStencil) override;
  HRESULT GetDepthStencilSurface(IDirect3DSurface9** depthStencil) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
  HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
  HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
  HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
  HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
  HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
  HRESULT ValidateDevice(DWORD* passes) override;
  HRESULT SetScissorRect(const RECT* rect) override;
  HRESULT GetScissorRect(RECT* rect) override;
  HRESULT SetSoftwareVertexProcessing(BOOL software) override;
  BOOL GetSoftwareVertexProcessing() override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData, UINT stride) override;
  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                  IDirect3DVertexDeclaration9** declaration) override;
  HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
  HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) override;
  HRESULT SetFVF(DWORD fvf) override;
  HRESULT GetFVF(DWORD* fvf) override;
  HRESULT CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override;
  HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
  HRESULT GetVertexShader(IDirect3DVertexShader9** shader) override;
  HRESULT SetVertexShaderConstantF(UINT start, const float* data, UINT count) override;
  HRESULT GetVertexShaderConstantF(UINT start, float* data, UINT count) override;
  HRESULT SetVertexShaderConstantI(UINT start, const int* data, UINT count) override;
  HRESULT GetVertexShaderConstantI(UINT start, int* data, UINT count) override;
  HRESULT SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count) override;
  HRESULT GetVertexShaderConstantB(UINT start, BOOL* data, UINT count) override;
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
  HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) override;
  HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override;
  HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
  HRESULT GetPixelShader(IDirect3DPixelShader9** shader) override;
  HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT count) override;
  HRESULT GetPixelShaderConstantF(UINT start, float* data, UINT count) override;
  HRESULT SetPixelShaderConstantI(UINT start, const int* data, UINT count) override;
  HRESULT GetPixelShaderConstantI(UINT start, int* data, UINT count) override;
  HRESULT SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count) override;
  HRESULT GetPixelShaderConstantB(UINT start, BOOL* data, UINT count) override;

  // For the objects the device creates.
  Renderer& GetRenderer() { return *renderer_; }
  const DeviceProfile& Profile() const { return *profile_; }
  const D3DCAPS9& Caps() const { return profile_->caps; }
  const D3DPRESENT_PARAMETERS& Presentation() const { return presentation_; }
  // Accounting of default-pool resources, which must all be gone before Reset.
  void DefaultPoolResourceCreated() { ++defaultPoolResources_; }
  void DefaultPoolResourceDestroyed() { --defaultPoolResources_; }
  // The format that resource formats are checked against: the display format in use.
  D3DFORMAT AdapterFormat() const { return adapterFormat_; }

 private:
  Device(Direct3D& direct3d, UINT adapter, const DeviceProfile& profile, HWND focusWindow, DWORD behaviorFlags);
  ~Device();

  HRESULT CreateSwapChain(const D3DPRESENT_PARAMETERS& presentation);
  // The declaration equivalent to the current FVF, made once per FVF value.
  HRESULT DeclarationFromFvf(IDirect3DVertexDeclaration9** declaration);
  HRESULT CreateSurface(UINT width, UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool, bool lockable,
                        Surface** surface);
  void UnbindAll();
  void ResetViewportAndScissor(const Surface& target);
  HRESULT CheckRenderTargets(const char* call) const;
  template <typename T>
  void Bind(T*& slot, T* object);  // swaps the device's private reference
  HRESULT CheckTextureFormat(const char* call, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format, D3DPOOL pool);
  HRESULT ValidatePresentation(D3DPRESENT_PARAMETERS& presentation, const char* call);
  HRESULT CopyRects(Surface& source, const RECT& sourceRect, Surface& destination, const RECT& destRect,
                    D3DTEXTUREFILTERTYPE filter);

  ULONG refs_ = 1;
  Direct3D* direct3d_;
  UINT adapter_;
  const DeviceProfile* profile_;
  HWND focusWindow_;
  DWORD behaviorFlags_;
  D3DPRESENT_PARAMETERS presentation_{};
  D3DFORMAT adapterFormat_ = D3DFMT_UNKNOWN;
  std::unique_ptr<Renderer> renderer_;
  std::unique_ptr<Surface> backBuffer_;
  std::unique_ptr<Surface> autoDepthStencil_;
  VertexBuffer* userVertices_ = nullptr;         // staging for DrawPrimitiveUP, held privately
  VertexDeclaration* fvfDeclaration_ = nullptr;  // what GetVertexDeclaration gives for the FVF, held privately
  DWORD fvfDeclarationFvf_ = 0;
  DeviceState state_;
  bool inScene_ = false;
  bool tearingDown_ = false;
  UINT defaultPoolResources_ = 0;
  std::vector<D3DRECT> clearRects_;
};

}  // namespace rastro
