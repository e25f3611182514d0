// The plain and pair codecs over arbitrary formats, image sizes, region boxes, flags, colour
// keys, palettes, stored bytes and float pixels (NaN and infinities included). Images are
// allocated to exactly the bytes their rows need, so the address sanitizer catches any access
// outside them; rows are moved between two linked codecs as the conversion engine does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "FastRows.h"
#include "FormatCatalogue.h"
#include "PixelCodec.h"
#include "ProcessorFeatures.h"

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
  float Float() {
    const std::uint32_t bits = Word();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

struct Format {
  D3DFORMAT format;
  UINT bytesPerPixel;  // 0: two pixels per 4 bytes
};

const Format kFormats[] = {
    {D3DFMT_R8G8B8, 3},
    {D3DFMT_A8R8G8B8, 4},
    {D3DFMT_X8R8G8B8, 4},
    {D3DFMT_R5G6B5, 2},
    {D3DFMT_X1R5G5B5, 2},
    {D3DFMT_A1R5G5B5, 2},
    {D3DFMT_A4R4G4B4, 2},
    {D3DFMT_R3G3B2, 1},
    {D3DFMT_A8, 1},
    {D3DFMT_A8R3G3B2, 2},
    {D3DFMT_X4R4G4B4, 2},
    {D3DFMT_A2B10G10R10, 4},
    {D3DFMT_A8B8G8R8, 4},
    {D3DFMT_X8B8G8R8, 4},
    {D3DFMT_G16R16, 4},
    {D3DFMT_A2R10G10B10, 4},
    {D3DFMT_A16B16G16R16, 8},
    {D3DFMT_A8P8, 2},
    {D3DFMT_P8, 1},
    {D3DFMT_L8, 1},
    {D3DFMT_A8L8, 2},
    {D3DFMT_A4L4, 1},
    {D3DFMT_V8U8, 2},
    {D3DFMT_L6V5U5, 2},
    {D3DFMT_X8L8V8U8, 4},
    {D3DFMT_Q8W8V8U8, 4},
    {D3DFMT_V16U16, 4},
    {D3DFMT_A2W10V10U10, 4},
    {D3DFMT_D16_LOCKABLE, 2},
    {D3DFMT_L16, 2},
    {D3DFMT_D32F_LOCKABLE, 4},
    {D3DFMT_Q16W16V16U16, 8},
    {D3DFMT_R16F, 2},
    {D3DFMT_G16R16F, 4},
    {D3DFMT_A16B16G16R16F, 8},
    {D3DFMT_R32F, 4},
    {D3DFMT_G32R32F, 8},
    {D3DFMT_A32B32G32R32F, 16},
    {D3DFMT_CxV8U8, 2},
    {FORMAT_AL16, 4},
    {FORMAT_R16, 6},
    {D3DFMT_YUY2, 0},
    {D3DFMT_UYVY, 0},
    {D3DFMT_R8G8_B8G8, 0},
    {D3DFMT_G8R8_G8B8, 0},
};

// An image of the input's choosing and a codec over a box of it.
struct Image {
  std::vector<std::uint8_t> bytes;
  std::vector<PALETTEENTRY> palette;
  std::unique_ptr<PixelCodec> codec;

  explicit Image(Input& in) {
    const Format& f = kFormats[in.Byte() % (sizeof kFormats / sizeof kFormats[0])];
    const UINT width = 1 + in.Byte() % 19, height = 1 + in.Byte() % 5, depth = 1 + in.Byte() % 2;
    D3DBOX box;
    box.Left = in.Byte() % width;
    box.Right = box.Left + in.Byte() % (width - box.Left + 1);
    box.Top = in.Byte() % height;
    box.Bottom = box.Top + in.Byte() % (height - box.Top + 1);
    box.Front = in.Byte() % depth;
    box.Back = box.Front + in.Byte() % (depth - box.Front + 1);
    const std::uint8_t flags = in.Byte();

    const UINT rowPitch = f.bytesPerPixel ? width * f.bytesPerPixel : (width + 1) / 2 * 4;
    bytes.resize(static_cast<std::size_t>(rowPitch) * height * depth);
    for (auto& b : bytes) b = in.Byte();
    if (flags & 4) {
      palette.resize(256);
      for (auto& e : palette) e = {in.Byte(), in.Byte(), in.Byte(), in.Byte()};
    }

    PixelRegion region;
    region.Data = bytes.data();
    region.Format = f.format;
    region.RowPitch = rowPitch;
    region.SlicePitch = rowPitch * height;
    region.Extent = {0, 0, width, height, 0, depth};
    region.Region = box;
    region.Dither = flags & 1;
    region.Srgb = (flags >> 1) & 1;
    region.ColorKey = (flags & 8) ? in.Word() : 0;
    region.Palette = palette.empty() ? nullptr : palette.data();
    codec = CreatePixelCodec(region);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  OverrideVectorLevel(in.Byte() & 1 ? VectorLevel::Portable : DetectVectorLevel());
  Image destination(in);
  Image source(in);
  if (!destination.codec || !source.codec) return 0;
  PixelCodec& to = *destination.codec;
  PixelCodec& from = *source.codec;

  // Arbitrary floats straight into the destination, before linking.
  std::vector<FloatRgba> row(to.Width() + 1);
  for (auto& p : row) p = {in.Float(), in.Float(), in.Float(), in.Float()};
  if (to.Height() && to.Depth()) to.WriteRow(in.Byte() % to.Height(), in.Byte() % to.Depth(), row.data());

  if (LinkCodecs(to, from) != S_OK) return 0;
  // Rows from the source in the destination, as far as both reach, in an order of the
  // input's choosing.
  const UINT width = to.Width() > from.Width() ? to.Width() : from.Width();
  std::vector<FloatRgba> moving(width + 1);
  const UINT rows = to.Height() < from.Height() ? to.Height() : from.Height();
  const UINT slices = to.Depth() < from.Depth() ? to.Depth() : from.Depth();
  for (int step = 0; step < 8 && rows && slices; ++step) {
    const UINT y = in.Byte() % rows, z = in.Byte() % slices;
    from.ReadRow(y, z, moving.data());
    to.WriteRow(y, z, moving.data());
  }
  if (to.Height() && to.Depth()) to.ReadRow(0, 0, row.data());

  // Where the engine would convert on the packed pixels, that must write what the codecs write.
  auto converter = FastRowConverter::Create(to, from);
  if (converter && to.Width() == from.Width() && rows && slices) {
    const UINT y = in.Byte() % rows, z = in.Byte() % slices;
    BYTE* out = to.Base() + static_cast<std::size_t>(y) * to.RowPitch() + static_cast<std::size_t>(z) * to.SlicePitch();
    const BYTE* sourceRow =
        from.Base() + static_cast<std::size_t>(y) * from.RowPitch() + static_cast<std::size_t>(z) * from.SlicePitch();
    from.ReadRow(y, z, moving.data());
    to.WriteRow(y, z, moving.data());
    const std::vector<std::uint8_t> viaCodecs(out, out + to.RowBytes());
    if (!converter->ConvertRow(sourceRow, out, to.Width(), to.DitherRow(y, z))) return 0;
    if (!std::equal(viaCodecs.begin(), viaCodecs.end(), out)) __builtin_trap();  // not the codecs' bytes
  }
  return 0;
}
