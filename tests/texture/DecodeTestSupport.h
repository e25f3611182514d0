// Image files built byte by byte for the decoder tests, and decoding them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "DecodeImage.h"

namespace rastro::testing {

// Appends little-endian values (and big-endian floats) to a byte vector.
class FileBuilder {
 public:
  FileBuilder& U8(unsigned value) {
    bytes_.push_back(static_cast<BYTE>(value));
    return *this;
  }
  FileBuilder& U16(unsigned value) { return U8(value & 0xFF).U8(value >> 8 & 0xFF); }
  FileBuilder& U32(std::uint32_t value) { return U16(value & 0xFFFF).U16(value >> 16); }
  FileBuilder& I32(std::int32_t value) { return U32(static_cast<std::uint32_t>(value)); }
  FileBuilder& Text(std::string_view text) {
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
  }
  FileBuilder& Bytes(std::initializer_list<int> values) {
    for (int v : values) U8(static_cast<unsigned>(v));
    return *this;
  }
  FileBuilder& Append(const std::vector<BYTE>& more) {
    bytes_.insert(bytes_.end(), more.begin(), more.end());
    return *this;
  }
  FileBuilder& Fill(std::size_t count, BYTE value) {
    bytes_.insert(bytes_.end(), count, value);
    return *this;
  }
  FileBuilder& Float(float value, bool bigEndian) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    if (bigEndian) bits = __builtin_bswap32(bits);
    return U32(bits);
  }
  void PatchU32(std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<BYTE>(value >> (8 * i));
  }
  std::size_t Size() const { return bytes_.size(); }
  const std::vector<BYTE>& Get() const { return bytes_; }

 private:
  std::vector<BYTE> bytes_;
};

struct Decoded {
  // The file, kept for as long as the image: decoders may point into its bytes.
  std::vector<BYTE> file;
  HRESULT hr = E_FAIL;
  ImageData image;
  D3DXIMAGE_INFO info{};

  const BYTE* Row(UINT y) const { return image.Data + static_cast<std::size_t>(y) * image.RowPitch; }
  std::vector<BYTE> RowBytes(UINT y, std::size_t count) const { return {Row(y), Row(y) + count}; }
  const float* FloatPixel(UINT x, UINT y) const { return reinterpret_cast<const float*>(Row(y)) + 4 * x; }
  DWORD Dword(UINT x, UINT y) const {
    DWORD value;
    std::memcpy(&value, Row(y) + 4 * x, 4);
    return value;
  }
};

// The image may point into `bytes`: keep them alive while its pixels are read.
inline std::unique_ptr<Decoded> Decode(const std::vector<BYTE>& bytes, bool pixels = true) {
  auto decoded = std::make_unique<Decoded>();
  decoded->file = bytes;
  decoded->hr = DecodeImage(&decoded->image, decoded->file.data(), static_cast<UINT>(decoded->file.size()),
                            &decoded->info, pixels ? TRUE : FALSE);
  return decoded;
}

inline bool SamePalette(const PALETTEENTRY& a, const PALETTEENTRY& b) {
  return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue && a.peFlags == b.peFlags;
}

}  // namespace rastro::testing
