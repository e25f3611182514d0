// The DXT block codec over arbitrary block bytes, region boxes and float pixels (NaN and
// infinities included). The surface is allocated to exactly the blocks the region covers, so
// any access outside them is caught by the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "DxtBlock.h"
#include "PixelCodec.h"
#include "ProcessorFeatures.h"

namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
  float Float() {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rastro;
  Input in(data, size);
  static const D3DFORMAT kFormats[] = {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5};
  const D3DFORMAT format = kFormats[in.Byte() % 5];
  const UINT blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
  // Image up to 24 x 24 x 2; the region any box inside it.
  const UINT width = 1 + in.Byte() % 24, height = 1 + in.Byte() % 24, depth = 1 + in.Byte() % 2;
  D3DBOX box;
  box.Left = in.Byte() % width;
  box.Right = box.Left + in.Byte() % (width - box.Left + 1);
  box.Top = in.Byte() % height;
  box.Bottom = box.Top + in.Byte() % (height - box.Top + 1);
  box.Front = in.Byte() % depth;
  box.Back = box.Front + in.Byte() % (depth - box.Front + 1);
  const std::uint8_t flags = in.Byte();

  const UINT blocksAcross = (width + 3) / 4, blockRows = (height + 3) / 4;
  const UINT rowPitch = blocksAcross * blockBytes, slicePitch = rowPitch * blockRows;
  std::vector<std::uint8_t> surface(static_cast<std::size_t>(slicePitch) * depth);
  for (auto& b : surface) b = in.Byte();

  PixelRegion region;
  region.Data = surface.data();
  region.Format = format;
  region.RowPitch = rowPitch;
  region.SlicePitch = slicePitch;
  region.Extent = {0, 0, width, height, 0, depth};
  region.Region = box;
  region.Srgb = flags & 1;
  region.ColorKey = flags & 2 ? 0xFF000000u | in.Byte() << 16 | in.Byte() << 8 | in.Byte() : 0;

  const UINT regionWidth = box.Right - box.Left;
  std::vector<FloatRgba> row(regionWidth + 1);
  if (auto reader = CreatePixelCodec(region)) {
    for (UINT z = 0; z < box.Back - box.Front; ++z)
      for (UINT y = 0; y < box.Bottom - box.Top; ++y) reader->ReadRow((y * 7) % (box.Bottom - box.Top), z, row.data());
  }

  // The writes once with the scalar encoder and once with the vector encoders: the same bytes.
  region.ColorKey = 0;
  const std::vector<std::uint8_t> original = surface;
  std::vector<std::uint8_t> written[2];
  const Input rows = in;
  for (int pass = 0; pass < 2; ++pass) {
    OverrideVectorLevel(pass == 0 ? VectorLevel::Portable : DetectVectorLevel());
    surface = original;
    in = rows;
    if (auto writer = CreatePixelCodec(region)) {
      for (UINT z = 0; z < box.Back - box.Front; ++z)
        for (UINT y = 0; y < box.Bottom - box.Top; ++y) {
          for (UINT x = 0; x < regionWidth; ++x) row[x] = {in.Float(), in.Float(), in.Float(), in.Float()};
          writer->WriteRow(flags & 4 ? box.Bottom - box.Top - 1 - y : y, z, row.data());
        }
    }
    written[pass] = surface;
  }
  if (written[0] != written[1]) __builtin_trap();  // the vector encoders wrote other blocks

  // The pure block functions on their own, with whatever floats remain.
  BlockPixels pixels;
  for (auto& p : pixels.rgba)
    for (float& c : p) c = in.Float();
  std::uint8_t block[16];
  static const BlockEncoder kEncoders[] = {EncodeDxt1Block, EncodeDxt2Block, EncodeDxt3Block, EncodeDxt4Block,
                                           EncodeDxt5Block};
  static const BlockDecoder kDecoders[] = {DecodeDxt1Block, DecodeDxt2Block, DecodeDxt3Block, DecodeDxt4Block,
                                           DecodeDxt5Block};
  const int f = flags >> 5 < 5 ? flags >> 5 : 4;
  kEncoders[f](block, pixels);
  // Nine copies go through every lane width and the one-by-one remainder.
  const BlockPixels copies[9] = {pixels, pixels, pixels, pixels, pixels, pixels, pixels, pixels, pixels};
  std::uint8_t batch[9 * 16];
  for (VectorLevel level : {VectorLevel::Sse2, VectorLevel::Avx2}) {
    if (static_cast<int>(level) > static_cast<int>(DetectVectorLevel())) continue;
    OverrideVectorLevel(level);
    EncodeDxtBlocks(static_cast<DxtKind>(f), copies, batch, 9);
    const std::size_t bytes = f == 0 ? 8 : 16;
    for (int copy = 0; copy < 9; ++copy)
      if (std::memcmp(batch + copy * bytes, block, bytes) != 0) __builtin_trap();  // not the scalar block
  }
  OverrideVectorLevel(DetectVectorLevel());
  kDecoders[f](pixels, block);
  for (const auto& p : pixels.rgba)
    for (float c : p)
      if (!(c >= 0.0f && c <= 1.0f)) __builtin_trap();  // a decoded channel outside [0, 1]
  return 0;
}
