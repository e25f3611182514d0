// JPEG files through libjpeg (the 6b interface of libjpeg-turbo): greyscale and colour images;
// CMYK and other four-component images are refused.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
// After jpeglib.h, which it builds on.
#include <jerror.h>

#ifndef JCS_EXTENSIONS
#error "the JPEG decoder needs libjpeg-turbo's output colour spaces"
#endif

#include "ImageDecoder.h"
#include "ImageSizeLimit.h"
#include "ProcessorFeatures.h"

namespace rastro {

namespace {

struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf exit;
};

// libjpeg ends every fatal error here, its message kept as the decoder's reason; the jump lands
// in JpegDecompressor::Run.
[[noreturn]] void ExitToDecoder(j_common_ptr info) {
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  Refuse("libjpeg: %s", message);
  std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->exit, 1);
}

// Warnings and traces are not shown anywhere.
void DiscardMessage(j_common_ptr) {}

// The whole file is one input buffer. Asking for more, or skipping past its end, means the
// file is truncated: a fatal error rather than the library's invented end-of-image marker.
struct MemorySource {
  jpeg_source_mgr manager;
  const BYTE* data;
  std::size_t size;
  bool handedOut;
};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr info) {
  auto* source = reinterpret_cast<MemorySource*>(info->src);
  if (source->handedOut) ERREXIT(info, JERR_INPUT_EOF);
  source->handedOut = true;
  source->manager.next_input_byte = source->data;
  source->manager.bytes_in_buffer = source->size;
  return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count) {
  if (count <= 0) return;
  auto* source = reinterpret_cast<MemorySource*>(info->src);
  if (source->manager.bytes_in_buffer == 0) FillInputBuffer(info);
  if (static_cast<unsigned long>(count) > source->manager.bytes_in_buffer) ERREXIT(info, JERR_INPUT_EOF);
  source->manager.next_input_byte += count;
  source->manager.bytes_in_buffer -= static_cast<std::size_t>(count);
}

// Owns one libjpeg decompressor; nothing outside Run sees its non-local error exit.
class JpegDecompressor {
 public:
  explicit JpegDecompressor(FileBytes bytes) {
    std::memset(&info_, 0, sizeof info_);
    info_.err = jpeg_std_error(&errors_.manager);
    errors_.manager.error_exit = ExitToDecoder;
    errors_.manager.output_message = DiscardMessage;
    source_.manager.init_source = InitSource;
    source_.manager.fill_input_buffer = FillInputBuffer;
    source_.manager.skip_input_data = SkipInputData;
    source_.manager.resync_to_restart = jpeg_resync_to_restart;
    source_.manager.term_source = TermSource;
    source_.manager.next_input_byte = nullptr;
    source_.manager.bytes_in_buffer = 0;
    source_.data = bytes.data();
    source_.size = bytes.size();
    source_.handedOut = false;
  }
  ~JpegDecompressor() { jpeg_destroy_decompress(&info_); }
  JpegDecompressor(const JpegDecompressor&) = delete;
  JpegDecompressor& operator=(const JpegDecompressor&) = delete;

  // Runs `step` on the decompressor; false when libjpeg gave up with a fatal error. `step`
  // must hold nothing that needs destroying, since the error exit jumps over its frame.
  template <typename Step>
  bool Run(Step&& step) {
    if (setjmp(errors_.exit)) return false;
    step(info_);
    return true;
  }

  void AttachSource(jpeg_decompress_struct& info) { info.src = &source_.manager; }
  const jpeg_decompress_struct& Info() const { return info_; }

 private:
  jpeg_decompress_struct info_;
  JpegErrors errors_;
  MemorySource source_;
};

