// Copies between resources: UpdateSurface, UpdateTexture, GetRenderTargetData, StretchRect and
// ColorFill. Every one checks pools, formats and rectangles as the runtime does before it
// touches a byte.
#include <algorithm>
#include <cfenv>
#include <cstdint>
#include <cstring>
#include <limits>

#include "AllocationGuard.h"
#include "Bt601.h"
#include "CubeTexture.h"
#include "DebugOutput.h"
#include "Device.h"
#include "FormatLayout.h"
#include "Surface.h"
#include "Texture.h"
#include "VolumeTexture.h"

namespace rastro {

namespace {

RECT WholeRect(const D3DSURFACE_DESC& desc) {
  return {0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
}

bool RectFits(const FormatLayout& layout, const D3DSURFACE_DESC& desc, const RECT& rect) {
  if (rect.left < 0 || rect.top < 0 || rect.right < 0 || rect.bottom < 0) return false;
  return RegionFits(layout, desc.Width, desc.Height, static_cast<UINT>(rect.left), static_cast<UINT>(rect.top),
                    static_cast<UINT>(rect.right), static_cast<UINT>(rect.bottom));
}

bool IsEmpty(const RECT& rect) { return rect.right <= rect.left || rect.bottom <= rect.top; }

// Copies whole blocks: a width x height region from (sx, sy) of one storage to (dx, dy) of
// another of the same format. Regions may end in partial blocks at a level's edge.
void CopyBlocks(PixelStorage& source, UINT sx, UINT sy, UINT sz, PixelStorage& destination, UINT dx, UINT dy, UINT dz,
                UINT width, UINT height) {
  const FormatLayout& layout = source.Layout();
  UINT blocksWide = (sx + width + layout.blockWidth - 1) / layout.blockWidth - sx / layout.blockWidth;
  UINT blockRows = (sy + height + layout.blockHeight - 1) / layout.blockHeight - sy / layout.blockHeight;
  size_t rowBytes = size_t{blocksWide} * layout.bytesPerBlock;
  BYTE* from = source.Address(sx, sy, sz);
  BYTE* to = destination.Address(dx, dy, dz);
  for (UINT row = 0; row < blockRows; ++row) {
    std::memcpy(to + size_t{row} * destination.RowPitch(), from + size_t{row} * source.RowPitch(), rowBytes);
  }
}

void CopyWholeSurface(Surface& source, Surface& destination) {
  const D3DSURFACE_DESC& desc = source.Desc();
  if (!source.ReadableBytes() || !destination.Storage().Bytes()) return;
  CopyBlocks(source.Storage(), 0, 0, 0, destination.Storage(), 0, 0, 0, desc.Width, desc.Height);
  destination.ContentWritten();
}

// Channel bytes as the loader reads them (byte / 255, rounded to nearest) through the shared
// conversion in the rounding mode it needs. Each step reads its inputs from volatile storage
// after switching the mode and leaves its results there before the next switch, so that the
// compiler cannot move the arithmetic across the switches.
Bt601Bytes ColorToBt601(DWORD r, DWORD g, DWORD b) {
  const int previous = std::fegetround();
  volatile DWORD bytes[3] = {r, g, b};
  std::fesetround(FE_TONEAREST);
  volatile float channels[3] = {static_cast<float>(bytes[0]) / 255.0f, static_cast<float>(bytes[1]) / 255.0f,
                                static_cast<float>(bytes[2]) / 255.0f};
  std::fesetround(FE_TOWARDZERO);
  const Bt601Bytes converted = EncodeBt601(channels[0], channels[1], channels[2]);
  volatile std::uint8_t results[3] = {converted.luma, converted.blueDifference, converted.redDifference};
  std::fesetround(previous);
  return {results[0], results[1], results[2]};
}

// A D3DCOLOR in the bytes of one pixel of a colour format; false for formats it cannot fill.
bool EncodeColor(D3DFORMAT format, D3DCOLOR color, BYTE* out, UINT& size) {
  DWORD a = color >> 24, r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
  auto scale = [](DWORD value, int bits) { return (value * ((1u << bits) - 1) + 127) / 255; };
  DWORD packed;
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
      packed = color;
      size = 4;
      break;
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
      packed = (a << 24) | (b << 16) | (g << 8) | r;
      size = 4;
      break;
    case D3DFMT_R8G8B8:
      packed = color & 0xFFFFFF;
      size = 3;
      break;
    case D3DFMT_R5G6B5:
      packed = (scale(r, 5) << 11) | (scale(g, 6) << 5) | scale(b, 5);
      size = 2;
      break;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
      packed = ((a >= 128) << 15) | (scale(r, 5) << 10) | (scale(g, 5) << 5) | scale(b, 5);
      size = 2;
      break;
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
      packed = (scale(a, 4) << 12) | (scale(r, 4) << 8) | (scale(g, 4) << 4) | scale(b, 4);
      size = 2;
      break;
    case D3DFMT_R3G3B2:
      packed = (scale(r, 3) << 5) | (scale(g, 3) << 2) | scale(b, 2);
      size = 1;
      break;
    case D3DFMT_A8R3G3B2:
      packed = (a << 8) | (scale(r, 3) << 5) | (scale(g, 3) << 2) | scale(b, 2);
      size = 2;
      break;
    case D3DFMT_A8:
      packed = a;
      size = 1;
      break;
    case D3DFMT_A2R10G10B10:
      packed = (scale(a, 2) << 30) | (scale(r, 10) << 20) | (scale(g, 10) << 10) | scale(b, 10);
      size = 4;
      break;
    case D3DFMT_A2B10G10R10:
      packed = (scale(a, 2) << 30) | (scale(b, 10) << 20) | (scale(g, 10) << 10) | scale(r, 10);
      size = 4;
      break;
    case D3DFMT_YUY2:
    case D3DFMT_UYVY: {
      // Both pixels of the pair the same colour, converted as the texture loader converts it.
      const Bt601Bytes yuv = ColorToBt601(r, g, b);
      const BYTE yb = yuv.luma, ub = yuv.blueDifference, vb = yuv.redDifference;
      if (format == D3DFMT_YUY2) {
        out[0] = yb, out[1] = ub, out[2] = yb, out[3] = vb;
      } else {
        out[0] = ub, out[1] = yb, out[2] = vb, out[3] = yb;
      }
      size = 4;
      return true;
    }
    default: return false;
  }
  std::memcpy(out, &packed, size);
  return true;
}

// Reads a pixel's channel bytes for linear filtering: only formats whose every channel is one
// byte are filtered; others are point sampled.
bool ByteChannels(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
    case D3DFMT_R8G8B8:
    case D3DFMT_A8:
    case D3DFMT_L8:
    case D3DFMT_A8L8: return true;
    default: return false;
  }
}

// Both surfaces of a copy must exist and belong to the device doing it.
HRESULT CheckSurfacePair(const Device* device, Surface* source, Surface* destination, const char* call) {
  if (!source || !destination) return ReportFailure(D3DERR_INVALIDCALL, call, "null surface");
  if (&source->OwningDevice() != device || &destination->OwningDevice() != device) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "surface of another device");
  }
  return D3D_OK;
}

}  // namespace

