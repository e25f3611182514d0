// PNG files through libpng: every colour type and bit depth, transparency chunks, gamma.
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>

#include <png.h>

#include "FormatCatalogue.h"
#include "ImageDecoder.h"

namespace rastro {

namespace {

struct MemoryReader {
  const BYTE* data;
  std::size_t size;
  std::size_t position;
};

// libpng ends every error here, its message kept as the decoder's reason; the jump lands in
// PngReader::Run.
[[noreturn]] void ExitToDecoder(png_structp png, png_const_charp message) {
  Refuse("libpng: %s", message ? message : "error");
  png_longjmp(png, 1);
}
void IgnoreWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (count > reader->size - reader->position) png_error(png, "read error");
  std::memcpy(out, reader->data + reader->position, count);
  reader->position += count;
}

// Owns libpng's read and info structures; nothing outside Run sees the non-local error exit.
class PngReader {
 public:
  explicit PngReader(FileBytes bytes) : reader_{bytes.data(), bytes.size(), 0} {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ExitToDecoder, IgnoreWarning);
    if (png_) info_ = png_create_info_struct(png_);
    if (info_) png_set_read_fn(png_, &reader_, ReadFromMemory);
  }
  ~PngReader() { png_destroy_read_struct(png_ ? &png_ : nullptr, info_ ? &info_ : nullptr, nullptr); }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  bool Created() const { return info_ != nullptr; }

  // Runs `step`; false when libpng raised an error. `step` must hold nothing that needs
  // destroying, since the error exit jumps over its frame.
  template <typename Step>
  bool Run(Step&& step) {
    if (setjmp(png_jmpbuf(png_))) return false;
    step(png_, info_);
    return true;
  }

 private:
  MemoryReader reader_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

struct Header {
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  int channels = 0;
  std::size_t rowBytes = 0;
  // Palette images: PLTE and tRNS as the file has them, before any transformation.
  png_color palette[256]{};
  int paletteCount = 0;
  png_byte paletteAlpha[256]{};
  int paletteAlphaCount = 0;
  // Gamma correction requested (file gamma; screen gamma is 2.2), 0 for none.
  double fileGamma = 0;
};

constexpr double kScreenGamma = 2.2;

D3DFORMAT FormatOfColorType(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY: return D3DFMT_L8;
    case PNG_COLOR_TYPE_RGB: return D3DFMT_R8G8B8;
    case PNG_COLOR_TYPE_PALETTE: return D3DFMT_P8;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return D3DFMT_A8L8;
    case PNG_COLOR_TYPE_RGB_ALPHA: return D3DFMT_A8R8G8B8;
    default: return D3DFMT_UNKNOWN;
  }
}

D3DFORMAT SixteenBitFormat(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_R8G8B8: return FORMAT_R16;
    case D3DFMT_A8R8G8B8: return D3DFMT_A16B16G16R16;
    case D3DFMT_L8: return D3DFMT_L16;
    case D3DFMT_A8L8: return FORMAT_AL16;
    default: return format;
  }
}

D3DFORMAT WithAlpha(D3DFORMAT format) {
  if (format == FORMAT_R16) return D3DFMT_A16B16G16R16;
  switch (format) {
    case D3DFMT_R8G8B8: return D3DFMT_A8R8G8B8;
    case D3DFMT_L8: return D3DFMT_A8L8;
    case D3DFMT_L16: return FORMAT_AL16;
    default: return format;
  }
}

int ChannelsOf(D3DFORMAT format) {
  if (format == FORMAT_R16) return 3;
  if (format == FORMAT_AL16) return 2;
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A16B16G16R16: return 4;
    case D3DFMT_P8:
    case D3DFMT_L8:
    case D3DFMT_L16: return 1;
    case D3DFMT_A8L8: return 2;
    default: return 0;
  }
}

