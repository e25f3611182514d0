#include "PixelCodec.h"

#include <cmath>
#include <new>

#include "BlockCodec.h"
#include "FloatRounding.h"
#include "PairCodec.h"
#include "PlainCodec.h"

namespace rastro {

namespace {

constexpr float Ordered(int k) { return (static_cast<float>(k) + 0.5f) / 16.0f; }

struct GammaTables {
  float encode[256];
  float decode[256];
  GammaTables() {
    for (int i = 0; i < 254; ++i) {
      double x = i / 254.0;
      encode[i] = static_cast<float>(std::pow(x, 2.0 / 2.2));
      decode[i] = static_cast<float>(std::pow(x, 1.1));
    }
    encode[254] = encode[255] = 1.0f;
    decode[254] = decode[255] = 1.0f;
  }
};

const GammaTables& Gamma() {
  static const GammaTables tables;
  return tables;
}

// Linear interpolation in a 256-entry table at t in [0, 254].
inline float Interpolate(const float* table, float t) {
  int i = static_cast<int>(t);
  return table[i] + (table[i + 1] - table[i]) * (t - static_cast<float>(i));
}

// Values outside [0, 1] (float formats only) are held to the ends of the curve.
inline float EncodeCurve(float x, const float* table) {
  float t = x > 0.0f ? std::sqrt(x) * 254.0f : 0.0f;
  if (!(t < 254.0f)) t = 254.0f;
  return Interpolate(table, t);
}

inline float DecodeCurve(float x, const float* table) {
  if (!(x > 0.0f)) x = 0.0f;
  if (x > 1.0f) x = 1.0f;
  return Interpolate(table, x * x * 254.0f);
}

inline float PairedEncode(float x) { return x > 0.0f ? std::sqrt(x) : 0.0f; }
inline float PairedDecode(float x) { return x * x; }

// Below the bound becomes the bound; not below the upper bound (NaN included) the upper bound.
inline float Clamp(float v, float low, float high) { return v < low ? low : (v < high ? v : high); }
inline float ToSigned(float v) { return v * 2.0f - 1.0f; }
inline float ToUnsigned(float v) { return (v + 1.0f) * 0.5f; }

// Whether gamma applies to the colour channels (unsigned and float data) or to alpha only
// (signed data, where only the luminance of L6V5U5, carried in alpha, is gamma-encoded).
inline bool GammaOnColor(ChannelRange range) { return range == RangeUnsigned || range == RangeFloat; }

}  // namespace

const DitherTable kRoundingOffsets = {
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
};

const DitherTable kOrderedDither = {
    {Ordered(15), Ordered(7), Ordered(13), Ordered(5), Ordered(15), Ordered(7), Ordered(13), Ordered(5)},
    {Ordered(3), Ordered(11), Ordered(1), Ordered(9), Ordered(3), Ordered(11), Ordered(1), Ordered(9)},
    {Ordered(12), Ordered(4), Ordered(14), Ordered(6), Ordered(12), Ordered(4), Ordered(14), Ordered(6)},
    {Ordered(0), Ordered(8), Ordered(2), Ordered(10), Ordered(0), Ordered(8), Ordered(2), Ordered(10)},
};

const float* GammaEncodeTable() { return Gamma().encode; }
const float* GammaDecodeTable() { return Gamma().decode; }

void ConvertChannelRange(const FloatRgba* in, FloatRgba* out, std::size_t count, ChannelRange from, ChannelRange to) {
  for (std::size_t i = 0; i < count; ++i) {
    FloatRgba p = in[i];
    switch (to) {
      case RangeUnsigned:
        if (from == RangeSignedRgb) {
          p = {ToUnsigned(p.R), ToUnsigned(p.G), ToUnsigned(p.B), p.A};
        } else if (from == RangeSigned) {
          p = {ToUnsigned(p.R), ToUnsigned(p.G), ToUnsigned(p.B), ToUnsigned(p.A)};
        } else if (from == RangeFloat) {
          p = {Clamp(p.R, 0, 1), Clamp(p.G, 0, 1), Clamp(p.B, 0, 1), Clamp(p.A, 0, 1)};
        }
        break;
      case RangeSignedRgb:
        if (from == RangeUnsigned) {
          p = {ToSigned(p.R), ToSigned(p.G), ToSigned(p.B), p.A};
        } else if (from == RangeSigned) {
          p.A = ToUnsigned(p.A);
        } else if (from == RangeFloat) {
          p = {Clamp(p.R, -1, 1), Clamp(p.G, -1, 1), Clamp(p.B, -1, 1), Clamp(p.A, 0, 1)};
        }
        break;
      case RangeSigned:
        if (from == RangeUnsigned) {
          p = {ToSigned(p.R), ToSigned(p.G), ToSigned(p.B), ToSigned(p.A)};
        } else if (from == RangeSignedRgb) {
          p.A = ToSigned(p.A);
        } else if (from == RangeFloat) {
          p = {Clamp(p.R, -1, 1), Clamp(p.G, -1, 1), Clamp(p.B, -1, 1), Clamp(p.A, -1, 1)};
        }
        break;
      case RangeFloat: break;
    }
    out[i] = p;
  }
}

PixelCodec::PixelCodec(const PixelRegion& region, UINT bitsPerPixel, ChannelRange range)
    : format_(region.Format),
      range_(range),
      data_(static_cast<BYTE*>(region.Data)),
      base_(static_cast<BYTE*>(region.Data)),
      dither_(region.Dither ? &kOrderedDither : &kRoundingOffsets),
      palette_(region.Palette),
      region_(region.Region),
      rowPitch_(region.RowPitch),
      slicePitch_(region.SlicePitch),
      width_(region.Region.Right - region.Region.Left),
      height_(region.Region.Bottom - region.Region.Top),
      depth_(region.Region.Back - region.Region.Front),
      bytesPerPixel_(bitsPerPixel / 8),
      rowBytes_(static_cast<std::size_t>(width_) * (bitsPerPixel / 8)) {
  flags_.RegionRebased = bitsPerPixel != 0;
  flags_.Srgb = region.Srgb != FALSE;
  flags_.Palettized = format_ == D3DFMT_A8P8 || format_ == D3DFMT_P8;
  flags_.ColorKeyed = region.ColorKey != 0;
  if (flags_.ColorKeyed) {
    D3DCOLOR key = region.ColorKey;
    key_ = {static_cast<float>((key >> 16) & 0xFF) / 255.0f, static_cast<float>((key >> 8) & 0xFF) / 255.0f,
            static_cast<float>(key & 0xFF) / 255.0f, static_cast<float>(key >> 24) / 255.0f};
  }
  if (range_ == RangeSigned || (range_ == RangeSignedRgb && format_ != D3DFMT_L6V5U5)) flags_.Srgb = false;
  if (flags_.RegionRebased) {
    base_ += static_cast<std::size_t>(region_.Top) * rowPitch_ + static_cast<std::size_t>(region_.Front) * slicePitch_ +
             static_cast<std::size_t>(region_.Left) * bytesPerPixel_;
    region_ = {0, 0, width_, height_, 0, depth_};
  }
}

PixelCodec::~PixelCodec() = default;

namespace {
std::size_t rowAllocationLimit = SIZE_MAX;
}  // namespace

void PixelCodec::LimitRowAllocationForTesting(std::size_t pixels) { rowAllocationLimit = pixels; }

std::unique_ptr<FloatRgba[]> PixelCodec::AllocateRow(std::size_t pixels) {
  if (pixels > rowAllocationLimit) return nullptr;
  return std::unique_ptr<FloatRgba[]>(new (std::nothrow) FloatRgba[pixels == 0 ? 1 : pixels]);
}

void PixelCodec::EncodeGammaRow(const FloatRgba* in, FloatRgba* out) const {
  RoundTowardZeroScope rounding;
  const bool color = GammaOnColor(range_);
  if (flags_.PairedSrgb) {
    for (UINT i = 0; i < width_; ++i) {
      FloatRgba p = in[i];
      if (color) {
        p.R = PairedEncode(p.R);
        p.G = PairedEncode(p.G);
        p.B = PairedEncode(p.B);
      } else {
        p.A = PairedEncode(p.A);
      }
      out[i] = p;
    }
    return;
  }
  const float* table = GammaEncodeTable();
  for (UINT i = 0; i < width_; ++i) {
    FloatRgba p = in[i];
    if (color) {
      p.R = EncodeCurve(p.R, table);
      p.G = EncodeCurve(p.G, table);
      p.B = EncodeCurve(p.B, table);
    } else {
      p.A = EncodeCurve(p.A, table);
    }
    out[i] = p;
  }
}

void PixelCodec::DecodeGammaRow(FloatRgba* row) const {
  RoundTowardZeroScope rounding;
  const bool color = GammaOnColor(range_);
  if (flags_.PairedSrgb) {
    for (UINT i = 0; i < width_; ++i) {
      if (color) {
        row[i].R = PairedDecode(row[i].R);
        row[i].G = PairedDecode(row[i].G);
        row[i].B = PairedDecode(row[i].B);
      } else {
        row[i].A = PairedDecode(row[i].A);
      }
    }
    return;
  }
  const float* table = GammaDecodeTable();
  for (UINT i = 0; i < width_; ++i) {
    if (color) {
      row[i].R = DecodeCurve(row[i].R, table);
      row[i].G = DecodeCurve(row[i].G, table);
      row[i].B = DecodeCurve(row[i].B, table);
    } else {
      row[i].A = DecodeCurve(row[i].A, table);
    }
  }
}

void PixelCodec::ApplyColorKey(FloatRgba* row) const {
  const FloatRgba k = key_;
  for (UINT i = 0; i < width_; ++i) {
    const FloatRgba& p = row[i];
    if (p.R == k.R && p.G == k.G && p.B == k.B && p.A == k.A) row[i] = {0.0f, 0.0f, 0.0f, 0.0f};
  }
}

void PixelCodec::FinishReadRow(FloatRgba* row) const {
  if (flags_.ColorKeyed) ApplyColorKey(row);
  if (flags_.Srgb) DecodeGammaRow(row);
}

const FloatRgba* PixelCodec::ConvertRowForWriting(const FloatRgba* in) {
  const bool convert = conversion_ != ChannelRange{};
  if (!convert && !flags_.Srgb) return in;
  if (!scratchRow_) {
    // Not linked (or linked before Srgb was set): get the row now rather than write unconverted.
    scratch_ = AllocateRow(width_);
    scratchRow_ = scratch_.get();
    if (!scratchRow_) return nullptr;
  }
  const FloatRgba* row = in;
  if (convert) {
    ConvertChannelRange(row, scratchRow_, width_, conversion_, range_);
    row = scratchRow_;
  }
  if (flags_.Srgb) {
    EncodeGammaRow(row, scratchRow_);
    row = scratchRow_;
  }
  return row;
}

void PixelCodec::PrepareColorKey() {
  FloatRgba wanted = key_;
  if (range_ != RangeUnsigned && range_ != RangeFloat) ConvertChannelRange(&wanted, &wanted, 1, RangeUnsigned, range_);

  // Become a one-pixel image of our own for the round trip. The key names a colour as stored,
  // and reading compares stored values before gamma decoding, so the round trip skips gamma.
  alignas(16) BYTE pixel[16] = {};
  FloatRgba oneScratch{};
  BYTE* savedBase = base_;
  const D3DBOX savedRegion = region_;
  const UINT savedRowPitch = rowPitch_, savedSlicePitch = slicePitch_;
  const UINT savedWidth = width_, savedHeight = height_, savedDepth = depth_;
  const std::size_t savedRowBytes = rowBytes_;
  const DitherTable* savedDither = dither_;
  const CodecFlags savedFlags = flags_;
  const ChannelRange savedConversion = conversion_;
  FloatRgba* savedScratch = scratchRow_;

  base_ = pixel;
  region_ = {0, 0, 1, 1, 0, 1};
  rowPitch_ = slicePitch_ = sizeof pixel;
  width_ = height_ = depth_ = 1;
  rowBytes_ = bytesPerPixel_;
  dither_ = &kRoundingOffsets;
  flags_.ColorKeyed = false;
  flags_.Srgb = false;
  conversion_ = ChannelRange{};
  scratchRow_ = &oneScratch;

  FloatRgba stored{};
  WriteRow(0, 0, &wanted);
  ReadRow(0, 0, &stored);

  base_ = savedBase;
  region_ = savedRegion;
  rowPitch_ = savedRowPitch;
  slicePitch_ = savedSlicePitch;
  width_ = savedWidth;
  height_ = savedHeight;
  depth_ = savedDepth;
  rowBytes_ = savedRowBytes;
  dither_ = savedDither;
  flags_ = savedFlags;
  conversion_ = savedConversion;
  scratchRow_ = savedScratch;
  key_ = stored;
}

HRESULT LinkCodecs(PixelCodec& destination, PixelCodec& source) {
  if (destination.range_ != source.range_ && destination.range_ != RangeFloat) destination.conversion_ = source.range_;
  if ((destination.conversion_ != ChannelRange{} || destination.flags_.Srgb) && !destination.scratch_) {
    destination.scratch_ = PixelCodec::AllocateRow(destination.width_);
    if (!destination.scratch_) return E_OUTOFMEMORY;
  }
  destination.scratchRow_ = destination.scratch_.get();
  if (destination.flags_.Srgb && source.flags_.Srgb) {
    destination.flags_.PairedSrgb = true;
    source.flags_.PairedSrgb = true;
  }
  return S_OK;
}

std::unique_ptr<PixelCodec> CreatePixelCodec(const PixelRegion& region) {
  const D3DBOX& box = region.Region;
  if (box.Right < box.Left || box.Bottom < box.Top || box.Back < box.Front) return nullptr;

  std::unique_ptr<PixelCodec> codec;
  switch (region.Format) {
    case D3DFMT_DXT1:
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: codec = BlockCodec::Create(region); break;
    case D3DFMT_YUY2:
    case D3DFMT_UYVY:
    case D3DFMT_R8G8_B8G8:
    case D3DFMT_G8R8_G8B8: codec.reset(new (std::nothrow) PairCodec(region)); break;
    default: codec = CreatePlainCodec(region); break;
  }
  if (!codec) return nullptr;

  if (codec->flags_.Palettized) {
    codec->paletteTable_ = PixelCodec::AllocateRow(256);
    if (!codec->paletteTable_) return nullptr;
    for (int i = 0; i < 256; ++i) {
      if (region.Palette) {
        const PALETTEENTRY& e = region.Palette[i];
        codec->paletteTable_[i] = {e.peRed / 255.0f, e.peGreen / 255.0f, e.peBlue / 255.0f, e.peFlags / 255.0f};
      } else {
        codec->paletteTable_[i] = {1.0f, 1.0f, 1.0f, 1.0f};
      }
    }
  }
  if (codec->flags_.ColorKeyed) codec->PrepareColorKey();
  return codec;
}

}  // namespace rastro
