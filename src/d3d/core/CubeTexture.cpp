#include "CubeTexture.h"

#include "ComPtr.h"
#include "DebugOutput.h"
#include "Texture.h"

namespace rastro {

HRESULT CubeTexture::Create(Device& device, UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            CubeTexture** texture) {
  auto created = ComPtr<CubeTexture>::Adopt(new CubeTexture(device, usage, format, pool, levels));
  bool lockable = TextureLevelLockable(usage, pool);
  for (UINT face = 0; face < 6; ++face) {
    for (UINT level = 0; level < levels; ++level) {
      UINT size = LevelExtent(edge, level);
      D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, usage, pool, D3DMULTISAMPLE_NONE, 0, size, size};
      auto surface =
          std::make_unique<Surface>(device, Ownership::Contained, created.Get(),
                                    static_cast<IDirect3DCubeTexture9*>(created.Get()), created.Get(), desc, lockable);
      surface->PlaceInTexture(face, level);
      if (HRESULT hr = surface->Initialise(); FAILED(hr)) return hr;
      created->surfaces_.push_back(std::move(surface));
    }
  }
  *texture = created.Detach();
  return D3D_OK;
}

Surface* CubeTexture::Find(D3DCUBEMAP_FACES face, UINT level) {
  if (static_cast<DWORD>(face) > 5 || level >= Levels()) return nullptr;
  return &Face(face, level);
}

HRESULT CubeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (level >= Levels() || !desc) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DCubeTexture9::GetLevelDesc",
                         "no such level or null description");
  }
  *desc = Face(0, level).Desc();
  return D3D_OK;
}

HRESULT CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) {
  Surface* found = Find(face, level);
  if (!found || !surface) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DCubeTexture9::GetCubeMapSurface",
                         "no such face or level, or null out pointer");
  }
  found->AddRef();
  *surface = found;
  return D3D_OK;
}

HRESULT CubeTexture::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                              DWORD flags) {
  Surface* found = Find(face, level);
  if (!found) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DCubeTexture9::LockRect", "no such face or level");
  return found->Lock(locked, rect, flags, "IDirect3DCubeTexture9::LockRect");
}

HRESULT CubeTexture::UnlockRect(D3DCUBEMAP_FACES face, UINT level) {
  Surface* found = Find(face, level);
  if (!found) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DCubeTexture9::UnlockRect", "no such face or level");
  return found->Unlock("IDirect3DCubeTexture9::UnlockRect");
}

HRESULT CubeTexture::AddDirtyRect(D3DCUBEMAP_FACES face, const RECT* rect) {
  Surface* found = Find(face, 0);
  if (!found) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DCubeTexture9::AddDirtyRect", "no such face");
  if (rect) {
    UINT edge = found->Desc().Width;
    if (rect->left < 0 || rect->top < 0 || rect->left > rect->right || rect->top > rect->bottom ||
        static_cast<UINT>(rect->right) > edge || static_cast<UINT>(rect->bottom) > edge) {
      return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DCubeTexture9::AddDirtyRect",
                           "the rectangle is not inside the face");
    }
  }
  MarkDirty();
  return D3D_OK;
}

}  // namespace rastro
