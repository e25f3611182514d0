// One level of a volume texture.
#pragma once

#include <cstdint>

#include "PixelStorage.h"
#include "Resource.h"

namespace rastro {

class TextureCommon;

class Volume final : public IDirect3DVolume9, public Resource {
 public:
  Volume(Device& device, Resource* containerResource, IUnknown* container, TextureCommon* texture,
         const D3DVOLUME_DESC& desc, bool lockable);
  HRESULT Initialise();

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return AddRefPublic(); }
  ULONG Release() override { return ReleasePublic(); }
  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceInterface(device); }
  HRESULT GetContainer(REFIID riid, void** container) override;
  HRESULT GetDesc(D3DVOLUME_DESC* desc) override;
  HRESULT LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
  HRESULT UnlockBox() override;
  // LockBox and UnlockBox on behalf of the volume texture, whose method `call` names in debug output.
  HRESULT Lock(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags, const char* call);
  HRESULT Unlock(const char* call);

  const D3DVOLUME_DESC& Desc() const { return desc_; }
  PixelStorage& Storage() { return storage_; }
  bool IsLocked() const { return locked_; }
  UINT Level() const { return level_; }
  void PlaceInTexture(UINT level) { level_ = level; }
  void ContentWritten(bool markDirty = true);
  std::uint64_t ContentVersion() const { return version_; }

 private:
  D3DVOLUME_DESC desc_;
  PixelStorage storage_;
  IUnknown* container_;
  TextureCommon* texture_;
  UINT level_ = 0;
  std::uint64_t version_ = 1;
  bool lockable_;
  bool locked_ = false;
  DWORD lockFlags_ = 0;
};

}  // namespace rastro
