// D3DXFilterTexture: fills the levels below a source level of a texture, face by face, each
// from a larger level through the loading entry points.
#include "ComPtr.h"
#include "d3dx9tex.h"

namespace {

bool IsPowerOfTwo(UINT value) { return value && !(value & (value - 1)); }

// Box when every dimension of level 0 is a power of two (each level is then exactly half the
// one above), else the tent filter with dithering.
HRESULT DefaultFilter(IDirect3DBaseTexture9* texture, D3DRESOURCETYPE type, DWORD& filter) {
  bool powersOfTwo = false;
  HRESULT hr = S_OK;
  if (type == D3DRTYPE_VOLUMETEXTURE) {
    D3DVOLUME_DESC desc{};
    hr = static_cast<IDirect3DVolumeTexture9*>(texture)->GetLevelDesc(0, &desc);
    powersOfTwo = IsPowerOfTwo(desc.Width) && IsPowerOfTwo(desc.Height) && IsPowerOfTwo(desc.Depth);
  } else {
    D3DSURFACE_DESC desc{};
    hr = type == D3DRTYPE_TEXTURE ? static_cast<IDirect3DTexture9*>(texture)->GetLevelDesc(0, &desc)
                                  : static_cast<IDirect3DCubeTexture9*>(texture)->GetLevelDesc(0, &desc);
    powersOfTwo = IsPowerOfTwo(desc.Width) && IsPowerOfTwo(desc.Height);
  }
  if (FAILED(hr)) return hr;
  filter = powersOfTwo ? D3DX_FILTER_BOX : (D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER);
  return S_OK;
}

HRESULT SurfaceLevel(IDirect3DBaseTexture9* texture, D3DRESOURCETYPE type, UINT face, UINT level,
                     IDirect3DSurface9** surface) {
  if (type == D3DRTYPE_TEXTURE) return static_cast<IDirect3DTexture9*>(texture)->GetSurfaceLevel(level, surface);
  return static_cast<IDirect3DCubeTexture9*>(texture)->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level,
                                                                         surface);
}

HRESULT FilterSurfaces(IDirect3DBaseTexture9* texture, D3DRESOURCETYPE type, const PALETTEENTRY* palette,
                       UINT sourceLevel, UINT levels, DWORD filter, bool chain) {
  const UINT faces = type == D3DRTYPE_CUBETEXTURE ? 6 : 1;
  for (UINT face = 0; face < faces; ++face) {
    ComPtr<IDirect3DSurface9> source;
    if (HRESULT hr = SurfaceLevel(texture, type, face, sourceLevel, source.ReleaseAndGetAddressOf()); FAILED(hr)) {
      return hr;
    }
    for (UINT level = sourceLevel + 1; level < levels; ++level) {
      ComPtr<IDirect3DSurface9> destination;
      if (HRESULT hr = SurfaceLevel(texture, type, face, level, destination.ReleaseAndGetAddressOf()); FAILED(hr)) {
        return hr;
      }
      if (HRESULT hr = D3DXLoadSurfaceFromSurface(destination.Get(), palette, nullptr, source.Get(), palette, nullptr,
                                                  filter, 0);
          FAILED(hr)) {
        return hr;
      }
      if (chain) source = std::move(destination);
    }
  }
  return S_OK;
}

HRESULT FilterVolumes(IDirect3DVolumeTexture9* texture, const PALETTEENTRY* palette, UINT sourceLevel, UINT levels,
                      DWORD filter, bool chain) {
  ComPtr<IDirect3DVolume9> source;
  if (HRESULT hr = texture->GetVolumeLevel(sourceLevel, source.ReleaseAndGetAddressOf()); FAILED(hr)) return hr;
  for (UINT level = sourceLevel + 1; level < levels; ++level) {
    ComPtr<IDirect3DVolume9> destination;
    if (HRESULT hr = texture->GetVolumeLevel(level, destination.ReleaseAndGetAddressOf()); FAILED(hr)) return hr;
    if (HRESULT hr =
            D3DXLoadVolumeFromVolume(destination.Get(), palette, nullptr, source.Get(), palette, nullptr, filter, 0);
        FAILED(hr)) {
      return hr;
    }
    if (chain) source = std::move(destination);
  }
  return S_OK;
}

}  // namespace

HRESULT D3DXFilterTexture(IDirect3DBaseTexture9* pBaseTexture, const PALETTEENTRY* pPalette, UINT SrcLevel,
                          DWORD Filter) {
  if (!pBaseTexture) return D3DERR_INVALIDCALL;
  const D3DRESOURCETYPE type = pBaseTexture->GetType();
  if (type != D3DRTYPE_TEXTURE && type != D3DRTYPE_VOLUMETEXTURE && type != D3DRTYPE_CUBETEXTURE) {
    return D3DERR_INVALIDCALL;
  }
  if (Filter == D3DX_DEFAULT) {
    if (HRESULT hr = DefaultFilter(pBaseTexture, type, Filter); FAILED(hr)) return hr;
  }
  // Cube faces meet at their edges: filtering across an edge must not wrap to the far side.
  if (type == D3DRTYPE_CUBETEXTURE) Filter |= D3DX_FILTER_MIRROR;
  // Every level is read and written in the same encoding.
  if (Filter & D3DX_FILTER_SRGB_OUT) {
    Filter |= D3DX_FILTER_SRGB;
  } else {
    Filter &= ~D3DX_FILTER_SRGB;
  }
  if (SrcLevel == D3DX_DEFAULT) SrcLevel = 0;
  const UINT levels = pBaseTexture->GetLevelCount();
  if (SrcLevel >= levels) return D3DERR_INVALIDCALL;
  const DWORD type16 = Filter & 0xFFFF;
  const bool chain = type16 == D3DX_FILTER_POINT || type16 == D3DX_FILTER_BOX;
  if (type == D3DRTYPE_VOLUMETEXTURE) {
    return FilterVolumes(static_cast<IDirect3DVolumeTexture9*>(pBaseTexture), pPalette, SrcLevel, levels, Filter,
                         chain);
  }
  return FilterSurfaces(pBaseTexture, type, pPalette, SrcLevel, levels, Filter, chain);
}
