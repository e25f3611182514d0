#include "SurfaceLock.h"

#include <cstdint>

#include "LockGeometry.h"
#include "ScopedDebugMute.h"

namespace rastro {

namespace {

constexpr DWORD kNoSysLock = D3DLOCK_NOSYSLOCK;

// Lock rectangles are checked in 64 bits so that no combination of signed corners wraps.
bool RectInside(const RECT& rect, UINT width, UINT height) {
  return rect.left >= 0 && rect.top >= 0 && rect.left <= rect.right && rect.top <= rect.bottom &&
         static_cast<std::int64_t>(rect.right) <= width && static_cast<std::int64_t>(rect.bottom) <= height;
}

// The level shift that lets a texture of block-aligned size hold a level of exactly
// width x height: 0, 1 or 2.
UINT CopyLevelShift(D3DFORMAT format, UINT width, UINT height) {
  UINT shift = 0;
  if (IsBlockFormat(format)) {
    while (((width | height) << shift) % 4 != 0) ++shift;
  }
  return shift;
}

}  // namespace

HRESULT SurfaceLock::Lock(PixelRegion& region, IDirect3DSurface9* surface, const PALETTEENTRY* palette,
                          const RECT* rect, D3DCOLOR colorKey, DWORD flags) {
  bool retryViaCopy = false;
  HRESULT hr = LockOnce(region, surface, palette, rect, colorKey, flags, retryViaCopy);
  // A surface the runtime will not lock directly is locked through a copy instead.
  if (retryViaCopy) hr = LockOnce(region, surface, palette, rect, colorKey, flags | LockViaCopy, retryViaCopy);
  return hr;
}

HRESULT SurfaceLock::LockOnce(PixelRegion& region, IDirect3DSurface9* surface, const PALETTEENTRY* palette,
                              const RECT* rect, D3DCOLOR colorKey, DWORD flags, bool& retryViaCopy) {
  retryViaCopy = false;
  Unlock();
  if (!surface) return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC desc{};
  if (HRESULT hr = surface->GetDesc(&desc); FAILED(hr)) return hr;
  const UINT width = desc.Width;
  const UINT height = desc.Height;

  RECT area{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
  bool partial = false;
  if (rect) {
    if (!RectInside(*rect, width, height)) return D3DERR_INVALIDCALL;
    area = *rect;
    partial = area.left != 0 || area.top != 0 || static_cast<UINT>(area.right) != width ||
              static_cast<UINT>(area.bottom) != height;
  }
  const bool fullWrite = !(flags & LockReadOnly) && !partial;
  const bool viaCopy = (flags & LockViaCopy) != 0;

  IDirect3DSurface9* target = surface;
  if (viaCopy) {
    UINT shift = CopyLevelShift(desc.Format, width, height);
    HRESULT hr = surface->GetDevice(device_.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) {
      D3DPOOL pool = desc.Pool == D3DPOOL_SCRATCH ? D3DPOOL_SCRATCH : D3DPOOL_SYSTEMMEM;
      hr = device_->CreateTexture(width << shift, height << shift, shift + 1, 0, desc.Format, pool,
                                  copyTexture_.ReleaseAndGetAddressOf(), nullptr);
    }
    if (SUCCEEDED(hr)) hr = copyTexture_->GetSurfaceLevel(shift, copySurface_.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr) && !fullWrite) {
      {
        ScopedDebugMute mute;
        hr = CopySurfaceContents(surface, copySurface_.Get());
      }
      // A surface that cannot be locked at all (a render target, say) is read through a
      // lockable render target of the same size.
      if (FAILED(hr) && shift == 0) {
        ComPtr<IDirect3DSurface9> renderTarget;
        hr = device_->CreateRenderTarget(width, height, desc.Format, D3DMULTISAMPLE_NONE, 0, TRUE,
                                         renderTarget.ReleaseAndGetAddressOf(), nullptr);
        if (SUCCEEDED(hr)) hr = device_->StretchRect(surface, nullptr, renderTarget.Get(), nullptr, D3DTEXF_NONE);
        if (SUCCEEDED(hr)) hr = CopySurfaceContents(renderTarget.Get(), copySurface_.Get());
      }
    }
    if (FAILED(hr)) {
      copySurface_.Reset();
      copyTexture_.Reset();
      device_.Reset();
      return hr;
    }
    target = copySurface_.Get();
  }

  DWORD lockFlags = kNoSysLock | ((flags & LockReadOnly) ? D3DLOCK_READONLY : 0);
  if (fullWrite && !viaCopy && (desc.Usage & D3DUSAGE_DYNAMIC)) {
    // Only a texture of one level may be discarded whole: discarding a level of a chain
    // would be refused.
    ScopedDebugMute mute;
    ComPtr<IDirect3DTexture9> container;
    if (SUCCEEDED(surface->GetContainer(IID_IDirect3DTexture9,
                                        reinterpret_cast<void**>(container.ReleaseAndGetAddressOf()))) &&
        container && container->GetLevelCount() == 1) {
      lockFlags = kNoSysLock | D3DLOCK_DISCARD;
    }
  }

  UINT left = static_cast<UINT>(area.left), top = static_cast<UINT>(area.top);
  UINT right = static_cast<UINT>(area.right), bottom = static_cast<UINT>(area.bottom);
  RECT lockRect{};
  if (partial) {
    UINT lockLeft = left, lockTop = top, lockRight = right, lockBottom = bottom;
    WidenToLockUnits(desc.Format, width, height, lockLeft, lockTop, lockRight, lockBottom);
    lockRect = {static_cast<LONG>(lockLeft), static_cast<LONG>(lockTop), static_cast<LONG>(lockRight),
                static_cast<LONG>(lockBottom)};
    if (lockLeft == 0 && lockTop == 0 && lockRight == width && lockBottom == height) partial = false;
  }

  D3DLOCKED_RECT locked{};
  HRESULT hr;
  if (viaCopy) {
    hr = target->LockRect(&locked, partial ? &lockRect : nullptr, lockFlags);
    if (FAILED(hr)) {
      copySurface_.Reset();
      copyTexture_.Reset();
      device_.Reset();
      return hr;
    }
  } else {
    ScopedDebugMute mute;
    hr = target->LockRect(&locked, partial ? &lockRect : nullptr, lockFlags);
    if (FAILED(hr)) {
      retryViaCopy = true;
      return hr;
    }
  }

  if (partial) {
    left -= static_cast<UINT>(lockRect.left);
    right -= static_cast<UINT>(lockRect.left);
    top -= static_cast<UINT>(lockRect.top);
    bottom -= static_cast<UINT>(lockRect.top);
  }

  region = PixelRegion{};
  region.Data = locked.pBits;
  region.Format = desc.Format;
  region.RowPitch = static_cast<UINT>(locked.Pitch);
  region.SlicePitch = 0;
  region.Extent = {0, 0, width, height, 0, 1};
  region.Region = {left, top, right, bottom, 0, 1};
  region.Dither = TRUE;
  region.Srgb = FALSE;
  region.ColorKey = colorKey;
  region.Palette = palette;

  flags_ = flags;
  surface_ = ComPtr<IDirect3DSurface9>::Share(surface);
  return D3D_OK;
}

HRESULT SurfaceLock::Unlock() {
  if (copySurface_) {
    copySurface_->UnlockRect();
  } else if (surface_) {
    surface_->UnlockRect();
  }
  if (surface_ && copySurface_ && device_ && !(flags_ & LockReadOnly)) {
    ScopedDebugMute mute;
    POINT origin{0, 0};
    if (FAILED(device_->UpdateSurface(copySurface_.Get(), nullptr, surface_.Get(), &origin))) {
      // Failures here have nowhere to go: the caller's pixels were already delivered.
      CopySurfaceContents(copySurface_.Get(), surface_.Get());
    }
  }
  copySurface_.Reset();
  copyTexture_.Reset();
  device_.Reset();
  surface_.Reset();
  flags_ = 0;
  return D3D_OK;
}

}  // namespace rastro