// Reads every scanline into `pixels`: libjpeg-turbo writes grey samples, or blue, green, red
// and a filler byte, which is cleared so that each pixel reads 0x00RRGGBB. Kept out of line: the
// function that calls setjmp is compiled without the usual optimisations, and this loop is the
// decoder's hot path. Each finished row is reported to a target that asks.
//
// libjpeg-turbo stores rows that start on a 16-byte boundary with non-temporal writes, which go
// past the cache; a row read again at once (to clear its filler bytes, or by the caller's
// hook) would then come back from memory. So such rows are decoded into a scratch row that
// starts off that boundary, where they stay in cache, and copied out from there.
[[gnu::noinline]] void ReadPixels(jpeg_decompress_struct& info, BYTE* pixels, UINT pitch, const PixelTarget* target) {
  const bool grey = info.out_color_space == JCS_GRAYSCALE;
  const UINT width = info.output_width;
  if (!grey) info.out_color_space = JCS_EXT_BGRX;
  jpeg_start_decompress(&info);
  const bool hook = target && target->RowsDone;
  const std::size_t rowBytes = std::size_t{width} * (grey ? 1 : 4);
  BYTE* scratch = nullptr;
  if (!grey || hook) {
    // Freed with the decompressor, on every path.
    auto* block =
        static_cast<BYTE*>((*info.mem->alloc_large)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, rowBytes + 64));
    scratch = block + (16 - reinterpret_cast<std::uintptr_t>(block) % 16) + 4;
  }
  while (info.output_scanline < info.output_height) {
    BYTE* out = pixels + std::size_t{info.output_scanline} * pitch;
    JSAMPROW row = scratch ? scratch : out;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) ERREXIT(&info, JERR_INPUT_EOF);
    if (!grey) {
      for (std::size_t x = 0; x < width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, scratch + 4 * x, 4);
        pixel &= 0x00FFFFFFu;
        std::memcpy(out + 4 * x, &pixel, 4);
      }
    } else if (scratch) {
      std::memcpy(out, scratch, rowBytes);
    }
    if (hook) target->RowsDone(target->Context, info.output_scanline);
  }
  jpeg_finish_decompress(&info);
}

}  // namespace

bool SniffJpeg(FileBytes bytes) { return bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8; }

HRESULT DecodeJpeg(ImageData& image, FileBytes bytes) {
  if (bytes.empty()) return Malformed("no bytes");
  JpegDecompressor decompressor(bytes);

  bool headerRead = decompressor.Run([&](jpeg_decompress_struct& info) {
    jpeg_create_decompress(&info);
    // Whole-image buffers (progressive files) count against the same cap as the image; beyond
    // it libjpeg stops with an error instead of asking for more.
    info.mem->max_memory_to_use = static_cast<long>(MaxImageBytes());
    decompressor.AttachSource(info);
    jpeg_read_header(&info, TRUE);
    // Without MMX the integer method is slow; the fast one trades a little accuracy.
    if (!ProcessorHasMmx()) info.dct_method = JDCT_IFAST;
    jpeg_calc_output_dimensions(&info);
  });
  if (!headerRead) return E_FAIL;

  const jpeg_decompress_struct& info = decompressor.Info();
  const UINT width = info.output_width, height = info.output_height;
  UINT bytesPerPixel = 0;
  if (info.output_components == 1) {
    image.Format = D3DFMT_L8;
    bytesPerPixel = 1;
  } else if (info.output_components == 3) {
    image.Format = D3DFMT_X8R8G8B8;
    bytesPerPixel = 4;
  } else {
    return Malformed("%d colour components; only grey and colour images load", info.output_components);
  }
  if (!PitchFits(std::uint64_t{width} * bytesPerPixel, height)) return E_FAIL;
  image.Width = width;
  image.Height = height;
  image.Depth = 1;
  image.RowPitch = width * bytesPerPixel;
  if (!image.LoadPixels) return S_OK;
  const std::size_t imageBytes = ImageBytesWithinCap(width, height, image.RowPitch);
  if (imageBytes == 0) return E_FAIL;

  // Straight into the caller's memory when it is waiting for exactly these pixels: no buffer
  // of our own to fault in, and no copy afterwards.
  BYTE* pixels = image.FittingTarget(width, height, image.RowPitch);
  const PixelTarget* target = pixels ? &image.Target : nullptr;
  if (pixels) {
    image.PointData(pixels);
    image.RowPitch = image.Target.RowPitch;
  } else {
    pixels = image.AllocateData(imageBytes, false);
    if (!pixels) return E_OUTOFMEMORY;
  }
  const UINT pitch = image.RowPitch;
  bool read =
      decompressor.Run([&](jpeg_decompress_struct& decompress) { ReadPixels(decompress, pixels, pitch, target); });
  return read ? S_OK : E_FAIL;
}

}  // namespace rastro
