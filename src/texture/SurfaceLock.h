// Locks one surface (a texture level, a cube face level or a stand-alone surface) or one
// volume for reading or writing, and describes the locked pixels as a PixelRegion. Surfaces
// that cannot be locked directly are locked through a temporary system-memory copy that is
// read back first (unless every pixel will be overwritten) and written back at Unlock.
#pragma once

#include "ComPtr.h"
#include "PixelRegion.h"
#include "d3d9.h"

namespace rastro {

// Lock flags of SurfaceLock and VolumeLock.
constexpr DWORD LockReadOnly = 0x1;     // the region is only read; nothing is written back
constexpr DWORD LockViaCopy = 0x10000;  // lock a temporary system-memory copy (surfaces only)

class SurfaceLock {
 public:
  SurfaceLock() = default;
  ~SurfaceLock() { Unlock(); }
  SurfaceLock(const SurfaceLock&) = delete;
  SurfaceLock& operator=(const SurfaceLock&) = delete;

  // Locks `rect` of `surface` (the whole surface when null) and describes it in `region`.
  // The region's Region box is relative to the locked memory; the lock may cover more than
  // `rect` (block and pair formats are widened to whole blocks and pairs).
  HRESULT Lock(PixelRegion& region, IDirect3DSurface9* surface, const PALETTEENTRY* palette, const RECT* rect,
               D3DCOLOR colorKey, DWORD flags);
  // Ends the current lock, writing a copy back for a write lock. Always 0.
  HRESULT Unlock();

 private:
  HRESULT LockOnce(PixelRegion& region, IDirect3DSurface9* surface, const PALETTEENTRY* palette, const RECT* rect,
                   D3DCOLOR colorKey, DWORD flags, bool& retryViaCopy);

  DWORD flags_ = 0;
  ComPtr<IDirect3DSurface9> surface_;
  ComPtr<IDirect3DSurface9> copySurface_;
  ComPtr<IDirect3DTexture9> copyTexture_;
  ComPtr<IDirect3DDevice9> device_;
};

// Copies the pixel rows of one surface into another of the same size and format by locking
// both whole. D3DERR_INVALIDCALL when the two differ in size or format.
HRESULT CopySurfaceContents(IDirect3DSurface9* source, IDirect3DSurface9* destination);

}  // namespace rastro
