// The per-format pixel codecs: one object turns a row of one pixel format in memory into
// float RGBA (ReadRow) and back (WriteRow). The conversion engine creates one codec for each
// side of a conversion, links them, and moves rows; all knowledge of bit layouts, signed data,
// palettes, luminance, YUV packing, gamma, colour keys and dithering lives in the codecs.
#pragma once

#include <cstddef>
#include <memory>

#include "PixelRegion.h"
#include "d3d9types.h"

namespace rastro {

// One pixel of a float RGBA row: four 32-bit floats, 16 bytes, rows tightly packed.
struct FloatRgba {
  float R;
  float G;
  float B;
  float A;
};
static_assert(sizeof(FloatRgba) == 16);

// The range of the float values a codec reads and expects, fixed per format.
enum ChannelRange : DWORD {
  RangeUnsigned = 1,   // R, G, B, A in [0, 1]
  RangeSignedRgb = 2,  // R, G, B in [-1, 1]; A in [0, 1]
  RangeSigned = 3,     // R, G, B, A in [-1, 1]
  RangeFloat = 4,      // unbounded
};

struct CodecFlags {
  // Base() and Region() were moved to the region's corner (plain codecs). The pair and block
  // codecs keep image coordinates and add Region().Top and Region().Front themselves.
  bool RegionRebased = false;
  // The data is gamma-encoded. The engine may clear it on both sides of a conversion that
  // would cancel out.
  bool Srgb = false;
  // Both sides of the conversion are gamma-encoded: rows move through a square / square-root
  // curve instead of the 2.2 tables.
  bool PairedSrgb = false;
  bool ColorKeyed = false;
  bool Palettized = false;
};

// Ordered-dither and rounding offsets: 4 rows of 8 floats, each row holding its four offsets
// twice so that a slice can rotate the row by indexing from column (z & 3).
using DitherTable = float[4][8];
extern const DitherTable kRoundingOffsets;  // 0.5 everywhere: plain rounding
extern const DitherTable kOrderedDither;    // (k + 0.5) / 16 from the 4x4 ordered-dither matrix

// The gamma 2.2 tables, 256 entries each (254 and 255 are both 1.0):
// encode E[i] = (i/254)^(2/2.2), indexed by sqrt(x) * 254; decode D[i] = (i/254)^1.1,
// indexed by x^2 * 254.
const float* GammaEncodeTable();
const float* GammaDecodeTable();

// Moves `count` pixels from one channel range into another (in may equal out). A RangeFloat
// source is clamped into the destination range; nothing is ever converted into RangeFloat.
void ConvertChannelRange(const FloatRgba* in, FloatRgba* out, std::size_t count, ChannelRange from, ChannelRange to);

class PixelCodec {
 public:
  virtual ~PixelCodec();
  PixelCodec(const PixelCodec&) = delete;
  PixelCodec& operator=(const PixelCodec&) = delete;

  // Decodes row y of slice z (relative to the region's top-left-front corner) into Width()
  // pixels at `out`, then applies the colour key and gamma decoding.
  virtual void ReadRow(UINT y, UINT z, FloatRgba* out) = 0;
  // Encodes Width() pixels from `in` into row y of slice z. `in` is left unchanged: range
  // conversion and gamma encoding go through the codec's scratch row. E_OUTOFMEMORY when the
  // codec could not get the memory the row needs (the row is then not written), or another
  // failure the codec met; S_OK otherwise.
  virtual HRESULT WriteRow(UINT y, UINT z, const FloatRgba* in) = 0;
  // Replaces the key by what the format can store. Called once by CreatePixelCodec when the
  // region has a colour key. This default serves every plain codec: it round-trips the key
  // through WriteRow and ReadRow on a one-pixel image of its own.
  virtual void PrepareColorKey();

