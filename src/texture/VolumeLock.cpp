#include "VolumeLock.h"

#include "LockGeometry.h"
#include "ScopedDebugMute.h"

namespace rastro {

HRESULT VolumeLock::Lock(PixelRegion& region, IDirect3DVolume9* volume, const PALETTEENTRY* palette, const D3DBOX* box,
                         D3DCOLOR colorKey, DWORD flags) {
  Unlock();
  if (!volume) return D3DERR_INVALIDCALL;
  D3DVOLUME_DESC desc{};
  if (HRESULT hr = volume->GetDesc(&desc); FAILED(hr)) return hr;
  const UINT width = desc.Width, height = desc.Height, depth = desc.Depth;

  D3DBOX area{0, 0, width, height, 0, depth};
  bool partial = false;
  if (box) {
    if (box->Left > box->Right || box->Right > width || box->Top > box->Bottom || box->Bottom > height ||
        box->Front > box->Back || box->Back > depth) {
      return D3DERR_INVALIDCALL;
    }
    area = *box;
    partial = area.Left != 0 || area.Top != 0 || area.Front != 0 || area.Right != width || area.Bottom != height ||
              area.Back != depth;
  }
  if (desc.Pool == D3DPOOL_DEFAULT && !(desc.Usage & D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
  const bool fullWrite = !(flags & LockReadOnly) && !partial;

  DWORD lockFlags = D3DLOCK_NOSYSLOCK | ((flags & LockReadOnly) ? D3DLOCK_READONLY : 0);
  if (fullWrite && (desc.Usage & D3DUSAGE_DYNAMIC)) {
    ScopedDebugMute mute;
    ComPtr<IDirect3DVolumeTexture9> container;
    if (SUCCEEDED(volume->GetContainer(IID_IDirect3DVolumeTexture9,
                                       reinterpret_cast<void**>(container.ReleaseAndGetAddressOf()))) &&
        container && container->GetLevelCount() == 1) {
      lockFlags = D3DLOCK_NOSYSLOCK | D3DLOCK_DISCARD;
    }
  }

  D3DBOX lockBox = area;
  if (partial) {
    WidenToLockUnits(desc.Format, width, height, lockBox.Left, lockBox.Top, lockBox.Right, lockBox.Bottom);
    if (lockBox.Left == 0 && lockBox.Top == 0 && lockBox.Front == 0 && lockBox.Right == width &&
        lockBox.Bottom == height && lockBox.Back == depth) {
      partial = false;
    }
  }
  D3DLOCKED_BOX locked{};
  if (HRESULT hr = volume->LockBox(&locked, partial ? &lockBox : nullptr, lockFlags); FAILED(hr)) return hr;
  if (partial) {
    area.Left -= lockBox.Left;
    area.Right -= lockBox.Left;
    area.Top -= lockBox.Top;
    area.Bottom -= lockBox.Top;
    area.Front -= lockBox.Front;
    area.Back -= lockBox.Front;
  }

  region = PixelRegion{};
  region.Data = locked.pBits;
  region.Format = desc.Format;
  region.RowPitch = static_cast<UINT>(locked.RowPitch);
  region.SlicePitch = static_cast<UINT>(locked.SlicePitch);
  region.Extent = {0, 0, width, height, 0, depth};
  region.Region = area;
  region.Dither = TRUE;
  region.Srgb = FALSE;
  region.ColorKey = colorKey;
  region.Palette = palette;
  volume_ = ComPtr<IDirect3DVolume9>::Share(volume);
  return D3D_OK;
}

HRESULT VolumeLock::Unlock() {
  if (volume_) {
    volume_->UnlockBox();
    volume_.Reset();
  }
  return D3D_OK;
}

}  // namespace rastro
