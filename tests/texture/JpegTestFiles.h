// Noisy JPEG files encoded by libjpeg, and libjpeg's own decoding of them in the loader's pixel
// layouts, for tests that need pixels worked out without the loader's decoder.
#pragma once

#include <jpeglib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "d3d9types.h"

namespace rastro::testing {

// Pseudo-random content (so that every 2 x 2 average differs from its corners), colour or grey,
// quality 90.
inline std::string NoisyJpeg(int width, int height, bool grey = false) {
  jpeg_compress_struct compressor{};
  jpeg_error_mgr errors{};
  compressor.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compressor);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&compressor, &buffer, &size);
  const int components = grey ? 1 : 3;
  compressor.image_width = width;
  compressor.image_height = height;
  compressor.input_components = components;
  compressor.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&compressor);
  jpeg_set_quality(&compressor, 90, TRUE);
  jpeg_start_compress(&compressor, TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(width) * components);
  std::uint32_t seed = 12345;
  while (compressor.next_scanline < compressor.image_height) {
    for (unsigned char& sample : row) {
      seed = seed * 1664525u + 1013904223u;
      sample = static_cast<unsigned char>(seed >> 24);
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

// libjpeg's decoding of `file`: grey samples as D3DFMT_L8 rows, colour as D3DFMT_X8R8G8B8 rows
// (blue, green, red, 0), without padding.
struct LibjpegImage {
  UINT width = 0, height = 0;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  UINT pitch = 0;
  std::vector<BYTE> pixels;
};

inline LibjpegImage DecodeWithLibjpeg(const std::string& file) {
  jpeg_decompress_struct decompressor{};
  jpeg_error_mgr errors{};
  decompressor.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&decompressor);
  jpeg_mem_src(&decompressor, reinterpret_cast<const unsigned char*>(file.data()), file.size());
  jpeg_read_header(&decompressor, TRUE);
  jpeg_start_decompress(&decompressor);
  LibjpegImage image;
  image.width = decompressor.output_width;
  image.height = decompressor.output_height;
  const bool grey = decompressor.output_components == 1;
  image.format = grey ? D3DFMT_L8 : D3DFMT_X8R8G8B8;
  image.pitch = image.width * (grey ? 1 : 4);
  image.pixels.resize(std::size_t{image.pitch} * image.height);
  std::vector<unsigned char> row(std::size_t{image.width} * decompressor.output_components);
  while (decompressor.output_scanline < decompressor.output_height) {
    BYTE* out = image.pixels.data() + std::size_t{decompressor.output_scanline} * image.pitch;
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&decompressor, rows, 1);
    for (UINT x = 0; x < image.width; ++x) {
      if (grey) {
        out[x] = row[x];
      } else {
        out[4 * x] = row[3 * x + 2];
        out[4 * x + 1] = row[3 * x + 1];
        out[4 * x + 2] = row[3 * x];
        out[4 * x + 3] = 0;
      }
    }
  }
  jpeg_finish_decompress(&decompressor);
  jpeg_destroy_decompress(&decompressor);
  return image;
}

}  // namespace rastro::testing
