// Targa files: colour-mapped, true-colour and grey images, raw or run-length encoded, in any
// of the four orientations.
#include <cstring>

#include "ImageDecoder.h"
#include "decoders/ByteCursor.h"

namespace rastro {

namespace {

constexpr std::size_t kHeaderBytes = 18;

struct TgaHeader {
  BYTE idLength, colorMapType, imageType;
  WORD colorMapFirst, colorMapLength;
  BYTE colorMapEntrySize;
  WORD width, height;
  BYTE depth, descriptor;
};

TgaHeader ReadHeader(const BYTE* b) {
  return {b[0],
          b[1],
          b[2],
          ByteCursor::LoadWord(b + 3),
          ByteCursor::LoadWord(b + 5),
          b[7],
          ByteCursor::LoadWord(b + 12),
          ByteCursor::LoadWord(b + 14),
          b[16],
          b[17]};
}

PALETTEENTRY ColorMapEntry(const BYTE* entry, BYTE entrySize) {
  auto expand = [](unsigned v) { return static_cast<BYTE>(v * 8 + v / 4); };
  switch (entrySize) {
    case 15:
    case 16: {
      WORD v = ByteCursor::LoadWord(entry);
      BYTE alpha = entrySize == 15 ? 255 : (v & 0x8000) ? 255 : 0;
      return {expand(v >> 10 & 31), expand(v >> 5 & 31), expand(v & 31), alpha};
    }
    case 24: return {entry[2], entry[1], entry[0], 255};
    default: return {entry[2], entry[1], entry[0], entry[3]};
  }
}

// Copies pixels in stored order to their place in the image, whose row 0 is the top row and
// column 0 the left column.
class PixelPlacer {
 public:
  PixelPlacer(const TgaHeader& header, BYTE* pixels, UINT pitch, UINT pixelBytes)
      : width_(header.width),
        total_(std::uint64_t{header.width} * header.height),
        height_(header.height),
        bottomUp_(!(header.descriptor & 0x20)),
        rightToLeft_((header.descriptor & 0x10) != 0),
        pixels_(pixels),
        pitch_(pitch),
        pixelBytes_(pixelBytes) {}

  bool Full() const { return placed_ == total_; }
  void Put(const BYTE* pixel) {
    std::uint64_t row = placed_ / width_, column = placed_ % width_;
    if (bottomUp_) row = height_ - 1 - row;
    if (rightToLeft_) column = width_ - 1 - column;
    std::memcpy(pixels_ + row * pitch_ + column * pixelBytes_, pixel, pixelBytes_);
    ++placed_;
  }

