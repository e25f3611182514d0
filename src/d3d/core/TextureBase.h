// The parts of IDirect3DBaseTexture9 every texture kind answers the same way.
#pragma once

#include "Device.h"
#include "Resource.h"
#include "TextureCommon.h"

namespace rastro {

template <typename Interface, const IID& kInterfaceId>
class TextureBase : public Interface, public Resource, public TextureCommon {
 public:
  TextureBase(Device& device, D3DRESOURCETYPE type, D3DFORMAT format, DWORD usage, D3DPOOL pool, UINT levels)
      : Resource(device, Ownership::Standalone), TextureCommon(type, format, usage, pool, levels) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DBaseTexture9 ||
        riid == kInterfaceId) {
      AddRef();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return AddRefPublic(); }
  ULONG Release() override { return ReleasePublic(); }

  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceInterface(device); }
  DWORD SetPriority(DWORD priority) override { return SetPriorityValue(priority); }
  DWORD GetPriority() override { return Priority(); }
  void PreLoad() override {}
  D3DRESOURCETYPE GetType() override { return Type(); }
  Resource& AsResource() override { return *this; }

  DWORD SetLOD(DWORD lod) override { return SetLODValue(lod); }
  DWORD GetLOD() override { return LOD(); }
  DWORD GetLevelCount() override { return Levels(); }
  HRESULT SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) override { return SetAutoGenFilter(filter); }
  D3DTEXTUREFILTERTYPE GetAutoGenFilterType() override { return AutoGenFilter(); }
  void GenerateMipSubLevels() override {
    if (Usage() & D3DUSAGE_AUTOGENMIPMAP) OwningDevice().GetRenderer().GenerateMipSubLevels(*this);
  }
};

}  // namespace rastro
