// Windows bitmaps: BMP files and the DIB inside them (core and info headers, palettes, bit
// fields, RLE8 and RLE4).
#include <bit>
#include <cstring>

#include "ImageDecoder.h"
#include "decoders/ByteCursor.h"

namespace rastro {

namespace {

enum Compression : DWORD { kUncompressed = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

struct BitFieldFormat {
  WORD bitCount;
  DWORD red, green, blue, alpha;
  D3DFORMAT format;
};

// The bit-field layouts the loader has a format for; the first exact match wins.
constexpr BitFieldFormat kBitFieldFormats[] = {
    {16, 0xE0, 0x1C, 0x3, 0xFF00, D3DFMT_A8R3G3B2},
    {16, 0xF00, 0xF0, 0xF, 0xF000, D3DFMT_A4R4G4B4},
    {16, 0xF00, 0xF0, 0xF, 0, D3DFMT_X4R4G4B4},
    {16, 0xF800, 0x7E0, 0x1F, 0, D3DFMT_R5G6B5},
    {16, 0x7C00, 0x3E0, 0x1F, 0, D3DFMT_X1R5G5B5},
    {16, 0x7C00, 0x3E0, 0x1F, 0x8000, D3DFMT_A1R5G5B5},
    {16, 0xFF, 0xFF, 0xFF, 0xFF00, D3DFMT_A8L8},
    {16, 0xFFFF, 0xFFFF, 0xFFFF, 0, D3DFMT_L16},
    {24, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_R8G8B8},
    {32, 0xFFFF, 0xFFFF0000, 0, 0, D3DFMT_G16R16},
    {32, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_X8R8G8B8},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, D3DFMT_A8R8G8B8},
    {32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, D3DFMT_A2R10G10B10},
    // Blue, green, red in the upper three bytes: X8R8G8B8 read from one byte later.
    {32, 0xFF000000, 0xFF0000, 0xFF00, 0, D3DFMT_X8R8G8B8},
    {32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, D3DFMT_A8B8G8R8},
    {32, 0xFF, 0xFF00, 0xFF0000, 0, D3DFMT_X8B8G8R8},
    {32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, D3DFMT_A2B10G10R10},
};
constexpr std::size_t kShiftedBitFields = 13;

struct Dib {
  DWORD headerSize = 0;
  std::uint64_t width = 0, height = 0;
  bool topDown = false;
  WORD bitCount = 0;
  DWORD compression = kUncompressed;
  std::uint64_t colorCount = 0;
  DWORD entrySize = 4;
  DWORD masks[4]{};  // red, green, blue, alpha
  bool generic = false;
  bool shifted = false;
  std::uint64_t bitsOffset = 0;  // from the start of the DIB
  std::uint64_t storedRowLength = 0, storedStride = 0;
};

bool Uncompressed(const Dib& dib) { return dib.compression == kUncompressed || dib.compression == kBitFields; }

HRESULT ReadHeader(FileBytes bytes, Dib& dib, D3DFORMAT& format) {
  if (bytes.size() < 4) return Malformed("%zu bytes are too few for a header", bytes.size());
  const BYTE* h = bytes.data();
  dib.headerSize = ByteCursor::LoadDword(h);
  if (bytes.size() < dib.headerSize) {
    return Malformed("a header of %u bytes is longer than the %zu bytes there are", dib.headerSize, bytes.size());
  }
  WORD planes = 0;
  DWORD colorsUsed = 0;
  std::int64_t width = 0, height = 0;
  if (dib.headerSize == 12) {
    width = ByteCursor::LoadWord(h + 4);
    height = ByteCursor::LoadWord(h + 6);
    planes = ByteCursor::LoadWord(h + 8);
    dib.bitCount = ByteCursor::LoadWord(h + 10);
    dib.entrySize = 3;
  } else {
    if (dib.headerSize < 40) return Malformed("a header of %u bytes is neither 12 nor at least 40", dib.headerSize);
    width = static_cast<LONG>(ByteCursor::LoadDword(h + 4));
    height = static_cast<LONG>(ByteCursor::LoadDword(h + 8));
    planes = ByteCursor::LoadWord(h + 12);
    dib.bitCount = ByteCursor::LoadWord(h + 14);
    dib.compression = ByteCursor::LoadDword(h + 16);
    colorsUsed = ByteCursor::LoadDword(h + 32);
  }
  dib.colorCount = colorsUsed ? colorsUsed : dib.bitCount <= 8 ? std::uint64_t{1} << dib.bitCount : 0;
  dib.bitsOffset = dib.headerSize + dib.colorCount * dib.entrySize;
  if (bytes.size() < dib.bitsOffset) {
    return Malformed("the colour table of %llu entries ends past the %zu bytes there are",
                     static_cast<unsigned long long>(dib.colorCount), bytes.size());
  }
  if (planes != 1) return Malformed("%u planes; only 1 is defined", planes);
  // An image without pixels, or with a negative width, cannot be loaded.
  if (width <= 0 || height == 0) {
    return Malformed("a size of %lld x %lld pixels", static_cast<long long>(width), static_cast<long long>(height));
  }
  dib.width = static_cast<std::uint64_t>(width);
  dib.topDown = height < 0;
  dib.height = static_cast<std::uint64_t>(height < 0 ? -height : height);

  if (dib.compression <= kRle4) {
    switch (dib.bitCount) {
      case 1:
      case 4:
      case 8: format = D3DFMT_P8; break;
      case 16: format = D3DFMT_X1R5G5B5; break;
      case 24: format = D3DFMT_R8G8B8; break;
      case 32: format = D3DFMT_X8R8G8B8; break;
      default: return Malformed("%u bits a pixel", dib.bitCount);
    }
  } else if (dib.compression == kBitFields) {
    if (dib.headerSize < 52) return Malformed("bit fields need a header of 52 bytes, not %u", dib.headerSize);
    for (int i = 0; i < 3; ++i) dib.masks[i] = ByteCursor::LoadDword(h + 40 + 4 * i);
    dib.masks[3] = dib.headerSize >= 56 ? ByteCursor::LoadDword(h + 52) : 0;
    if (dib.bitCount != 16 && dib.bitCount != 24 && dib.bitCount != 32) {
      return Malformed("bit fields of %u bits a pixel", dib.bitCount);
    }
    format = D3DFMT_A32B32G32R32F;
    dib.generic = true;
    for (std::size_t i = 0; i < std::size(kBitFieldFormats); ++i) {
      const BitFieldFormat& row = kBitFieldFormats[i];
      if (row.bitCount == dib.bitCount && row.red == dib.masks[0] && row.green == dib.masks[1] &&
          row.blue == dib.masks[2] && row.alpha == dib.masks[3]) {
        format = row.format;
        dib.generic = false;
        dib.shifted = i == kShiftedBitFields;
        break;
      }
    }
  } else {
    return Malformed("compression %u", dib.compression);
  }

  dib.storedRowLength = dib.bitCount == 1   ? (dib.width + 7) / 8
                        : dib.bitCount == 4 ? (dib.width + 1) / 2
                                            : dib.width * dib.bitCount / 8;
  dib.storedStride = (dib.storedRowLength + 3) & ~std::uint64_t{3};
  if (Uncompressed(dib) && bytes.size() < dib.storedRowLength + (dib.height - 1) * dib.storedStride + dib.bitsOffset) {
    return Malformed("%llu rows of %llu bytes need more than the %zu bytes there are",
                     static_cast<unsigned long long>(dib.height), static_cast<unsigned long long>(dib.storedStride),
                     bytes.size());
  }
  return S_OK;
}

void FillPalette(FileBytes bytes, const Dib& dib, PALETTEENTRY* palette) {
  const BYTE* table = bytes.data() + dib.headerSize;
  const std::uint64_t count = dib.colorCount < 256 ? dib.colorCount : 256;
  for (std::uint64_t i = 0; i < 256; ++i) {
    if (i < count) {
      const BYTE* entry = table + i * dib.entrySize;
      palette[i] = {entry[2], entry[1], entry[0], 255};
    } else {
      palette[i] = {255, 255, 255, 255};
    }
  }
}

bool AnyFourthByteSet(const BYTE* bits, const Dib& dib) {
  for (std::uint64_t y = 0; y < dib.height; ++y) {
    const BYTE* row = bits + y * dib.storedStride;
    for (std::uint64_t x = 0; x < dib.width; ++x) {
      if (row[x * 4 + 3]) return true;
    }
  }
  return false;
}

// Where file row `fileRow` goes in the image, whose row 0 is the top row.
BYTE* OutputRow(BYTE* pixels, const Dib& dib, UINT pitch, std::uint64_t fileRow) {
  std::uint64_t row = dib.topDown ? fileRow : dib.height - 1 - fileRow;
  return pixels + row * pitch;
}

struct GenericChannel {
  DWORD mask;
  int shift;
  float scale;
};

GenericChannel MakeChannel(DWORD mask) {
  if (!mask) return {0, 0, 0};
  int shift = std::countr_zero(mask);
  return {mask, shift, 1.0f / static_cast<float>(mask >> shift)};
}

float ReadChannel(const GenericChannel& channel, DWORD pixel) {
  if (!channel.mask) return 1.0f;
  return static_cast<float>((pixel & channel.mask) >> channel.shift) * channel.scale;
}

void DecodeGenericRow(const BYTE* in, const Dib& dib, float* out) {
  const GenericChannel red = MakeChannel(dib.masks[0]), green = MakeChannel(dib.masks[1]),
                       blue = MakeChannel(dib.masks[2]), alpha = MakeChannel(dib.masks[3]);
  const bool noColour = !dib.masks[0] && !dib.masks[1] && !dib.masks[2];
  const UINT bytesPerPixel = dib.bitCount / 8;
  for (std::uint64_t x = 0; x < dib.width; ++x, in += bytesPerPixel, out += 4) {
    DWORD pixel = 0;
    for (UINT b = 0; b < bytesPerPixel; ++b) pixel |= static_cast<DWORD>(in[b]) << (8 * b);
    out[0] = noColour ? 0.0f : ReadChannel(red, pixel);
    out[1] = noColour ? 0.0f : ReadChannel(green, pixel);
    out[2] = noColour ? 0.0f : ReadChannel(blue, pixel);
    out[3] = ReadChannel(alpha, pixel);
  }
}

void DecodeUncompressed(FileBytes bytes, const Dib& dib, BYTE* pixels, UINT pitch) {
  const BYTE* bits = bytes.data() + dib.bitsOffset;
  for (std::uint64_t y = 0; y < dib.height; ++y) {
    const BYTE* in = bits + y * dib.storedStride;
    BYTE* out = OutputRow(pixels, dib, pitch, y);
    if (dib.bitCount == 1) {
      for (std::uint64_t x = 0; x < dib.width; ++x) out[x] = (in[x / 8] >> (7 - x % 8)) & 1;
    } else if (dib.bitCount == 4) {
      for (std::uint64_t x = 0; x < dib.width; ++x) out[x] = x % 2 ? in[x / 2] & 0xF : in[x / 2] >> 4;
    } else if (dib.generic) {
      DecodeGenericRow(in, dib, reinterpret_cast<float*>(out));
    } else if (dib.shifted) {
      // The last pixel's fourth byte lies beyond the stored bits of the last row; it is an X
      // byte, left 0 when the file ends there.
      std::uint64_t available = bytes.size() - (in + 1 - bytes.data());
      std::memcpy(out, in + 1, dib.storedRowLength <= available ? dib.storedRowLength : available);
    } else {
      std::memcpy(out, in, dib.storedRowLength);
    }
  }
}

// Run-length decoding. The output position advances through the rows in file order; runs
// that reach the end of a row continue on the next one. Nothing is written outside the image.
class RleWriter {
 public:
  RleWriter(const Dib& dib, BYTE* pixels, UINT pitch) : dib_(dib), pixels_(pixels), pitch_(pitch) {}

