// Byte copies: the cheapest path, taken whenever nothing about the pixels has to change.
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "BlitPaths.h"
#include "LockGeometry.h"

namespace rastro {

namespace {

bool SamePalette(const PALETTEENTRY* a, const PALETTEENTRY* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  return std::memcmp(a, b, 256 * sizeof(PALETTEENTRY)) == 0;
}

bool OnBlockEdges(const D3DBOX& box) { return (box.Left | box.Top | box.Right | box.Bottom) % 4 == 0; }

// DXT regions copy as whole 4 x 4 blocks, so both must start and end on block edges.
HRESULT CopyBlocks(PixelCodec& destination, PixelCodec& source) {
  if (!IsBlockFormat(destination.Format())) return E_FAIL;
  const D3DBOX& to = destination.Region();
  const D3DBOX& from = source.Region();
  if (!OnBlockEdges(to) || !OnBlockEdges(from)) return E_FAIL;
  const std::size_t blockBytes = destination.Format() == D3DFMT_DXT1 ? 8 : 16;
  auto firstBlock = [blockBytes](const PixelCodec& codec) {
    const D3DBOX& box = codec.Region();
    return codec.Data() + std::size_t{box.Top / 4} * codec.RowPitch() + std::size_t{box.Front} * codec.SlicePitch() +
           blockBytes * (box.Left / 4);
  };
  BYTE* out = firstBlock(destination);
  const BYTE* in = firstBlock(source);
  const std::size_t rowBytes = blockBytes * (destination.Width() / 4);
  for (UINT z = 0; z < destination.Depth(); ++z) {
    for (UINT y = 0, blockRow = 0; y < destination.Height(); y += 4, ++blockRow) {
      std::memcpy(out + std::size_t{z} * destination.SlicePitch() + std::size_t{blockRow} * destination.RowPitch(),
                  in + std::size_t{z} * source.SlicePitch() + std::size_t{blockRow} * source.RowPitch(), rowBytes);
    }
  }
  return S_OK;
}

// The 32-bit formats that differ from each other only in their fourth byte, and what that
// byte becomes when written: 0 for the X formats, 255 for the A formats read from an X
// format (which reads alpha as 1).
bool RepackableFourthByte(D3DFORMAT from, D3DFORMAT to, DWORD& keep, DWORD& set) {
  const bool rgb =
      (from == D3DFMT_A8R8G8B8 || from == D3DFMT_X8R8G8B8) && (to == D3DFMT_A8R8G8B8 || to == D3DFMT_X8R8G8B8);
  const bool bgr =
      (from == D3DFMT_A8B8G8R8 || from == D3DFMT_X8B8G8R8) && (to == D3DFMT_A8B8G8R8 || to == D3DFMT_X8B8G8R8);
  if (!(rgb || bgr) || from == to) return false;
  const bool toX = to == D3DFMT_X8R8G8B8 || to == D3DFMT_X8B8G8R8;
  keep = 0x00FFFFFFu;
  set = toX ? 0u : 0xFF000000u;
  return true;
}

constexpr std::uint64_t kStreamingBytes = std::uint64_t{8} << 20;

void RepackRow(const BYTE* in, BYTE* out, UINT width, DWORD keep, DWORD set, bool stream) {
  UINT x = 0;
#if defined(__SSE2__)
  if (stream) {
    // Whole pixels up to a 16-byte boundary of the destination, then four at a time.
    for (; x < width && (reinterpret_cast<std::uintptr_t>(out + std::size_t{x} * 4) & 15); ++x) {
      DWORD pixel;
      std::memcpy(&pixel, in + std::size_t{x} * 4, 4);
      pixel = (pixel & keep) | set;
      std::memcpy(out + std::size_t{x} * 4, &pixel, 4);
    }
    const __m128i keepMask = _mm_set1_epi32(static_cast<int>(keep));
    const __m128i setMask = _mm_set1_epi32(static_cast<int>(set));
    for (; x + 4 <= width; x += 4) {
      __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + std::size_t{x} * 4));
      pixels = _mm_or_si128(_mm_and_si128(pixels, keepMask), setMask);
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + std::size_t{x} * 4), pixels);
    }
  }
#else
  (void)stream;
#endif
  for (; x < width; ++x) {
    DWORD pixel;
    std::memcpy(&pixel, in + std::size_t{x} * 4, 4);
    pixel = (pixel & keep) | set;
    std::memcpy(out + std::size_t{x} * 4, &pixel, 4);
  }
}

}  // namespace

HRESULT RepackSameSize(PixelCodec& destination, PixelCodec& source) {
  DWORD keep = 0, set = 0;
  if (!RepackableFourthByte(source.Format(), destination.Format(), keep, set)) return E_FAIL;
  // Colour keys and gamma change values; without them every 8-bit channel reads as c / 255
  // and is written back as c whatever the rounding or dither offset, so the float round trip
  // is the identity on the colour bytes.
  if (source.Flags().ColorKeyed || source.Flags().Srgb || destination.Flags().Srgb) return E_FAIL;
  if (destination.Width() != source.Width() || destination.Height() != source.Height() ||
      destination.Depth() != source.Depth()) {
    return E_FAIL;
  }
  const UINT width = destination.Width();
  // Images larger than the caches are written past them, as memcpy does for large blocks.
  const bool stream = std::uint64_t{width} * destination.Height() * destination.Depth() * 4 >= kStreamingBytes;
  for (UINT z = 0; z < destination.Depth(); ++z) {
    for (UINT y = 0; y < destination.Height(); ++y) {
      BYTE* out =
          destination.Base() + std::size_t{y} * destination.RowPitch() + std::size_t{z} * destination.SlicePitch();
      const BYTE* in = source.Base() + std::size_t{y} * source.RowPitch() + std::size_t{z} * source.SlicePitch();
      RepackRow(in, out, width, keep, set, stream);
    }
  }
#if defined(__SSE2__)
  if (stream) _mm_sfence();
#endif
  return S_OK;
}

HRESULT CopyDirect(PixelCodec& destination, PixelCodec& source) {
  if (destination.Format() != source.Format() || source.Flags().ColorKeyed) return E_FAIL;
  if (destination.Width() != source.Width() || destination.Height() != source.Height() ||
      destination.Depth() != source.Depth()) {
    return E_FAIL;
  }
  if (destination.Flags().Srgb != source.Flags().Srgb) return E_FAIL;
  if (!destination.Flags().RegionRebased) return CopyBlocks(destination, source);
  if (destination.Flags().Palettized && !SamePalette(destination.Palette(), source.Palette())) return E_FAIL;
  destination.Flags().Srgb = false;
  source.Flags().Srgb = false;
  const std::size_t rowBytes = destination.RowBytes();
  for (UINT z = 0; z < destination.Depth(); ++z) {
    for (UINT y = 0; y < destination.Height(); ++y) {
      BYTE* out =
          destination.Base() + std::size_t{y} * destination.RowPitch() + std::size_t{z} * destination.SlicePitch();
      const BYTE* in = source.Base() + std::size_t{y} * source.RowPitch() + std::size_t{z} * source.SlicePitch();
      std::memmove(out, in, rowBytes);
    }
  }
  return S_OK;
}

}  // namespace rastro
