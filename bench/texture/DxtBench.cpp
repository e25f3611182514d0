// Block codec throughput: rows through ReadRow and WriteRow, four rows to a block row, as the
// conversion engine drives it, on one thread. Each measure runs on every vector level the
// processor has (Portable is the scalar encoder), side by side in one run.
//
// The picture is a synthetic photograph-like 1024 x 64 strip, or, with RASTRO_BENCH_PHOTO set
// to an image file (bench/texture/anchors/make-photos.sh makes one), that image's pixels.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DecodeImage.h"
#include "ImageData.h"
#include "PixelCodec.h"
#include "ProcessorFeatures.h"

namespace rastro {
namespace {

struct Picture {
  UINT width = 1024, height = 64;
  std::vector<FloatRgba> pixels;
  bool photo = false;
};

// A photograph-like test image: smooth shading with fine detail and an alpha ramp.
Picture SyntheticPicture() {
  Picture picture;
  picture.pixels.resize(std::size_t{picture.width} * picture.height);
  std::uint32_t noise = 12345;
  for (UINT y = 0; y < picture.height; ++y)
    for (UINT x = 0; x < picture.width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const float n = static_cast<float>(noise >> 8) / 16777216.0f * 0.08f;
      const float fx = static_cast<float>(x), fy = static_cast<float>(y);
      FloatRgba& p = picture.pixels[y * picture.width + x];
      p.R = 0.5f + 0.4f * std::sin(fx * 0.013f + fy * 0.05f) + n - 0.04f;
      p.G = 0.45f + 0.35f * std::cos(fx * 0.021f - fy * 0.03f) + n - 0.04f;
      p.B = 0.3f + 0.25f * std::sin(fx * 0.007f * fy * 0.01f) + n - 0.04f;
      p.A = 0.5f + 0.5f * std::sin(fx * 0.011f + fy * 0.07f);
    }
  return picture;
}

// The photo's pixels as the loader reads them, cropped to whole blocks; its alpha becomes a
// ramp so that DXT5 has alpha to encode (DXT1 encodes it opaque, as anchors/SquishBench does).
bool LoadPhoto(const char* path, Picture& picture) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  ImageData image;
  D3DXIMAGE_INFO info{};
  if (bytes.empty() || FAILED(DecodeImage(&image, bytes.data(), static_cast<UINT>(bytes.size()), &info, TRUE))) {
    return false;
  }
  PixelRegion region;
  region.Data = const_cast<BYTE*>(image.Data);
  region.Format = image.Format;
  region.RowPitch = image.RowPitch;
  region.Extent = region.Region = image.Box;
  auto reader = CreatePixelCodec(region);
  if (!reader) return false;
  picture.photo = true;
  picture.width = image.Width & ~3u;
  picture.height = image.Height & ~3u;
  picture.pixels.resize(std::size_t{picture.width} * picture.height);
  std::vector<FloatRgba> row(image.Width);
  for (UINT y = 0; y < picture.height; ++y) {
    reader->ReadRow(y, 0, row.data());
    for (UINT x = 0; x < picture.width; ++x) {
      FloatRgba p = row[x];
      p.A = static_cast<float>((x + y) % 256) / 255.0f;
      picture.pixels[std::size_t{y} * picture.width + x] = p;
    }
  }
  return true;
}

const Picture& ThePicture() {
  static const Picture picture = [] {
    Picture loaded;
    const char* path = std::getenv("RASTRO_BENCH_PHOTO");
    if (path && *path) {
      if (LoadPhoto(path, loaded)) return loaded;
      std::fprintf(stderr, "cannot read %s; using the synthetic picture\n", path);
    }
    return SyntheticPicture();
  }();
  return picture;
}

struct Surface {
  std::vector<std::uint8_t> bytes;
  PixelRegion region;

  Surface(D3DFORMAT format, UINT width, UINT height) {
    const UINT blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
    bytes.assign(static_cast<std::size_t>(width / 4) * blockBytes * (height / 4), 0);
    region.Data = bytes.data();
    region.Format = format;
    region.RowPitch = width / 4 * blockBytes;
    region.Extent = region.Region = D3DBOX{0, 0, width, height, 0, 1};
  }
};

void Encode(benchmark::State& state, D3DFORMAT format, VectorLevel level) {
  OverrideVectorLevel(level);
  Picture picture = ThePicture();
  if (picture.photo && format == D3DFMT_DXT1) {
    for (FloatRgba& p : picture.pixels) p.A = 1.0f;
  }
  Surface surface(format, picture.width, picture.height);
  for (auto _ : state) {
    auto codec = CreatePixelCodec(surface.region);
    for (UINT y = 0; y < picture.height; ++y) codec->WriteRow(y, 0, &picture.pixels[std::size_t{y} * picture.width]);
    benchmark::ClobberMemory();
  }
  OverrideVectorLevel(DetectVectorLevel());
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * picture.width * picture.height);
}

void Decode(benchmark::State& state, D3DFORMAT format, VectorLevel level) {
  const Picture& picture = ThePicture();
  Surface surface(format, picture.width, picture.height);
  {
    auto codec = CreatePixelCodec(surface.region);
    for (UINT y = 0; y < picture.height; ++y) codec->WriteRow(y, 0, &picture.pixels[std::size_t{y} * picture.width]);
  }
  OverrideVectorLevel(level);
  std::vector<FloatRgba> row(picture.width);
  for (auto _ : state) {
    auto codec = CreatePixelCodec(surface.region);
    for (UINT y = 0; y < picture.height; ++y) {
      codec->ReadRow(y, 0, row.data());
      benchmark::DoNotOptimize(row.data());
    }
  }
  OverrideVectorLevel(DetectVectorLevel());
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * picture.width * picture.height);
}

const bool kRegistered = [] {
  const struct {
    const char* name;
    VectorLevel level;
  } kLevels[] = {{"Portable", VectorLevel::Portable}, {"Sse2", VectorLevel::Sse2}, {"Avx2", VectorLevel::Avx2}};
  const struct {
    const char* name;
    D3DFORMAT format;
  } kFormats[] = {{"Dxt1", D3DFMT_DXT1}, {"Dxt5", D3DFMT_DXT5}};
  for (const auto& level : kLevels) {
    if (static_cast<int>(level.level) > static_cast<int>(DetectVectorLevel())) continue;
    for (const auto& format : kFormats) {
      benchmark::RegisterBenchmark((std::string(format.name) + "Encode/" + level.name).c_str(), Encode, format.format,
                                   level.level);
      benchmark::RegisterBenchmark((std::string(format.name) + "Decode/" + level.name).c_str(), Decode, format.format,
                                   level.level);
    }
  }
  return true;
}();

}  // namespace
}  // namespace rastro
