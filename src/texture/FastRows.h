// Same-size conversions between the common 8-bit-per-channel formats (X8R8G8B8, A8R8G8B8,
// A8B8G8R8, X8B8G8R8, R5G6B5, X1R5G5B5, A1R5G5B5, A4R4G4B4, X4R4G4B4, L8, A8L8, A8) and into
// the 16-bit float formats, done on the packed pixels. Each gives exactly the bytes that
// reading the row through the source codec and writing it through the destination codec give:
// every field of these formats depends on one source field of at most 8 bits, so a table of
// what the codecs compute for each of its values (at each dither offset) is the whole
// conversion. Luminance written from colour depends on three fields and stays with the codecs.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "PixelCodec.h"

namespace rastro {

class FastRowConverter {
 public:
  // A converter for the two linked codecs, or null when their formats, flags (colour key,
  // sRGB, range conversion, palettes) or sizes need the codecs' general path.
  static std::unique_ptr<FastRowConverter> Create(const PixelCodec& destination, const PixelCodec& source);
  ~FastRowConverter();

  // Converts `width` pixels of one row; `offsets` are the destination's dither offsets for the
  // row (PixelCodec::DitherRow). False when memory for a table ran out, the row then partly
  // written.
  bool ConvertRow(const BYTE* in, BYTE* out, UINT width, const float* offsets);

  struct Channel;  // one destination field, defined in FastRows.cpp

 private:
  FastRowConverter() = default;
  // The tables of the 17 possible offsets (16 dither values and 0.5), built when first used.
  const std::uint32_t* Table(std::size_t channel, unsigned offsetIndex);

  unsigned sourceBytes_ = 0, destinationBytes_ = 0;
  std::vector<Channel> channels_;
  bool halfFloat_ = false;  // fields are 16-bit floats, no offsets
  D3DFORMAT sourceFormat_ = D3DFMT_UNKNOWN, destinationFormat_ = D3DFMT_UNKNOWN;
};

}  // namespace rastro
