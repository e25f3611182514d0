// A cube texture: six faces, each a chain of surface levels.
#pragma once

#include <memory>
#include <vector>

#include "Surface.h"
#include "TextureBase.h"

namespace rastro {

class CubeTexture final : public TextureBase<IDirect3DCubeTexture9, IID_IDirect3DCubeTexture9> {
 public:
  static HRESULT Create(Device& device, UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        CubeTexture** texture);

  Subresource At(UINT face, UINT level) override { return {face, level, &Face(face, level), nullptr}; }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
  HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) override;
  HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) override;
  HRESULT AddDirtyRect(D3DCUBEMAP_FACES face, const RECT* rect) override;

  Surface& Face(UINT face, UINT level) { return *surfaces_[face * Levels() + level]; }

 private:
  CubeTexture(Device& device, DWORD usage, D3DFORMAT format, D3DPOOL pool, UINT levels)
      : TextureBase(device, D3DRTYPE_CUBETEXTURE, format, usage, pool, levels) {}
  Surface* Find(D3DCUBEMAP_FACES face, UINT level);

  std::vector<std::unique_ptr<Surface>> surfaces_;  // face-major
};

}  // namespace rastro
