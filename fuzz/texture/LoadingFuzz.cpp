// The conversion engine through the public loading calls: surfaces and volumes loaded from
// memory and from each other, and mip chains filtered, with arbitrary formats, sizes,
// rectangles, boxes, filter words, colour keys and palettes. Caller memory is allocated to
// exactly the bytes its rows need, so the address sanitizer catches any read past it; bad
// arguments must come back as errors.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ComPtr.h"
#include "DeviceProfile.h"
#include "FormatCatalogue.h"
#include "LockGeometry.h"
#include "d3dx9tex.h"

namespace {

using namespace rastro;

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
  std::uint32_t Word() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return v;
  }
  // 0 .. limit - 1
  UINT Below(UINT limit) { return limit ? Byte() % limit : 0; }
  void Fill(BYTE* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = Byte();
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

IDirect3DDevice9* Device() {
  static IDirect3DDevice9* device = [] {
    std::vector<Adapter> adapters;
    adapters.push_back(ResourceOnlyAdapter(CapableProfile()));
    IDirect3D9* direct3d = CreateDirect3D(std::move(adapters));
    D3DPRESENT_PARAMETERS parameters{};
    // A display mode the adapter offers, full screen, as the benchmark creates its device.
    parameters.BackBufferWidth = 640;
    parameters.BackBufferHeight = 480;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.BackBufferCount = 1;
    parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    IDirect3DDevice9* created = nullptr;
    direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, &created);
    direct3d->Release();
    return created;
  }();
  return device;
}

D3DFORMAT PickFormat(Input& in) {
  UINT choice = in.Byte();
  if (choice >= 250) return static_cast<D3DFORMAT>(in.Word());  // anything at all
  return FormatCatalogue()[choice % FormatCatalogueSize()].Format;
}

// Bytes of one row (of blocks) and the number of rows for a width x height image.
void Layout(D3DFORMAT format, UINT width, UINT height, std::size_t& rowBytes, UINT& rows) {
  rows = height;
  if (IsBlockFormat(format)) {
    rowBytes = std::size_t{(width + 3) / 4} * (format == D3DFMT_DXT1 ? 8 : 16);
    rows = (height + 3) / 4;
  } else if (IsPairFormat(format)) {
    rowBytes = std::size_t{(width + 1) / 2} * 4;
  } else {
    UINT bits = LookupFormatInfo(format).BitsPerPixel;
    rowBytes = std::size_t{width} * (bits ? (bits + 7) / 8 : 4);
  }
}

DWORD PickFilter(Input& in) {
  switch (in.Below(4)) {
    case 0: return in.Word();  // anything, mostly invalid
    case 1: return D3DX_DEFAULT;
    default: return (1 + in.Below(5)) | (in.Word() & (D3DX_FILTER_MIRROR | D3DX_FILTER_DITHER | D3DX_FILTER_SRGB));
  }
}

RECT PickRect(Input& in, UINT width, UINT height) {
  // Mostly inside, sometimes not.
  LONG left = static_cast<LONG>(in.Below(width + 2)) - (in.Byte() == 0 ? 3 : 0);
  LONG top = static_cast<LONG>(in.Below(height + 2));
  LONG right = left + static_cast<LONG>(in.Below(width + 2));
  LONG bottom = top + static_cast<LONG>(in.Below(height + 2));
  if (in.Byte() == 1) std::swap(left, right);
  return {left, top, right, bottom};
}

D3DBOX PickBox(Input& in, UINT width, UINT height, UINT depth) {
  UINT left = in.Below(width + 1), top = in.Below(height + 1), front = in.Below(depth + 1);
  return {left, top, left + in.Below(width + 2), top + in.Below(height + 2), front, front + in.Below(depth + 2)};
}

D3DPOOL PickPool(Input& in) {
  const D3DPOOL pools[] = {D3DPOOL_SYSTEMMEM, D3DPOOL_MANAGED, D3DPOOL_DEFAULT, D3DPOOL_SCRATCH};
  return pools[in.Below(4)];
}

ComPtr<IDirect3DTexture9> MakeTexture(Input& in, D3DFORMAT format, UINT& level) {
  UINT width = 1 + in.Below(40), height = 1 + in.Below(40);
  if (IsBlockFormat(format)) {
    width = (width + 3) & ~3u;
    height = (height + 3) & ~3u;
  }
  DWORD usage = in.Byte() == 7 ? D3DUSAGE_DYNAMIC : 0;
  ComPtr<IDirect3DTexture9> texture;
  Device()->CreateTexture(width, height, 1 + in.Below(3), usage, format, PickPool(in), texture.ReleaseAndGetAddressOf(),
                          nullptr);
  level = texture ? in.Below(texture->GetLevelCount()) : 0;
  return texture;
}

