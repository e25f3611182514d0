#include "Texture.h"

#include "ComPtr.h"
#include "DebugOutput.h"

namespace rastro {

bool TextureLevelLockable(DWORD usage, D3DPOOL pool) {
  if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return false;
  return pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC);
}

HRESULT Texture::Create(Device& device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, Texture** texture) {
  // Held by its public reference, so that a failure half-way gives the device reference back.
  auto created = ComPtr<Texture>::Adopt(new Texture(device, usage, format, pool, levels));
  bool lockable = TextureLevelLockable(usage, pool);
  for (UINT level = 0; level < levels; ++level) {
    D3DSURFACE_DESC desc{format,
                         D3DRTYPE_SURFACE,
                         usage,
                         pool,
                         D3DMULTISAMPLE_NONE,
                         0,
                         LevelExtent(width, level),
                         LevelExtent(height, level)};
    auto surface =
        std::make_unique<Surface>(device, Ownership::Contained, created.Get(),
                                  static_cast<IDirect3DTexture9*>(created.Get()), created.Get(), desc, lockable);
    surface->PlaceInTexture(0, level);
    if (HRESULT hr = surface->Initialise(); FAILED(hr)) return hr;
    created->levels_.push_back(std::move(surface));
  }
  *texture = created.Detach();
  return D3D_OK;
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (level >= levels_.size() || !desc) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DTexture9::GetLevelDesc", "no such level or null description");
  }
  *desc = levels_[level]->Desc();
  return D3D_OK;
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
  if (level >= levels_.size() || !surface) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DTexture9::GetSurfaceLevel", "no such level or null out pointer");
  }
  levels_[level]->AddRef();
  *surface = levels_[level].get();
  return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (level >= levels_.size()) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DTexture9::LockRect", "no such level");
  return levels_[level]->Lock(locked, rect, flags, "IDirect3DTexture9::LockRect");
}

HRESULT Texture::UnlockRect(UINT level) {
  if (level >= levels_.size())
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DTexture9::UnlockRect", "no such level");
  return levels_[level]->Unlock("IDirect3DTexture9::UnlockRect");
}

HRESULT Texture::AddDirtyRect(const RECT* rect) {
  if (rect) {
    const D3DSURFACE_DESC& top = levels_[0]->Desc();
    if (rect->left < 0 || rect->top < 0 || rect->left > rect->right || rect->top > rect->bottom ||
        static_cast<UINT>(rect->right) > top.Width || static_cast<UINT>(rect->bottom) > top.Height) {
      return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DTexture9::AddDirtyRect",
                           "the rectangle is not inside level 0");
    }
  }
  MarkDirty();
  return D3D_OK;
}

}  // namespace rastro
