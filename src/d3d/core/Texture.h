// A 2D texture: a chain of surface levels.
#pragma once

#include <memory>
#include <vector>

#include "Surface.h"
#include "TextureBase.h"

namespace rastro {

class Texture final : public TextureBase<IDirect3DTexture9, IID_IDirect3DTexture9> {
 public:
  // The device checked the arguments; fails only for memory.
  static HRESULT Create(Device& device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, Texture** texture);

  Subresource At(UINT, UINT level) override { return {0, level, levels_[level].get(), nullptr}; }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
  HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect(UINT level) override;
  HRESULT AddDirtyRect(const RECT* rect) override;

  Surface& Level(UINT level) { return *levels_[level]; }

 private:
  Texture(Device& device, DWORD usage, D3DFORMAT format, D3DPOOL pool, UINT levels)
      : TextureBase(device, D3DRTYPE_TEXTURE, format, usage, pool, levels) {}

  std::vector<std::unique_ptr<Surface>> levels_;
};

// Whether a level of a texture of this usage and pool may be locked.
bool TextureLevelLockable(DWORD usage, D3DPOOL pool);

}  // namespace rastro