HRESULT Device::UpdateSurface(IDirect3DSurface9* sourceInterface, const RECT* sourceRect,
                              IDirect3DSurface9* destinationInterface, const POINT* destPoint) {
  constexpr const char* kCall = "IDirect3DDevice9::UpdateSurface";
  auto* source = static_cast<Surface*>(sourceInterface);
  auto* destination = static_cast<Surface*>(destinationInterface);
  if (HRESULT hr = CheckSurfacePair(this, source, destination, kCall); FAILED(hr)) return hr;
  const D3DSURFACE_DESC& from = source->Desc();
  const D3DSURFACE_DESC& to = destination->Desc();
  if (from.Pool != D3DPOOL_SYSTEMMEM || to.Pool != D3DPOOL_DEFAULT) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall,
                         "the source must be in system memory and the destination in the default pool");
  }
  if (from.Format != to.Format) return ReportFailure(D3DERR_INVALIDCALL, kCall, "the formats differ");
  if (to.Usage & D3DUSAGE_DEPTHSTENCIL)
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "depth-stencil destinations cannot be updated");
  if (source->IsLocked() || destination->IsLocked())
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "a surface is locked");
  const FormatLayout& layout = source->Storage().Layout();
  RECT region = sourceRect ? *sourceRect : WholeRect(from);
  if (!RectFits(layout, from, region) || IsEmpty(region)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall,
                         "the source rectangle is not inside the source or not block-aligned");
  }
  POINT at = destPoint ? *destPoint : POINT{0, 0};
  // The region lies inside the source, so its size is small; the point may be anything, and
  // the far corner is only formed once it cannot overflow.
  const LONG width = region.right - region.left;
  const LONG height = region.bottom - region.top;
  if (at.x < 0 || at.y < 0 || at.x > std::numeric_limits<LONG>::max() - width ||
      at.y > std::numeric_limits<LONG>::max() - height ||
      !RectFits(layout, to, RECT{at.x, at.y, at.x + width, at.y + height})) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall,
                         "the destination area is not inside the destination or not block-aligned");
  }
  return GuardAllocation(kCall, [&] {
    if (!source->ReadableBytes() || !destination->ReadableBytes())
      return ReportFailure(E_OUTOFMEMORY, kCall, "no memory");
    CopyBlocks(source->Storage(), static_cast<UINT>(region.left), static_cast<UINT>(region.top), 0,
               destination->Storage(), static_cast<UINT>(at.x), static_cast<UINT>(at.y), 0, static_cast<UINT>(width),
               static_cast<UINT>(height));
    destination->ContentWritten();
    return D3D_OK;
  });
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture9* sourceInterface, IDirect3DBaseTexture9* destinationInterface) {
  constexpr const char* kCall = "IDirect3DDevice9::UpdateTexture";
  if (!sourceInterface || !destinationInterface) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null texture");
  auto* source = dynamic_cast<TextureCommon*>(sourceInterface);
  auto* destination = dynamic_cast<TextureCommon*>(destinationInterface);
  auto* sourceResource = dynamic_cast<Resource*>(sourceInterface);
  auto* destinationResource = dynamic_cast<Resource*>(destinationInterface);
  if (!source || !destination || &sourceResource->OwningDevice() != this ||
      &destinationResource->OwningDevice() != this) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "not textures of this device");
  }
  if (source->Pool() != D3DPOOL_SYSTEMMEM || destination->Pool() != D3DPOOL_DEFAULT) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall,
                         "the source must be in system memory and the destination in the default pool");
  }
  if (source->Type() != destination->Type())
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the texture types differ");
  if (source->Format() != destination->Format()) return ReportFailure(D3DERR_INVALIDCALL, kCall, "the formats differ");

  // The destination's top level takes the source level of the same size; the levels below
  // follow one for one. An automatically mip-mapped destination takes its top level only.
  bool autoGen = (destination->Usage() & D3DUSAGE_AUTOGENMIPMAP) != 0;
  UINT levelsToCopy = autoGen ? 1 : destination->Levels();
  UINT firstSourceLevel = source->Levels();
  Subresource top = destination->At(0, 0);
  for (UINT level = 0; level < source->Levels(); ++level) {
    Subresource from = source->At(0, level);
    if (from.Width() == top.Width() && from.Height() == top.Height() && from.Depth() == top.Depth()) {
      firstSourceLevel = level;
      break;
    }
  }
  if (firstSourceLevel == source->Levels() || firstSourceLevel + levelsToCopy > source->Levels()) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the source has no levels matching the destination's");
  }
  // A source being written to is refused even when it has nothing new to give: its memory is
  // the caller's until it is unlocked, whichever face or level that is.
  bool sourceLocked = false;
  source->ForEachSubresource([&](const Subresource& part) { sourceLocked = sourceLocked || part.IsLocked(); });
  if (sourceLocked) return ReportFailure(D3DERR_INVALIDCALL, kCall, "the source texture is locked");
  if (!source->IsDirty()) return D3D_OK;  // nothing changed since the last update

  return GuardAllocation(kCall, [&] {
    // Every face and level is checked before any is copied, so a refused update changes nothing.
    for (UINT face = 0; face < source->Faces(); ++face) {
      for (UINT level = 0; level < levelsToCopy; ++level) {
        Subresource from = source->At(face, firstSourceLevel + level), to = destination->At(face, level);
        if (to.IsLocked()) return ReportFailure(D3DERR_INVALIDCALL, kCall, "a destination level is locked");
        if (!from.ReadableBytes() || !to.Storage().Bytes()) return ReportFailure(E_OUTOFMEMORY, kCall, "no memory");
      }
    }
    for (UINT face = 0; face < source->Faces(); ++face) {
      for (UINT level = 0; level < levelsToCopy; ++level) {
        Subresource from = source->At(face, firstSourceLevel + level), to = destination->At(face, level);
        for (UINT slice = 0; slice < from.Depth(); ++slice) {
          CopyBlocks(from.Storage(), 0, 0, slice, to.Storage(), 0, 0, slice, from.Width(), from.Height());
        }
        to.ContentWritten();
      }
    }
    if (autoGen) renderer_->GenerateMipSubLevels(*destination);
    // Clean only once the destination is whole: an update that ran out of memory on the way
    // is done again in full by the next call.
    source->MarkClean();
    return D3D_OK;
  });
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* renderTargetInterface, IDirect3DSurface9* destinationInterface) {
  constexpr const char* kCall = "IDirect3DDevice9::GetRenderTargetData";
  auto* source = static_cast<Surface*>(renderTargetInterface);
  auto* destination = static_cast<Surface*>(destinationInterface);
  if (HRESULT hr = CheckSurfacePair(this, source, destination, kCall); FAILED(hr)) return hr;
  const D3DSURFACE_DESC& from = source->Desc();
  const D3DSURFACE_DESC& to = destination->Desc();
  if (!(from.Usage & D3DUSAGE_RENDERTARGET) || from.Pool != D3DPOOL_DEFAULT) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the source is not a render target");
  }
  if (to.Pool != D3DPOOL_SYSTEMMEM)
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the destination must be in system memory");
  if (from.Format != to.Format || from.Width != to.Width || from.Height != to.Height) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the surfaces differ in format or size");
  }
  if (destination->IsLocked()) return ReportFailure(D3DERR_INVALIDCALL, kCall, "the destination is locked");
  return GuardAllocation(kCall, [&] {
    if (!source->ReadableBytes() || !destination->Storage().Bytes())
      return ReportFailure(E_OUTOFMEMORY, kCall, "no memory");
    CopyWholeSurface(*source, *destination);
    return D3D_OK;
  });
}