void FillSurface(Input& in, IDirect3DSurface9* surface) {
  D3DSURFACE_DESC desc{};
  surface->GetDesc(&desc);
  D3DLOCKED_RECT bits{};
  if (FAILED(surface->LockRect(&bits, nullptr, 0))) return;
  std::size_t rowBytes = 0;
  UINT rows = 0;
  Layout(desc.Format, desc.Width, desc.Height, rowBytes, rows);
  // Formats the catalogue does not describe are guessed at four bytes a pixel: stay in the row.
  rowBytes = std::min<std::size_t>(rowBytes, static_cast<std::size_t>(std::max(bits.Pitch, 0)));
  for (UINT y = 0; y < rows; ++y) in.Fill(static_cast<BYTE*>(bits.pBits) + std::size_t{y} * bits.Pitch, rowBytes);
  surface->UnlockRect();
}

void SurfaceFromMemory(Input& in, const PALETTEENTRY* palette) {
  UINT level = 0;
  auto texture = MakeTexture(in, PickFormat(in), level);
  if (!texture) return;
  ComPtr<IDirect3DSurface9> surface;
  texture->GetSurfaceLevel(level, surface.ReleaseAndGetAddressOf());
  D3DSURFACE_DESC desc{};
  surface->GetDesc(&desc);
  const D3DFORMAT sourceFormat = PickFormat(in);
  const UINT width = 1 + in.Below(48), height = 1 + in.Below(48);
  std::size_t rowBytes = 0;
  UINT rows = 0;
  Layout(sourceFormat, width, height, rowBytes, rows);
  const std::size_t pitch = rowBytes + in.Below(8);
  std::vector<BYTE> memory(pitch * rows);
  in.Fill(memory.data(), memory.size());
  RECT sourceRect = PickRect(in, width, height);
  RECT destinationRect = PickRect(in, desc.Width, desc.Height);
  // Source rectangles must lie inside the memory given; only their ordering is the callee's
  // to check.
  if (sourceRect.right > static_cast<LONG>(width) || sourceRect.bottom > static_cast<LONG>(height)) {
    sourceRect.right = std::min<LONG>(sourceRect.right, static_cast<LONG>(width));
    sourceRect.bottom = std::min<LONG>(sourceRect.bottom, static_cast<LONG>(height));
  }
  const bool whole = in.Byte() & 1;
  D3DXLoadSurfaceFromMemory(surface.Get(), palette, whole ? nullptr : &destinationRect,
                            memory.empty() ? nullptr : memory.data(), sourceFormat, static_cast<UINT>(pitch), palette,
                            &sourceRect, PickFilter(in), in.Byte() & 1 ? in.Word() : 0);
}

void SurfaceFromSurface(Input& in, const PALETTEENTRY* palette) {
  UINT sourceLevel = 0, destinationLevel = 0;
  auto from = MakeTexture(in, PickFormat(in), sourceLevel);
  auto to = (in.Byte() & 1) ? from : MakeTexture(in, PickFormat(in), destinationLevel);
  if (!from || !to) return;
  ComPtr<IDirect3DSurface9> source, destination;
  from->GetSurfaceLevel(sourceLevel, source.ReleaseAndGetAddressOf());
  to->GetSurfaceLevel(destinationLevel, destination.ReleaseAndGetAddressOf());
  FillSurface(in, source.Get());
  D3DSURFACE_DESC sourceDesc{}, destinationDesc{};
  source->GetDesc(&sourceDesc);
  destination->GetDesc(&destinationDesc);
  RECT sourceRect = PickRect(in, sourceDesc.Width, sourceDesc.Height);
  RECT destinationRect = PickRect(in, destinationDesc.Width, destinationDesc.Height);
  const BYTE which = in.Byte();
  D3DXLoadSurfaceFromSurface(destination.Get(), palette, (which & 1) ? nullptr : &destinationRect, source.Get(),
                             palette, (which & 2) ? nullptr : &sourceRect, PickFilter(in), (which & 4) ? in.Word() : 0);
}

ComPtr<IDirect3DVolumeTexture9> MakeVolumeTexture(Input& in, D3DFORMAT format) {
  UINT width = 1 + in.Below(12), height = 1 + in.Below(12), depth = 1 + in.Below(6);
  if (IsBlockFormat(format)) {
    width = (width + 3) & ~3u;
    height = (height + 3) & ~3u;
  }
  const D3DPOOL pools[] = {D3DPOOL_SYSTEMMEM, D3DPOOL_MANAGED, D3DPOOL_DEFAULT};
  ComPtr<IDirect3DVolumeTexture9> texture;
  Device()->CreateVolumeTexture(width, height, depth, 1 + in.Below(3), (in.Byte() & 1) ? D3DUSAGE_DYNAMIC : 0, format,
                                pools[in.Below(3)], texture.ReleaseAndGetAddressOf(), nullptr);
  return texture;
}

