// Image files built in memory for the pipeline tests: Windows bitmaps written field by field
// from the published layout, and JPEG files through libjpeg.
#pragma once

#include <jpeglib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace rastro::testing {

inline void Append16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
inline void Append32(std::string& out, std::uint32_t value) {
  Append16(out, value & 0xFFFF);
  Append16(out, value >> 16);
}

struct Rgb {
  std::uint8_t r, g, b;
};

// A bottom-up BMP with a 40-byte header. `bits` 24 takes `pixels` (row 0 on top) as colours;
// `bits` 8 takes `indices` and a palette of up to 256 colours.
inline std::string Bitmap(int width, int height, int bits, const std::vector<Rgb>& pixels,
                          const std::vector<std::uint8_t>& indices = {}, const std::vector<Rgb>& palette = {}) {
  const int stride = ((width * bits / 8) + 3) & ~3;
  const std::uint32_t tableBytes = bits == 8 ? 4 * static_cast<std::uint32_t>(palette.size()) : 0;
  const std::uint32_t offset = 14 + 40 + tableBytes;
  std::string file = "BM";
  Append32(file, offset + stride * height);
  Append32(file, 0);
  Append32(file, offset);
  Append32(file, 40);
  Append32(file, width);
  Append32(file, height);
  Append16(file, 1);
  Append16(file, bits);
  Append32(file, 0);  // no compression
  Append32(file, stride * height);
  Append32(file, 2835);
  Append32(file, 2835);
  Append32(file, bits == 8 ? static_cast<std::uint32_t>(palette.size()) : 0);
  Append32(file, 0);
  for (const Rgb& c : palette) {
    file += static_cast<char>(c.b);
    file += static_cast<char>(c.g);
    file += static_cast<char>(c.r);
    file += '\0';
  }
  for (int y = height - 1; y >= 0; --y) {
    std::string row;
    for (int x = 0; x < width; ++x) {
      if (bits == 8) {
        row += static_cast<char>(indices[y * width + x]);
      } else {
        const Rgb& c = pixels[y * width + x];
        row += static_cast<char>(c.b);
        row += static_cast<char>(c.g);
        row += static_cast<char>(c.r);
      }
    }
    row.resize(stride, '\0');
    file += row;
  }
  return file;
}

// A baseline JPEG of a smooth colour ramp, encoded by libjpeg.
inline std::string Jpeg(int width, int height) {
  jpeg_compress_struct compressor{};
  jpeg_error_mgr errors{};
  compressor.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compressor);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&compressor, &buffer, &size);
  compressor.image_width = width;
  compressor.image_height = height;
  compressor.input_components = 3;
  compressor.in_color_space = JCS_RGB;
  jpeg_set_defaults(&compressor);
  jpeg_set_quality(&compressor, 90, TRUE);
  jpeg_start_compress(&compressor, TRUE);
  std::vector<unsigned char> row(width * 3);
  while (compressor.next_scanline < compressor.image_height) {
    const int y = static_cast<int>(compressor.next_scanline);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<unsigned char>(x * 255 / width);
      row[3 * x + 1] = static_cast<unsigned char>(y * 255 / height);
      row[3 * x + 2] = 128;
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&compressor, rows, 1);
  }
  jpeg_finish_compress(&compressor);
  jpeg_destroy_compress(&compressor);
  std::string file(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return file;
}

}  // namespace rastro::testing