HRESULT Device::StretchRect(IDirect3DSurface9* sourceInterface, const RECT* sourceRect,
                            IDirect3DSurface9* destinationInterface, const RECT* destRect,
                            D3DTEXTUREFILTERTYPE filter) {
  constexpr const char* kCall = "IDirect3DDevice9::StretchRect";
  auto* source = static_cast<Surface*>(sourceInterface);
  auto* destination = static_cast<Surface*>(destinationInterface);
  if (HRESULT hr = CheckSurfacePair(this, source, destination, kCall); FAILED(hr)) return hr;
  if (source == destination) return ReportFailure(D3DERR_INVALIDCALL, kCall, "source and destination are one surface");
  const D3DSURFACE_DESC& from = source->Desc();
  const D3DSURFACE_DESC& to = destination->Desc();
  if (from.Pool != D3DPOOL_DEFAULT || to.Pool != D3DPOOL_DEFAULT) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "both surfaces must be in the default pool");
  }
  if (filter != D3DTEXF_NONE && filter != D3DTEXF_POINT && filter != D3DTEXF_LINEAR) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "not a filter StretchRect offers");
  }
  if (source->IsLocked() || destination->IsLocked())
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "a surface is locked");
  if (from.Format != to.Format) return ReportFailure(D3DERR_INVALIDCALL, kCall, "the formats differ");

  bool sourceDepth = from.Usage & D3DUSAGE_DEPTHSTENCIL;
  bool destinationDepth = to.Usage & D3DUSAGE_DEPTHSTENCIL;
  if (sourceDepth || destinationDepth) {
    // Depth buffers copy whole, unscaled, outside a scene.
    if (!sourceDepth || !destinationDepth || sourceRect || destRect || from.Width != to.Width ||
        from.Height != to.Height || filter != D3DTEXF_NONE || inScene_) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall,
                           "depth-stencil surfaces copy whole, unscaled and unfiltered, outside a scene");
    }
    // A discardable depth buffer's contents are not kept, so they cannot be copied either way.
    if (source->IsDiscardable() || destination->IsDiscardable()) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "a discardable depth-stencil surface");
    }
    return GuardAllocation(kCall, [&] {
      CopyWholeSurface(*source, *destination);
      return D3D_OK;
    });
  }
  bool sourceIsTexture = source->Texture() != nullptr;
  bool sourceIsRenderTarget = from.Usage & D3DUSAGE_RENDERTARGET;
  bool destinationIsTexture = destination->Texture() != nullptr;
  bool destinationIsRenderTarget = to.Usage & D3DUSAGE_RENDERTARGET;
  if (destinationIsTexture && !destinationIsRenderTarget) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the destination is a texture that is not a render target");
  }
  if (!destinationIsRenderTarget && (sourceIsRenderTarget || sourceIsTexture)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall,
                         "only an offscreen plain surface copies to an offscreen plain surface");
  }
  if (sourceIsTexture && !sourceIsRenderTarget && !(Caps().DevCaps2 & D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the device cannot stretch from textures");
  }
  const FormatLayout& layout = source->Storage().Layout();
  RECT sourceArea = sourceRect ? *sourceRect : WholeRect(from);
  RECT destinationArea = destRect ? *destRect : WholeRect(to);
  if (!RectFits(layout, from, sourceArea) || IsEmpty(sourceArea) || !RectFits(layout, to, destinationArea) ||
      IsEmpty(destinationArea)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "a rectangle is empty or not inside its surface");
  }
  bool scaled = sourceArea.right - sourceArea.left != destinationArea.right - destinationArea.left ||
                sourceArea.bottom - sourceArea.top != destinationArea.bottom - destinationArea.top;
  if (scaled && !sourceIsRenderTarget && !sourceIsTexture && !destinationIsRenderTarget) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "offscreen plain surfaces copy to each other unscaled only");
  }
  if (scaled && layout.kind != FormatClass::Plain) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "block and pair formats copy unscaled only");
  }
  return GuardAllocation(kCall, [&] {
    if (!source->ReadableBytes() || !destination->ReadableBytes())
      return ReportFailure(E_OUTOFMEMORY, kCall, "no memory");
    HRESULT hr = CopyRects(*source, sourceArea, *destination, destinationArea, filter);
    if (FAILED(hr)) return ReportFailure(hr, kCall, "copy failed");
    return D3D_OK;
  });
}