 private:
  std::uint64_t width_, total_, height_;
  bool bottomUp_, rightToLeft_;
  BYTE* pixels_;
  UINT pitch_, pixelBytes_;
  std::uint64_t placed_ = 0;
};

// Packets may run on from one row to the next; the pixels of a packet beyond the end of the
// image are dropped.
bool DecodeRunLength(ByteCursor& in, PixelPlacer& out, UINT pixelBytes) {
  while (!out.Full()) {
    BYTE packet = 0;
    if (!in.Byte(packet)) return Refuse("the run-length data ends before the image does");
    const UINT count = (packet & 0x7F) + 1u;
    if (packet & 0x80) {
      const BYTE* pixel = in.Take(pixelBytes);
      if (!pixel) return Refuse("the run-length data ends inside a run");
      for (UINT i = 0; i < count && !out.Full(); ++i) out.Put(pixel);
    } else {
      const BYTE* pixels = in.Take(std::uint64_t{count} * pixelBytes);
      if (!pixels) return Refuse("the run-length data ends inside a literal run");
      for (UINT i = 0; i < count && !out.Full(); ++i) out.Put(pixels + i * pixelBytes);
    }
  }
  return true;
}

// Whether every pixel has zero bits under `alphaMask` (the top byte of 32-bit pixels, the top
// bit of 16-bit ones).
bool AlphaAllZero(const BYTE* pixels, UINT width, UINT height, UINT pitch, UINT pixelBytes, BYTE alphaMask) {
  for (UINT y = 0; y < height; ++y) {
    const BYTE* row = pixels + std::size_t{y} * pitch;
    for (UINT x = 0; x < width; ++x) {
      if (row[x * pixelBytes + pixelBytes - 1] & alphaMask) return false;
    }
  }
  return true;
}

}  // namespace

bool SniffTga(FileBytes bytes) {
  if (bytes.size() < kHeaderBytes) return false;
  const TgaHeader header = ReadHeader(bytes.data());
  return header.colorMapType <= 1 && (header.imageType & 0xF4) == 0 && header.width && header.height;
}

HRESULT DecodeTga(ImageData& image, FileBytes bytes) {
  if (!SniffTga(bytes)) return Malformed("not a header of a TGA image");
  const TgaHeader header = ReadHeader(bytes.data());
  const bool colorMap = header.colorMapType == 1;
  if (colorMap && header.colorMapEntrySize != 15 && header.colorMapEntrySize != 16 && header.colorMapEntrySize != 24 &&
      header.colorMapEntrySize != 32) {
    return Malformed("colour-map entries of %u bits", header.colorMapEntrySize);
  }
  D3DFORMAT format = D3DFMT_UNKNOWN;
  switch (header.imageType & 3) {
    case 1:
      if (!colorMap) return Malformed("a colour-mapped image without a colour map");
      if (header.depth != 8) return Malformed("a colour-mapped image of %u bits a pixel", header.depth);
      format = D3DFMT_P8;
      break;
    case 2:
      switch (header.depth) {
        case 15: format = D3DFMT_X1R5G5B5; break;
        case 16: format = D3DFMT_A1R5G5B5; break;
        case 24: format = D3DFMT_R8G8B8; break;
        case 32: format = D3DFMT_A8R8G8B8; break;
        default: return Malformed("a true-colour image of %u bits a pixel", header.depth);
      }
      break;
    case 3:
      if (header.depth != 8) return Malformed("a grey image of %u bits a pixel", header.depth);
      format = D3DFMT_L8;
      break;
    default: return Malformed("image type %u", header.imageType);
  }
  const bool runLength = (header.imageType & 8) != 0;

  ByteCursor in(bytes.data(), bytes.size());
  in.Skip(kHeaderBytes);
  const UINT entryBytes = (header.colorMapEntrySize + 7u) / 8;
  const BYTE* colorMapEntries = nullptr;
  if (!in.Skip(header.idLength)) return Malformed("the file ends inside the image identifier");
  // The map's bytes are skipped whatever the map type says; only type 1 uses them.
  if (!(colorMapEntries = in.Take(std::uint64_t{header.colorMapLength} * entryBytes))) {
    return Malformed("the file ends inside the colour map");
  }

  const UINT pixelBytes = (header.depth + 7u) / 8;
  if (!PitchFits(std::uint64_t{header.width} * pixelBytes, header.height)) return E_FAIL;
  image.Format = format;
  image.Width = header.width;
  image.Height = header.height;
  image.Depth = 1;
  image.RowPitch = header.width * pixelBytes;
  if (!image.LoadPixels) return S_OK;
  const std::size_t imageBytes = ImageBytesWithinCap(header.width, header.height, image.RowPitch);
  if (imageBytes == 0) return E_FAIL;

  if (format == D3DFMT_P8) {
    if (header.colorMapFirst + header.colorMapLength > 256) {
      return Malformed("a colour map of %u entries from entry %u does not fit a palette of 256", header.colorMapLength,
                       header.colorMapFirst);
    }
    PALETTEENTRY* palette = image.AllocatePalette();
    if (!palette) return E_OUTOFMEMORY;
    for (int i = 0; i < 256; ++i) palette[i] = {255, 255, 255, 255};
    PALETTEENTRY* converted = palette + header.colorMapFirst;
    bool anyAlpha = false;
    for (UINT i = 0; i < header.colorMapLength; ++i) {
      converted[i] = ColorMapEntry(colorMapEntries + i * entryBytes, header.colorMapEntrySize);
      anyAlpha = anyAlpha || converted[i].peFlags != 0;
    }
    // A map whose alpha is zero throughout carries no alpha at all.
    if (!anyAlpha) {
      for (UINT i = 0; i < header.colorMapLength; ++i) converted[i].peFlags = 255;
    }
  }

  const bool inPlace = !runLength && (header.descriptor & 0x20) && !(header.descriptor & 0x10);
  if (inPlace) {
    const BYTE* pixels = in.Take(imageBytes);
    if (!pixels) return Malformed("the file ends before the image does");
    image.PointData(pixels);
  } else {
    // Checked before the allocation: a packet covers at most 128 pixels.
    const std::uint64_t pixelCount = std::uint64_t{header.width} * header.height;
    const BYTE* stored = runLength ? in.Here() : in.Take(imageBytes);
    if (!stored || (runLength && in.Remaining() < (pixelCount + 127) / 128 * (1 + pixelBytes))) {
      return Malformed("the file ends before the image does");
    }
    BYTE* pixels = image.AllocateData(imageBytes, false);
    if (!pixels) return E_OUTOFMEMORY;
    PixelPlacer out(header, pixels, image.RowPitch, pixelBytes);
    if (runLength) {
      if (!DecodeRunLength(in, out, pixelBytes)) return E_FAIL;
    } else {
      for (std::size_t i = 0; !out.Full(); ++i) out.Put(stored + i * pixelBytes);
    }
  }

  if (format == D3DFMT_A8R8G8B8 &&
      AlphaAllZero(image.Data, image.Width, image.Height, image.RowPitch, pixelBytes, 0xFF)) {
    image.Format = D3DFMT_X8R8G8B8;
  } else if (format == D3DFMT_A1R5G5B5 &&
             AlphaAllZero(image.Data, image.Width, image.Height, image.RowPitch, pixelBytes, 0x80)) {
    image.Format = D3DFMT_X1R5G5B5;
  }
  return S_OK;
}

}  // namespace rastro
