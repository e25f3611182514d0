// Locks one volume (a level of a volume texture) for reading or writing and describes the
// locked pixels as a PixelRegion. Volumes have no copy path: one the runtime will not lock
// (default pool without D3DUSAGE_DYNAMIC) is refused.
#pragma once

#include "ComPtr.h"
#include "PixelRegion.h"
#include "SurfaceLock.h"
#include "d3d9.h"

namespace rastro {

class VolumeLock {
 public:
  VolumeLock() = default;
  ~VolumeLock() { Unlock(); }
  VolumeLock(const VolumeLock&) = delete;
  VolumeLock& operator=(const VolumeLock&) = delete;

  // Locks `box` of `volume` (the whole volume when null); LockViaCopy is ignored.
  HRESULT Lock(PixelRegion& region, IDirect3DVolume9* volume, const PALETTEENTRY* palette, const D3DBOX* box,
               D3DCOLOR colorKey, DWORD flags);
  HRESULT Unlock();

 private:
  ComPtr<IDirect3DVolume9> volume_;
};

}  // namespace rastro
