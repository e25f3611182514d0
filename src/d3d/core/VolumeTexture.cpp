#include "VolumeTexture.h"

#include "ComPtr.h"
#include "DebugOutput.h"

namespace rastro {

HRESULT VolumeTexture::Create(Device& device, UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                              D3DFORMAT format, D3DPOOL pool, VolumeTexture** texture) {
  auto created = ComPtr<VolumeTexture>::Adopt(new VolumeTexture(device, usage, format, pool, levels));
  bool lockable = pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC);
  for (UINT level = 0; level < levels; ++level) {
    D3DVOLUME_DESC desc{format,
                        D3DRTYPE_VOLUME,
                        usage,
                        pool,
                        LevelExtent(width, level),
                        LevelExtent(height, level),
                        LevelExtent(depth, level)};
    auto volume = std::make_unique<Volume>(device, created.Get(), static_cast<IDirect3DVolumeTexture9*>(created.Get()),
                                           created.Get(), desc, lockable);
    volume->PlaceInTexture(level);
    if (HRESULT hr = volume->Initialise(); FAILED(hr)) return hr;
    created->levels_.push_back(std::move(volume));
  }
  *texture = created.Detach();
  return D3D_OK;
}

HRESULT VolumeTexture::GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) {
  if (level >= levels_.size() || !desc) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DVolumeTexture9::GetLevelDesc",
                         "no such level or null description");
  }
  *desc = levels_[level]->Desc();
  return D3D_OK;
}

HRESULT VolumeTexture::GetVolumeLevel(UINT level, IDirect3DVolume9** volume) {
  if (level >= levels_.size() || !volume) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DVolumeTexture9::GetVolumeLevel",
                         "no such level or null out pointer");
  }
  levels_[level]->AddRef();
  *volume = levels_[level].get();
  return D3D_OK;
}

HRESULT VolumeTexture::LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
  if (level >= levels_.size())
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DVolumeTexture9::LockBox", "no such level");
  return levels_[level]->Lock(locked, box, flags, "IDirect3DVolumeTexture9::LockBox");
}

HRESULT VolumeTexture::UnlockBox(UINT level) {
  if (level >= levels_.size())
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DVolumeTexture9::UnlockBox", "no such level");
  return levels_[level]->Unlock("IDirect3DVolumeTexture9::UnlockBox");
}

HRESULT VolumeTexture::AddDirtyBox(const D3DBOX* box) {
  if (box) {
    const D3DVOLUME_DESC& top = levels_[0]->Desc();
    if (box->Left > box->Right || box->Top > box->Bottom || box->Front > box->Back || box->Right > top.Width ||
        box->Bottom > top.Height || box->Back > top.Depth) {
      return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DVolumeTexture9::AddDirtyBox", "the box is not inside level 0");
    }
  }
  MarkDirty();
  return D3D_OK;
}

}  // namespace rastro