void VolumeLoads(Input& in, const PALETTEENTRY* palette) {
  auto texture = MakeVolumeTexture(in, PickFormat(in));
  if (!texture) return;
  ComPtr<IDirect3DVolume9> destination, other;
  texture->GetVolumeLevel(in.Below(texture->GetLevelCount()), destination.ReleaseAndGetAddressOf());
  texture->GetVolumeLevel(in.Below(texture->GetLevelCount()), other.ReleaseAndGetAddressOf());
  D3DVOLUME_DESC desc{};
  destination->GetDesc(&desc);
  const D3DFORMAT sourceFormat = PickFormat(in);
  const UINT width = 1 + in.Below(16), height = 1 + in.Below(16), depth = 1 + in.Below(6);
  std::size_t rowBytes = 0;
  UINT rows = 0;
  Layout(sourceFormat, width, height, rowBytes, rows);
  const std::size_t rowPitch = rowBytes + in.Below(4);
  const std::size_t slicePitch = rowPitch * rows + in.Below(4);
  std::vector<BYTE> memory(slicePitch * depth);
  in.Fill(memory.data(), memory.size());
  D3DBOX sourceBox = PickBox(in, width, height, depth);
  sourceBox.Right = std::min(sourceBox.Right, width);
  sourceBox.Bottom = std::min(sourceBox.Bottom, height);
  sourceBox.Back = std::min(sourceBox.Back, depth);
  D3DBOX destinationBox = PickBox(in, desc.Width, desc.Height, desc.Depth);
  const BYTE which = in.Byte();
  D3DXLoadVolumeFromMemory(destination.Get(), palette, (which & 1) ? nullptr : &destinationBox, memory.data(),
                           sourceFormat, static_cast<UINT>(rowPitch), static_cast<UINT>(slicePitch), palette,
                           &sourceBox, PickFilter(in), (which & 2) ? in.Word() : 0);
  D3DVOLUME_DESC otherDesc{};
  other->GetDesc(&otherDesc);
  D3DBOX otherBox = PickBox(in, otherDesc.Width, otherDesc.Height, otherDesc.Depth);
  D3DXLoadVolumeFromVolume(destination.Get(), palette, (which & 4) ? nullptr : &destinationBox, other.Get(), palette,
                           (which & 8) ? nullptr : &otherBox, PickFilter(in), 0);
}

void Filter(Input& in, const PALETTEENTRY* palette) {
  const D3DFORMAT format = PickFormat(in);
  const UINT kind = in.Below(3);
  const UINT sourceLevel = in.Byte() == 0 ? D3DX_DEFAULT : in.Below(4);
  if (kind == 0) {
    UINT level = 0;
    auto texture = MakeTexture(in, format, level);
    if (!texture) return;
    ComPtr<IDirect3DSurface9> top;
    texture->GetSurfaceLevel(0, top.ReleaseAndGetAddressOf());
    FillSurface(in, top.Get());
    D3DXFilterTexture(texture.Get(), palette, sourceLevel, PickFilter(in));
  } else if (kind == 1) {
    auto texture = MakeVolumeTexture(in, format);
    if (texture) D3DXFilterTexture(texture.Get(), palette, sourceLevel, PickFilter(in));
  } else {
    ComPtr<IDirect3DCubeTexture9> cube;
    UINT edge = 1 + in.Below(16);
    if (IsBlockFormat(format)) edge = (edge + 3) & ~3u;
    Device()->CreateCubeTexture(edge, 1 + in.Below(3), 0, format, PickPool(in), cube.ReleaseAndGetAddressOf(), nullptr);
    if (cube) D3DXFilterTexture(cube.Get(), palette, sourceLevel, PickFilter(in));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Without a device nothing below would run: fail loudly instead of passing every input.
  if (!Device()) std::abort();
  Input in(data, size);
  const BYTE mode = in.Byte();
  PALETTEENTRY palette[256];
  in.Fill(reinterpret_cast<BYTE*>(palette), (mode & 0x10) ? sizeof palette : 0);
  const PALETTEENTRY* paletteOrNone = (mode & 0x10) ? palette : nullptr;
  switch (mode % 4) {
    case 0: SurfaceFromMemory(in, paletteOrNone); break;
    case 1: SurfaceFromSurface(in, paletteOrNone); break;
    case 2: VolumeLoads(in, paletteOrNone); break;
    default: Filter(in, paletteOrNone); break;
  }
  return 0;
}