  D3DFORMAT Format() const { return format_; }
  ChannelRange Range() const { return range_; }
  CodecFlags& Flags() { return flags_; }
  const CodecFlags& Flags() const { return flags_; }
  // The region's Data; with RegionRebased, Base() is advanced to the region's first pixel.
  BYTE* Data() const { return data_; }
  BYTE* Base() const { return base_; }
  // Region in image coordinates, or (0, 0, Width, Height, 0, Depth) once rebased.
  const D3DBOX& Region() const { return region_; }
  UINT RowPitch() const { return rowPitch_; }
  UINT SlicePitch() const { return slicePitch_; }
  UINT Width() const { return width_; }
  UINT Height() const { return height_; }
  UINT Depth() const { return depth_; }
  // 0 for the pair and block codecs.
  UINT BytesPerPixel() const { return bytesPerPixel_; }
  std::size_t RowBytes() const { return rowBytes_; }
  // The colour key as float RGBA, quantised once prepared.
  const FloatRgba& Key() const { return key_; }
  // The caller's palette (or null) and the codec's float copy of it (palettized codecs only).
  const PALETTEENTRY* Palette() const { return palette_; }
  const FloatRgba* PaletteTable() const { return paletteTable_.get(); }
  // 0, or the range of the source codec whose rows this codec is given to write.
  ChannelRange Conversion() const { return conversion_; }
  // Rounding or dither offsets for row y of slice z: the pixel in column x uses
  // DitherRow(y, z)[x & 3].
  const float* DitherRow(UINT y, UINT z) const { return &(*dither_)[y & 3][z & 3]; }

  // A float RGBA row of `pixels` pixels, or null when memory runs out (never throws).
  static std::unique_ptr<FloatRgba[]> AllocateRow(std::size_t pixels);
  // Rows longer than `pixels` are refused as if memory had run out, so that tests reach the
  // failure paths; SIZE_MAX (the default) lifts the limit.
  static void LimitRowAllocationForTesting(std::size_t pixels);

 protected:
  // Common construction from the region, the format's storage bits per pixel (0 for the pair
  // and block codecs, which keeps the region in image coordinates) and its channel range.
  PixelCodec(const PixelRegion& region, UINT bitsPerPixel, ChannelRange range);

  // WriteRow's first two steps: range conversion from Conversion() and gamma encoding.
  // Returns `in` when neither applies, else the scratch row holding the converted pixels.
  const FloatRgba* ConvertRowForWriting(const FloatRgba* in);
  // ReadRow's last two steps for `Width()` pixels: the colour key, then gamma decoding.
  void FinishReadRow(FloatRgba* row) const;
  // Pixels equal to the key in all four channels become (0, 0, 0, 0).
  void ApplyColorKey(FloatRgba* row) const;
  void DecodeGammaRow(FloatRgba* row) const;

  bool Dithering() const { return dither_ == &kOrderedDither; }

  // Where row y of slice z starts for a rebased (plain) codec.
  BYTE* RowAddress(UINT y, UINT z) const {
    return base_ + static_cast<std::size_t>(y) * rowPitch_ + static_cast<std::size_t>(z) * slicePitch_;
  }

  D3DFORMAT format_;
  ChannelRange range_;
  CodecFlags flags_;
  BYTE* data_;
  BYTE* base_;
  FloatRgba key_{};
  const DitherTable* dither_;
  const PALETTEENTRY* palette_;
  std::unique_ptr<FloatRgba[]> paletteTable_;
  D3DBOX region_;
  ChannelRange conversion_ = ChannelRange{};
  // The row that conversions and gamma encoding write into: the owned scratch row, or a
  // one-pixel stand-in while the colour key is prepared.
  FloatRgba* scratchRow_ = nullptr;
  std::unique_ptr<FloatRgba[]> scratch_;
  UINT rowPitch_;
  UINT slicePitch_;
  UINT width_;
  UINT height_;
  UINT depth_;
  UINT bytesPerPixel_;
  std::size_t rowBytes_;

 private:
  void EncodeGammaRow(const FloatRgba* in, FloatRgba* out) const;

  friend std::unique_ptr<PixelCodec> CreatePixelCodec(const PixelRegion& region);
  friend HRESULT LinkCodecs(PixelCodec& destination, PixelCodec& source);
};

// A codec for the region's format: a plain codec, the pair codec (YUY2, UYVY, R8G8_B8G8,
// G8R8_G8B8) or the block codec (DXT1-DXT5). Null for a format without a codec, a region
// whose box is inverted, or when memory runs out.
std::unique_ptr<PixelCodec> CreatePixelCodec(const PixelRegion& region);

// Prepares `destination` to be given rows read by `source`: range conversion, the scratch row,
// and the paired gamma curve when both sides are gamma-encoded. S_OK or E_OUTOFMEMORY; called
// once before any row moves.
HRESULT LinkCodecs(PixelCodec& destination, PixelCodec& source);

}  // namespace rastro
