// A volume texture: a chain of volume levels.
#pragma once

#include <memory>
#include <vector>

#include "TextureBase.h"
#include "Volume.h"

namespace rastro {

class VolumeTexture final : public TextureBase<IDirect3DVolumeTexture9, IID_IDirect3DVolumeTexture9> {
 public:
  static HRESULT Create(Device& device, UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, VolumeTexture** texture);

  Subresource At(UINT, UINT level) override { return {0, level, nullptr, levels_[level].get()}; }
  HRESULT GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) override;
  HRESULT GetVolumeLevel(UINT level, IDirect3DVolume9** volume) override;
  HRESULT LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
  HRESULT UnlockBox(UINT level) override;
  HRESULT AddDirtyBox(const D3DBOX* box) override;

  Volume& Level(UINT level) { return *levels_[level]; }

 private:
  VolumeTexture(Device& device, DWORD usage, D3DFORMAT format, D3DPOOL pool, UINT levels)
      : TextureBase(device, D3DRTYPE_VOLUMETEXTURE, format, usage, pool, levels) {}

  std::vector<std::unique_ptr<Volume>> levels_;
};

}  // namespace rastro