HRESULT Device::CopyRects(Surface& source, const RECT& sourceArea, Surface& destination, const RECT& destinationArea,
                          D3DTEXTUREFILTERTYPE filter) {
  UINT sourceWidth = static_cast<UINT>(sourceArea.right - sourceArea.left);
  UINT sourceHeight = static_cast<UINT>(sourceArea.bottom - sourceArea.top);
  UINT width = static_cast<UINT>(destinationArea.right - destinationArea.left);
  UINT height = static_cast<UINT>(destinationArea.bottom - destinationArea.top);
  PixelStorage& from = source.Storage();
  PixelStorage& to = destination.Storage();
  if (sourceWidth == width && sourceHeight == height) {
    CopyBlocks(from, static_cast<UINT>(sourceArea.left), static_cast<UINT>(sourceArea.top), 0, to,
               static_cast<UINT>(destinationArea.left), static_cast<UINT>(destinationArea.top), 0, width, height);
    destination.ContentWritten();
    return D3D_OK;
  }
  UINT pixelBytes = from.Layout().bytesPerBlock;
  bool linear = filter == D3DTEXF_LINEAR && ByteChannels(source.Desc().Format);
  for (UINT y = 0; y < height; ++y) {
    // Sample positions at pixel centres, mapped into the source area.
    float fy = (static_cast<float>(y) + 0.5f) * static_cast<float>(sourceHeight) / static_cast<float>(height) - 0.5f;
    BYTE* out = to.Address(static_cast<UINT>(destinationArea.left), static_cast<UINT>(destinationArea.top) + y, 0);
    for (UINT x = 0; x < width; ++x) {
      float fx = (static_cast<float>(x) + 0.5f) * static_cast<float>(sourceWidth) / static_cast<float>(width) - 0.5f;
      if (!linear) {
        UINT sx = std::min(static_cast<UINT>(std::max(fx + 0.5f, 0.0f)), sourceWidth - 1);
        UINT sy = std::min(static_cast<UINT>(std::max(fy + 0.5f, 0.0f)), sourceHeight - 1);
        std::memcpy(out + size_t{x} * pixelBytes,
                    from.Address(static_cast<UINT>(sourceArea.left) + sx, static_cast<UINT>(sourceArea.top) + sy, 0),
                    pixelBytes);
        continue;
      }
      float cx = std::clamp(fx, 0.0f, static_cast<float>(sourceWidth - 1));
      float cy = std::clamp(fy, 0.0f, static_cast<float>(sourceHeight - 1));
      UINT x0 = static_cast<UINT>(cx), y0 = static_cast<UINT>(cy);
      UINT x1 = std::min(x0 + 1, sourceWidth - 1), y1 = std::min(y0 + 1, sourceHeight - 1);
      float wx = cx - static_cast<float>(x0), wy = cy - static_cast<float>(y0);
      auto at = [&](UINT px, UINT py) {
        return from.Address(static_cast<UINT>(sourceArea.left) + px, static_cast<UINT>(sourceArea.top) + py, 0);
      };
      const BYTE *p00 = at(x0, y0), *p10 = at(x1, y0), *p01 = at(x0, y1), *p11 = at(x1, y1);
      for (UINT c = 0; c < pixelBytes; ++c) {
        float top = p00[c] + (p10[c] - p00[c]) * wx;
        float bottom = p01[c] + (p11[c] - p01[c]) * wx;
        out[size_t{x} * pixelBytes + c] = static_cast<BYTE>(top + (bottom - top) * wy + 0.5f);
      }
    }
  }
  destination.ContentWritten();
  return D3D_OK;
}

