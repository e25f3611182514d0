// Image file decoding: 2048 x 2048 files of each kind through DecodeImage, and the JPEG and PNG
// files straight through libjpeg and libpng with their defaults for comparison. The files are
// made in memory before timing starts.
#include <benchmark/benchmark.h>

#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "DecodeImage.h"

namespace rastro {
namespace {

constexpr UINT kSize = 2048;

// A photograph-like picture: smooth shading, edges and fine noise; alpha varies slowly.
const std::vector<BYTE>& Picture() {
  static const std::vector<BYTE> rgba = [] {
    std::vector<BYTE> pixels(std::size_t{kSize} * kSize * 4);
    std::uint32_t noise = 12345;
    for (UINT y = 0; y < kSize; ++y) {
      for (UINT x = 0; x < kSize; ++x) {
        noise = noise * 1664525u + 1013904223u;
        const float n = static_cast<float>(noise >> 24) / 255.0f * 0.06f;
        const float fx = static_cast<float>(x), fy = static_cast<float>(y);
        const float edge = ((x / 97 + y / 131) % 3) * 0.12f;
        auto channel = [&](float v) { return static_cast<BYTE>(std::fmin(std::fmax(v + n + edge, 0.0f), 1.0f) * 255); };
        BYTE* p = &pixels[(std::size_t{y} * kSize + x) * 4];
        p[0] = channel(0.4f + 0.3f * std::sin(fx * 0.0041f + fy * 0.0127f));
        p[1] = channel(0.35f + 0.3f * std::cos(fx * 0.0093f - fy * 0.0051f));
        p[2] = channel(0.2f + 0.2f * std::sin((fx + fy) * 0.0029f));
        p[3] = static_cast<BYTE>(160 + 95 * std::sin(fx * 0.002f + fy * 0.003f));
      }
    }
    return pixels;
  }();
  return rgba;
}

std::vector<BYTE> EncodeJpeg() {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = kSize;
  info.image_height = kSize;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<BYTE> row(kSize * 3);
  const std::vector<BYTE>& picture = Picture();
  while (info.next_scanline < kSize) {
    for (UINT x = 0; x < kSize; ++x)
      std::memcpy(&row[x * 3], &picture[(std::size_t{info.next_scanline} * kSize + x) * 4], 3);
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<BYTE> file(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return file;
}

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<BYTE>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

std::vector<BYTE> EncodePng() {
  std::vector<BYTE> file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &file, AppendToVector, nullptr);
  png_set_IHDR(png, info, kSize, kSize, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const std::vector<BYTE>& picture = Picture();
  for (UINT y = 0; y < kSize; ++y) png_write_row(png, &picture[std::size_t{y} * kSize * 4]);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return file;
}

void Append(std::vector<BYTE>& out, std::initializer_list<BYTE> bytes) {
  for (BYTE b : bytes) out.push_back(b);
}
void Le16(std::vector<BYTE>& out, unsigned v) { Append(out, {BYTE(v), BYTE(v >> 8)}); }
void Le32(std::vector<BYTE>& out, std::uint32_t v) { Le16(out, v & 0xFFFF), Le16(out, v >> 16); }

// 24-bit, stored top-down: the loader uses the bits in place.
std::vector<BYTE> MakeBmp() {
  const std::uint32_t bitsBytes = kSize * 3 * kSize;
  std::vector<BYTE> out;
  Append(out, {'B', 'M'});
  Le32(out, 14 + 40 + bitsBytes), Le32(out, 0), Le32(out, 14 + 40);
  Le32(out, 40), Le32(out, kSize), Le32(out, static_cast<std::uint32_t>(-static_cast<std::int32_t>(kSize)));
  Le16(out, 1), Le16(out, 24);
  for (int i = 0; i < 6; ++i) Le32(out, 0);
  const std::vector<BYTE>& picture = Picture();
  for (std::size_t p = 0; p < std::size_t{kSize} * kSize; ++p)
    Append(out, {picture[4 * p + 2], picture[4 * p + 1], picture[4 * p]});
  return out;
}

// 24-bit run-length encoded, stored bottom-up as most writers do.
std::vector<BYTE> MakeRleTga() {
  std::vector<BYTE> out;
  Append(out, {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  Le16(out, kSize), Le16(out, kSize);
  Append(out, {24, 0});
  const std::vector<BYTE>& picture = Picture();
  for (UINT row = 0; row < kSize; ++row) {
    const BYTE* line = &picture[std::size_t{kSize - 1 - row} * kSize * 4];
    UINT x = 0;
    while (x < kSize) {
      UINT run = 1;
      while (x + run < kSize && run < 128 && std::memcmp(line + 4 * x, line + 4 * (x + run), 3) == 0) ++run;
      if (run > 1) {
        Append(out, {BYTE(0x80 | (run - 1)), line[4 * x + 2], line[4 * x + 1], line[4 * x]});
      } else {
        UINT count = 1;
        while (x + count < kSize && count < 128 &&
               std::memcmp(line + 4 * (x + count - 1), line + 4 * (x + count), 3) != 0)
          ++count;
        out.push_back(BYTE(count - 1));
        for (UINT i = 0; i < count; ++i) Append(out, {line[4 * (x + i) + 2], line[4 * (x + i) + 1], line[4 * (x + i)]});
        run = count;
      }
      x += run;
    }
  }
  return out;
}

std::vector<BYTE> MakeDxt1Dds() {
  std::vector<BYTE> out;
  Append(out, {'D', 'D', 'S', ' '});
  Le32(out, 124), Le32(out, 0x81007), Le32(out, kSize), Le32(out, kSize), Le32(out, kSize / 4 * 8), Le32(out, 0);
  Le32(out, 1);
  for (int i = 0; i < 11; ++i) Le32(out, 0);
  Le32(out, 32), Le32(out, 4), Le32(out, MAKEFOURCC('D', 'X', 'T', '1'));
  for (int i = 0; i < 5; ++i) Le32(out, 0);
  Le32(out, 0x1000);
  for (int i = 0; i < 4; ++i) Le32(out, 0);
  out.resize(out.size() + std::size_t{kSize / 4} * (kSize / 4) * 8, 0x5A);
  return out;
}

void DecodeFile(benchmark::State& state, const std::vector<BYTE>& file) {
  for (auto _ : state) {
    ImageData image;
    HRESULT hr = DecodeImage(&image, file.data(), static_cast<UINT>(file.size()), nullptr, TRUE);
    if (FAILED(hr)) {
      state.SkipWithError("decode failed");
      break;
    }
    benchmark::DoNotOptimize(image.Data);
  }
  state.SetItemsProcessed(state.iterations() * kSize * kSize);
}

const std::vector<BYTE>& JpegFile() {
  static const std::vector<BYTE> file = EncodeJpeg();
  return file;
}
const std::vector<BYTE>& PngFile() {
  static const std::vector<BYTE> file = EncodePng();
  return file;
}

void BM_DecodeJpeg(benchmark::State& state) { DecodeFile(state, JpegFile()); }
void BM_DecodePng(benchmark::State& state) { DecodeFile(state, PngFile()); }
void BM_DecodeBmp(benchmark::State& state) {
  static const std::vector<BYTE> file = MakeBmp();
  DecodeFile(state, file);
}
void BM_DecodeTgaRle(benchmark::State& state) {
  static const std::vector<BYTE> file = MakeRleTga();
  DecodeFile(state, file);
}
void BM_DecodeDdsDxt1(benchmark::State& state) {
  static const std::vector<BYTE> file = MakeDxt1Dds();
  DecodeFile(state, file);
}

// libjpeg alone: memory source, default output (RGB, 3 bytes a pixel), default DCT method.
void BM_LibJpeg(benchmark::State& state) {
  const std::vector<BYTE>& file = JpegFile();
  std::vector<BYTE> pixels(std::size_t{kSize} * kSize * 3);
  for (auto _ : state) {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), file.size());
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = &pixels[std::size_t{info.output_scanline} * info.output_width * 3];
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * kSize * kSize);
}

struct PngSource {
  const BYTE* data;
  std::size_t position;
};

void ReadPng(png_structp png, png_bytep out, png_size_t count) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  std::memcpy(out, source->data + source->position, count);
  source->position += count;
}

// libpng alone: memory reader, no transformations, the whole image at once.
void BM_LibPng(benchmark::State& state) {
  const std::vector<BYTE>& file = PngFile();
  std::vector<BYTE> pixels(std::size_t{kSize} * kSize * 4);
  std::vector<png_bytep> rows(kSize);
  for (UINT y = 0; y < kSize; ++y) rows[y] = &pixels[std::size_t{y} * kSize * 4];
  for (auto _ : state) {
    PngSource source{file.data(), 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &source, ReadPng);
    png_read_info(png, info);
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * kSize * kSize);
}

BENCHMARK(BM_DecodeJpeg)->Name("Decode/JPEG/2048")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePng)->Name("Decode/PNG/2048")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBmp)->Name("Decode/BMP/2048")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeTgaRle)->Name("Decode/TGA_RLE/2048")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDdsDxt1)->Name("Decode/DDS_DXT1/2048")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibJpeg)->Name("LibJpeg/2048")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibPng)->Name("LibPng/2048")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace rastro