  bool Finished() const { return row_ >= dib_.height; }
  bool Put(BYTE index) {
    while (column_ >= pitch_) {
      column_ -= pitch_;
      ++row_;
    }
    if (row_ >= dib_.height) return Refuse("a run reaches past the end of the image");
    OutputRow(pixels_, dib_, pitch_, row_)[column_++] = index;
    return true;
  }
  void EndLine() {
    column_ = 0;
    ++row_;
  }
  void Move(BYTE right, BYTE down) {
    column_ += right;
    row_ += down;
  }

 private:
  const Dib& dib_;
  BYTE* pixels_;
  UINT pitch_;
  std::uint64_t column_ = 0, row_ = 0;
};

bool DecodeRle(FileBytes bytes, const Dib& dib, BYTE* pixels, UINT pitch) {
  const bool nibbles = dib.compression == kRle4;
  ByteCursor in(bytes.data(), bytes.size());
  in.Seek(static_cast<std::size_t>(dib.bitsOffset));
  RleWriter out(dib, pixels, pitch);
  while (!out.Finished()) {
    BYTE count = 0, value = 0;
    if (!in.Byte(count) || !in.Byte(value)) return Refuse("the run-length data ends before the image does");
    if (count) {
      for (UINT i = 0; i < count; ++i) {
        BYTE index = !nibbles ? value : i % 2 ? value & 0xF : value >> 4;
        if (!out.Put(index)) return false;
      }
      continue;
    }
    switch (value) {
      case 0: out.EndLine(); break;
      case 1: return true;
      case 2: {
        BYTE right = 0, down = 0;
        if (!in.Byte(right) || !in.Byte(down)) return Refuse("the run-length data ends inside a move");
        out.Move(right, down);
        break;
      }
      default: {
        const UINT dataBytes = nibbles ? (value + 1u) / 2 : value;
        const BYTE* literal = in.Take((dataBytes + 1u) & ~1u);  // padded to a word
        if (!literal) return Refuse("the run-length data ends inside a literal run");
        for (UINT i = 0; i < value; ++i) {
          BYTE index = !nibbles ? literal[i] : i % 2 ? literal[i / 2] & 0xF : literal[i / 2] >> 4;
          if (!out.Put(index)) return false;
        }
      }
    }
  }
  return true;
}

}  // namespace

bool SniffDib(FileBytes bytes) { return bytes.size() >= 4; }

HRESULT DecodeDib(ImageData& image, FileBytes bytes) {
  Dib dib;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  if (HRESULT hr = ReadHeader(bytes, dib, format); FAILED(hr)) return hr;

  const std::uint64_t outputRowLength = dib.bitCount <= 4 ? dib.width
                                        : dib.generic     ? dib.width * 16
                                                          : dib.storedRowLength;
  const std::uint64_t pitch = (outputRowLength + 3) & ~std::uint64_t{3};
  if (!PitchFits(pitch, dib.height)) return E_FAIL;
  const BYTE* bits = bytes.data() + dib.bitsOffset;
  if (dib.compression == kUncompressed && format == D3DFMT_X8R8G8B8 && AnyFourthByteSet(bits, dib)) {
    format = D3DFMT_A8R8G8B8;
  }

  image.Format = format;
  image.Width = static_cast<UINT>(dib.width);
  image.Height = static_cast<UINT>(dib.height);
  image.Depth = 1;
  image.RowPitch = static_cast<UINT>(pitch);
  if (!image.LoadPixels) return S_OK;
  const std::size_t imageBytes = ImageBytesWithinCap(dib.width, dib.height, pitch);
  if (imageBytes == 0) return E_FAIL;

  if (format == D3DFMT_P8) {
    PALETTEENTRY* palette = image.AllocatePalette();
    if (!palette) return E_OUTOFMEMORY;
    FillPalette(bytes, dib, palette);
  }
  if (dib.topDown && Uncompressed(dib) && dib.bitCount >= 8 && !dib.generic && !dib.shifted) {
    image.PointData(bits);
    return S_OK;
  }
  BYTE* pixels = image.AllocateData(imageBytes);
  if (!pixels) return E_OUTOFMEMORY;
  if (Uncompressed(dib)) {
    DecodeUncompressed(bytes, dib, pixels, image.RowPitch);
    return S_OK;
  }
  return DecodeRle(bytes, dib, pixels, image.RowPitch) ? S_OK : E_FAIL;
}

bool SniffBmp(FileBytes bytes) { return bytes.size() >= 14 && bytes[0] == 'B' && bytes[1] == 'M'; }

HRESULT DecodeBmp(ImageData& image, FileBytes bytes) {
  if (!SniffBmp(bytes)) return Malformed("no \"BM\" signature");
  if (const DWORD fileSize = ByteCursor::LoadDword(bytes.data() + 2); bytes.size() < fileSize) {
    return Malformed("the header gives a file size of %u bytes, more than the %zu there are", fileSize, bytes.size());
  }
  return DecodeDib(image, bytes.subspan(14));
}

}  // namespace rastro
