// The public loading entry points: pixels from caller memory, or from another surface or
// volume, into a surface or volume, through the conversion engine.
#include <cstdint>
#include <cstring>

#include "BlitRegion.h"
#include "ScopedDebugMute.h"
#include "SurfaceLock.h"
#include "VolumeLock.h"
#include "d3dx9tex.h"

using rastro::BlitRegion;
using rastro::LockReadOnly;
using rastro::LockViaCopy;
using rastro::PixelRegion;
using rastro::ScopedDebugMute;
using rastro::SurfaceLock;
using rastro::VolumeLock;

namespace {

constexpr DWORD kDefaultLoadFilter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;

// A rectangle of caller memory: its corners become unsigned offsets into the memory, so a
// negative or inverted one would address memory the caller never gave.
bool ValidSourceRect(const RECT& rect) {
  return rect.left >= 0 && rect.top >= 0 && rect.left <= rect.right && rect.top <= rect.bottom;
}

bool ValidSourceBox(const D3DBOX& box) {
  return box.Left <= box.Right && box.Top <= box.Bottom && box.Front <= box.Back;
}

bool SamePalette(const PALETTEENTRY* a, const PALETTEENTRY* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  return std::memcmp(a, b, 256 * sizeof(PALETTEENTRY)) == 0;
}

RECT WholeRect(const D3DSURFACE_DESC& desc) {
  return {0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
}

// The device's own copy between surfaces of one size, tried before converting in software.
// Failures are expected (formats or pools the device cannot copy between) and silent.
bool CopyOnDevice(IDirect3DSurface9* destination, const D3DSURFACE_DESC& destinationDesc, const RECT* destinationRect,
                  IDirect3DSurface9* source, const D3DSURFACE_DESC& sourceDesc, const RECT* sourceRect) {
  RECT to = destinationRect ? *destinationRect : WholeRect(destinationDesc);
  RECT from = sourceRect ? *sourceRect : WholeRect(sourceDesc);
  if (static_cast<std::int64_t>(to.right) - to.left != static_cast<std::int64_t>(from.right) - from.left ||
      static_cast<std::int64_t>(to.bottom) - to.top != static_cast<std::int64_t>(from.bottom) - from.top) {
    return false;
  }
  ComPtr<IDirect3DDevice9> device;
  if (FAILED(source->GetDevice(device.ReleaseAndGetAddressOf()))) return false;
  ScopedDebugMute mute;
  HRESULT hr = E_FAIL;
  if (destinationDesc.Pool == D3DPOOL_DEFAULT && sourceDesc.Pool == D3DPOOL_DEFAULT) {
    hr = device->StretchRect(source, &from, destination, &to, D3DTEXF_NONE);
  } else if (destinationDesc.Pool == D3DPOOL_DEFAULT && sourceDesc.Pool == D3DPOOL_SYSTEMMEM) {
    POINT corner{to.left, to.top};
    hr = device->UpdateSurface(source, &from, destination, &corner);
  }
  return SUCCEEDED(hr);
}

}  // namespace

HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface9* pDestSurface, const PALETTEENTRY* pDestPalette,
                                  const RECT* pDestRect, const void* pSrcMemory, D3DFORMAT SrcFormat, UINT SrcPitch,
                                  const PALETTEENTRY* pSrcPalette, const RECT* pSrcRect, DWORD Filter,
                                  D3DCOLOR ColorKey) {
  if (!pDestSurface || !pSrcMemory || !pSrcRect) return D3DERR_INVALIDCALL;
  if (!ValidSourceRect(*pSrcRect)) return D3DERR_INVALIDCALL;
  if (Filter == D3DX_DEFAULT) Filter = kDefaultLoadFilter;
  SurfaceLock lock;
  PixelRegion destination;
  if (HRESULT hr = lock.Lock(destination, pDestSurface, pDestPalette, pDestRect, 0, 0); FAILED(hr)) return hr;
  PixelRegion source;
  source.Data = const_cast<void*>(pSrcMemory);
  source.Format = SrcFormat;
  source.RowPitch = SrcPitch;
  source.SlicePitch = 0;
  source.Extent = {static_cast<UINT>(pSrcRect->left),
                   static_cast<UINT>(pSrcRect->top),
                   static_cast<UINT>(pSrcRect->right),
                   static_cast<UINT>(pSrcRect->bottom),
                   0,
                   1};
  source.Region = source.Extent;
  source.ColorKey = ColorKey;
  source.Palette = pSrcPalette;
  HRESULT hr = BlitRegion(destination, source, Filter);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT D3DXLoadVolumeFromMemory(IDirect3DVolume9* pDestVolume, const PALETTEENTRY* pDestPalette,
                                 const D3DBOX* pDestBox, const void* pSrcMemory, D3DFORMAT SrcFormat, UINT SrcRowPitch,
                                 UINT SrcSlicePitch, const PALETTEENTRY* pSrcPalette, const D3DBOX* pSrcBox,
                                 DWORD Filter, D3DCOLOR ColorKey) {
  if (!pDestVolume || !pSrcMemory || !pSrcBox) return D3DERR_INVALIDCALL;
  if (!ValidSourceBox(*pSrcBox)) return D3DERR_INVALIDCALL;
  if (Filter == D3DX_DEFAULT) Filter = kDefaultLoadFilter;
  VolumeLock lock;
  PixelRegion destination;
  if (HRESULT hr = lock.Lock(destination, pDestVolume, pDestPalette, pDestBox, 0, 0); FAILED(hr)) return hr;
  PixelRegion source;
  source.Data = const_cast<void*>(pSrcMemory);
  source.Format = SrcFormat;
  source.RowPitch = SrcRowPitch;
  source.SlicePitch = SrcSlicePitch;
  source.Extent = *pSrcBox;
  source.Region = *pSrcBox;
  source.ColorKey = ColorKey;
  source.Palette = pSrcPalette;
  HRESULT hr = BlitRegion(destination, source, Filter);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* pDestSurface, const PALETTEENTRY* pDestPalette,
                                   const RECT* pDestRect, IDirect3DSurface9* pSrcSurface,
                                   const PALETTEENTRY* pSrcPalette, const RECT* pSrcRect, DWORD Filter,
                                   D3DCOLOR ColorKey) {
  if (!pDestSurface || !pSrcSurface) return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC destinationDesc{}, sourceDesc{};
  if (HRESULT hr = pDestSurface->GetDesc(&destinationDesc); FAILED(hr)) return hr;
  if (HRESULT hr = pSrcSurface->GetDesc(&sourceDesc); FAILED(hr)) return hr;

  if ((Filter & 0xFFFF) != D3DX_FILTER_BOX && ColorKey == 0 && SamePalette(pDestPalette, pSrcPalette) &&
      CopyOnDevice(pDestSurface, destinationDesc, pDestRect, pSrcSurface, sourceDesc, pSrcRect)) {
    return S_OK;
  }

  SurfaceLock lock;
  PixelRegion source;
  DWORD flags = pSrcSurface == pDestSurface ? (LockReadOnly | LockViaCopy) : LockReadOnly;
  if (HRESULT hr = lock.Lock(source, pSrcSurface, pSrcPalette, pSrcRect, 0, flags); FAILED(hr)) return hr;
  RECT region{static_cast<LONG>(source.Region.Left), static_cast<LONG>(source.Region.Top),
              static_cast<LONG>(source.Region.Right), static_cast<LONG>(source.Region.Bottom)};
  if (HRESULT hr = D3DXLoadSurfaceFromMemory(pDestSurface, pDestPalette, pDestRect, source.Data, source.Format,
                                             source.RowPitch, pSrcPalette, &region, Filter, ColorKey);
      FAILED(hr)) {
    return hr;
  }
  if (sourceDesc.Pool == D3DPOOL_DEFAULT && destinationDesc.Pool != D3DPOOL_DEFAULT) {
    // Pixels read back from a device that has been lost are not to be trusted.
    ComPtr<IDirect3DDevice9> device;
    if (SUCCEEDED(pSrcSurface->GetDevice(device.ReleaseAndGetAddressOf())) && device->TestCooperativeLevel() != 0) {
      return D3DERR_DEVICELOST;
    }
  }
  return S_OK;
}

HRESULT D3DXLoadVolumeFromVolume(IDirect3DVolume9* pDestVolume, const PALETTEENTRY* pDestPalette,
                                 const D3DBOX* pDestBox, IDirect3DVolume9* pSrcVolume, const PALETTEENTRY* pSrcPalette,
                                 const D3DBOX* pSrcBox, DWORD Filter, D3DCOLOR ColorKey) {
  if (!pDestVolume || !pSrcVolume) return D3DERR_INVALIDCALL;
  VolumeLock lock;
  PixelRegion source;
  DWORD flags = pSrcVolume == pDestVolume ? (LockReadOnly | LockViaCopy) : LockReadOnly;
  if (HRESULT hr = lock.Lock(source, pSrcVolume, pSrcPalette, pSrcBox, 0, flags); FAILED(hr)) return hr;
  return D3DXLoadVolumeFromMemory(pDestVolume, pDestPalette, pDestBox, source.Data, source.Format, source.RowPitch,
                                  source.SlicePitch, pSrcPalette, &source.Region, Filter, ColorKey);
}