// Reads the header and sets up the transformations that turn the file's samples into the
// loader's format. Runs under PngReader::Run.
void ReadHeader(png_structp png, png_infop info, Header& header) {
  png_read_info(png, info);
  png_get_IHDR(png, info, &header.width, &header.height, &header.bitDepth, &header.colorType, nullptr, nullptr,
               nullptr);
  header.format = FormatOfColorType(header.colorType);
  if (header.format == D3DFMT_UNKNOWN) png_error(png, "unknown colour type");

  if (header.colorType == PNG_COLOR_TYPE_PALETTE) {
    // Copied before png_read_update_info, which may gamma-correct libpng's own copy: the
    // palette is corrected once, below, with the loader's table.
    png_colorp entries = nullptr;
    if (png_get_PLTE(png, info, &entries, &header.paletteCount) && entries) {
      if (header.paletteCount > 256) header.paletteCount = 256;
      std::memcpy(header.palette, entries, sizeof(png_color) * header.paletteCount);
    } else {
      header.paletteCount = 0;
    }
    png_bytep alpha = nullptr;
    if (png_get_tRNS(png, info, &alpha, &header.paletteAlphaCount, nullptr) && alpha) {
      if (header.paletteAlphaCount > 256) header.paletteAlphaCount = 256;
      std::memcpy(header.paletteAlpha, alpha, header.paletteAlphaCount);
    } else {
      header.paletteAlphaCount = 0;
    }
  }

  if (header.bitDepth == 16) {
    png_set_swap(png);
    header.format = SixteenBitFormat(header.format);
  } else if (header.bitDepth < 8) {
    png_set_packing(png);
    if (header.colorType == PNG_COLOR_TYPE_GRAY) png_set_expand(png);
  }

  int intent = 0;
  double gamma = 0;
  if (png_get_sRGB(png, info, &intent)) {
    png_set_sRGB(png, info, intent);
  } else if (png_get_gAMA(png, info, &gamma)) {
    png_set_gamma(png, kScreenGamma, gamma);
    header.fileGamma = gamma;
  }

  if (header.colorType != PNG_COLOR_TYPE_PALETTE && png_get_valid(png, info, PNG_INFO_tRNS)) {
    png_set_expand(png);
    header.format = WithAlpha(header.format);
  }

  if (header.format == D3DFMT_R8G8B8 || header.format == D3DFMT_A8R8G8B8 || header.format == FORMAT_R16) {
    png_set_bgr(png);
  }
  if (header.format == D3DFMT_R8G8B8) {
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    header.format = D3DFMT_X8R8G8B8;
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  header.channels = png_get_channels(png, info);
  header.rowBytes = png_get_rowbytes(png, info);
}

void FillPalette(const Header& header, PALETTEENTRY* palette) {
  BYTE table[256];
  const double exponentBase = kScreenGamma * header.fileGamma;
  const bool correct = header.fileGamma > 0.000001 && kScreenGamma > 0.000001;
  for (int i = 0; i < 256; ++i) {
    table[i] = correct ? static_cast<BYTE>(static_cast<int>(std::pow(i / 255.0, 1.0 / exponentBase) * 255 + 0.5))
                       : static_cast<BYTE>(i);
  }
  for (int i = 0; i < 256; ++i) palette[i] = {255, 255, 255, 255};
  for (int i = 0; i < header.paletteCount; ++i) {
    const png_color& entry = header.palette[i];
    palette[i] = {table[entry.red], table[entry.green], table[entry.blue],
                  i < header.paletteAlphaCount ? header.paletteAlpha[i] : BYTE{255}};
  }
}

}  // namespace

bool SniffPng(FileBytes bytes) {
  return bytes.size() >= 8 && png_sig_cmp(bytes.data(), 0, bytes.size() < 8 ? bytes.size() : 8) == 0;
}

HRESULT DecodePng(ImageData& image, FileBytes bytes) {
  if (!SniffPng(bytes)) return Malformed("no PNG signature");
  PngReader reader(bytes);
  if (!reader.Created()) return E_OUTOFMEMORY;

  Header header;
  if (!reader.Run([&](png_structp png, png_infop info) { ReadHeader(png, info, header); })) return E_FAIL;
  if (header.channels != ChannelsOf(header.format)) {
    return Malformed("%d channels after the transformations, not the %d of the format", header.channels,
                     ChannelsOf(header.format));
  }
  if (!PitchFits(header.rowBytes, header.height)) return E_FAIL;

  image.Format = header.format;
  image.Width = header.width;
  image.Height = header.height;
  image.Depth = 1;
  image.RowPitch = static_cast<UINT>(header.rowBytes);
  if (!image.LoadPixels) return S_OK;
  const std::size_t imageBytes = ImageBytesWithinCap(header.width, header.height, header.rowBytes);
  if (imageBytes == 0) return E_FAIL;

  BYTE* pixels = image.AllocateData(imageBytes, false);
  std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[header.height]);
  if (!pixels || !rows) return E_OUTOFMEMORY;
  for (png_uint_32 y = 0; y < header.height; ++y) rows[y] = pixels + std::size_t{y} * header.rowBytes;
  if (!reader.Run([&](png_structp png, png_infop) { png_read_image(png, rows.get()); })) return E_FAIL;

  if (header.format == D3DFMT_P8) {
    PALETTEENTRY* palette = image.AllocatePalette();
    if (!palette) return E_OUTOFMEMORY;
    FillPalette(header, palette);
  }
  return S_OK;
}

}  // namespace rastro
