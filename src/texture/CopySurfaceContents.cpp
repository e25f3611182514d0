#include <algorithm>
#include <cstring>

#include "LockGeometry.h"
#include "SurfaceLock.h"

namespace rastro {

HRESULT CopySurfaceContents(IDirect3DSurface9* source, IDirect3DSurface9* destination) {
  if (!source || !destination) return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC from{}, to{};
  if (HRESULT hr = source->GetDesc(&from); FAILED(hr)) return hr;
  if (HRESULT hr = destination->GetDesc(&to); FAILED(hr)) return hr;
  // Rows are copied whole: surfaces of different shapes would read or write past one side.
  if (from.Format != to.Format || from.Width != to.Width || from.Height != to.Height) return D3DERR_INVALIDCALL;

  D3DLOCKED_RECT sourceBits{}, destinationBits{};
  if (HRESULT hr = source->LockRect(&sourceBits, nullptr, 0); FAILED(hr)) return hr;
  if (HRESULT hr = destination->LockRect(&destinationBits, nullptr, 0); FAILED(hr)) {
    source->UnlockRect();
    return hr;
  }
  UINT rows = IsBlockFormat(from.Format) ? (from.Height + 3) / 4 : from.Height;
  std::size_t rowBytes = static_cast<std::size_t>(std::min(sourceBits.Pitch, destinationBits.Pitch));
  const BYTE* in = static_cast<const BYTE*>(sourceBits.pBits);
  BYTE* out = static_cast<BYTE*>(destinationBits.pBits);
  for (UINT row = 0; row < rows; ++row) {
    std::memcpy(out, in, rowBytes);
    in += sourceBits.Pitch;
    out += destinationBits.Pitch;
  }
  destination->UnlockRect();
  source->UnlockRect();
  return D3D_OK;
}

}  // namespace rastro
