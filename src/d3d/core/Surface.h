// A surface: a texture level or cube face, a stand-alone render target, depth-stencil or
// offscreen plain surface, or one of the device's implicit surfaces. Its pixels live in memory;
// for surfaces a renderer draws into, the renderer keeps the memory in step on demand.
#pragma once

#include "PixelStorage.h"
#include "Resource.h"

namespace rastro {

class TextureCommon;

class Surface final : public IDirect3DSurface9, public Resource {
 public:
  // `container` is the texture's interface for levels and faces, null otherwise.
  Surface(Device& device, Ownership ownership, Resource* containerResource, IUnknown* container, TextureCommon* texture,
          const D3DSURFACE_DESC& desc, bool lockable);

  HRESULT Initialise();  // works out the pitches; E_OUTOFMEMORY when too large

  // IUnknown
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return AddRefPublic(); }
  ULONG Release() override { return ReleasePublic(); }
  // IDirect3DResource9
  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceInterface(device); }
  DWORD SetPriority(DWORD priority) override;
  DWORD GetPriority() override;
  void PreLoad() override {}
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
  // IDirect3DSurface9
  HRESULT GetContainer(REFIID riid, void** container) override;
  HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect() override;
  // LockRect and UnlockRect on behalf of a container, whose method `call` names in debug output.
  HRESULT Lock(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags, const char* call);
  HRESULT Unlock(const char* call);

  const D3DSURFACE_DESC& Desc() const { return desc_; }
  PixelStorage& Storage() { return storage_; }
  bool IsLocked() const { return locked_; }
  bool IsLockable() const { return lockable_; }
  // A depth-stencil surface whose contents need not survive the next Present or depth change.
  void MarkDiscardable() { discardable_ = true; }
  bool IsDiscardable() const { return discardable_; }
  TextureCommon* Texture() const { return texture_; }
  // Where a texture's surface sits in it; 0 and 0 for surfaces of no texture.
  UINT Face() const { return face_; }
  UINT Level() const { return level_; }
  void PlaceInTexture(UINT face, UINT level) {
    face_ = face;
    level_ = level;
  }
  // Drawn into by the renderer (render targets and depth-stencil surfaces of the default pool).
  bool RendererBacked() const {
    return desc_.Pool == D3DPOOL_DEFAULT && (desc_.Usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL));
  }
  // Memory that reflects what was drawn, for reading on the CPU; null when it cannot be had.
  BYTE* ReadableBytes();
  // Called after the CPU changed the memory: counts a new version and tells the renderer.
  void ContentWritten(bool markDirty = true);
  std::uint64_t ContentVersion() const { return version_; }

 private:
  D3DSURFACE_DESC desc_;
  PixelStorage storage_;
  IUnknown* container_;
  TextureCommon* texture_;
  UINT face_ = 0;
  UINT level_ = 0;
  bool lockable_;
  bool discardable_ = false;
  bool locked_ = false;
  DWORD lockFlags_ = 0;
  DWORD priority_ = 0;
  std::uint64_t version_ = 1;
};

}  // namespace rastro