HRESULT Device::ColorFill(IDirect3DSurface9* surfaceInterface, const RECT* rect, D3DCOLOR color) {
  constexpr const char* kCall = "IDirect3DDevice9::ColorFill";
  auto* surface = static_cast<Surface*>(surfaceInterface);
  if (!surface) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null surface");
  if (&surface->OwningDevice() != this) return ReportFailure(D3DERR_INVALIDCALL, kCall, "surface of another device");
  const D3DSURFACE_DESC& desc = surface->Desc();
  if (desc.Pool != D3DPOOL_DEFAULT)
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the surface is not in the default pool");
  if ((desc.Usage & D3DUSAGE_DEPTHSTENCIL) || (surface->Texture() && !(desc.Usage & D3DUSAGE_RENDERTARGET))) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "only render targets and offscreen plain surfaces can be filled");
  }
  if (surface->IsLocked()) return ReportFailure(D3DERR_INVALIDCALL, kCall, "the surface is locked");
  BYTE pixel[16];
  UINT pixelBytes = 0;
  if (!EncodeColor(desc.Format, color, pixel, pixelBytes)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the surface's format cannot be filled with a colour");
  }
  const FormatLayout& layout = surface->Storage().Layout();
  RECT area = rect ? *rect : WholeRect(desc);
  if (!RectFits(layout, desc, area))
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the rectangle is not inside the surface");
  if (IsEmpty(area)) return D3D_OK;
  return GuardAllocation(kCall, [&] {
    if (!surface->ReadableBytes()) return ReportFailure(E_OUTOFMEMORY, kCall, "no memory");
    PixelStorage& storage = surface->Storage();
    UINT blocks = (static_cast<UINT>(area.right) + layout.blockWidth - 1) / layout.blockWidth -
                  static_cast<UINT>(area.left) / layout.blockWidth;
    for (LONG y = area.top; y < area.bottom; ++y) {
      BYTE* row = storage.Address(static_cast<UINT>(area.left), static_cast<UINT>(y), 0);
      for (UINT i = 0; i < blocks; ++i) std::memcpy(row + size_t{i} * pixelBytes, pixel, pixelBytes);
    }
    surface->ContentWritten();
    return D3D_OK;
  });
}

}  // namespace rastro
