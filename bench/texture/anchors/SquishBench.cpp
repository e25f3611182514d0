// libsquish's range fit on the photograph the DXT benchmark of codec_bench reads
// (RASTRO_BENCH_PHOTO), for comparing encoding speed: the same pixels as 8-bit RGBA, DXT1
// opaque and DXT5 with the same alpha ramp. libsquish is a black box here, called through its
// published interface; set OMP_NUM_THREADS=1 for one thread.
#include <benchmark/benchmark.h>
#include <squish.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "BlitRegion.h"
#include "DecodeImage.h"
#include "ImageData.h"

namespace {

struct Rgba {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;
};

const Rgba& Photo() {
  static const Rgba photo = [] {
    Rgba out;
    const char* path = std::getenv("RASTRO_BENCH_PHOTO");
    if (!path) return out;
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    rastro::ImageData image;
    D3DXIMAGE_INFO info{};
    if (bytes.empty() ||
        FAILED(rastro::DecodeImage(&image, bytes.data(), static_cast<UINT>(bytes.size()), &info, TRUE))) {
      return out;
    }
    out.width = static_cast<int>(image.Width & ~3u);
    out.height = static_cast<int>(image.Height & ~3u);
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height * 4);
    rastro::PixelRegion from, to;
    from.Data = const_cast<BYTE*>(image.Data);
    from.Format = image.Format;
    from.RowPitch = image.RowPitch;
    from.Extent = from.Region = {0, 0, static_cast<UINT>(out.width), static_cast<UINT>(out.height), 0, 1};
    to.Data = out.pixels.data();
    to.Format = D3DFMT_A8B8G8R8;  // R, G, B, A in memory
    to.RowPitch = static_cast<UINT>(out.width) * 4;
    to.Extent = to.Region = from.Region;
    if (FAILED(rastro::BlitRegion(to, from, D3DX_FILTER_NONE))) return Rgba{};
    return out;
  }();
  return photo;
}

void Compress(benchmark::State& state, int flags, bool alphaRamp) {
  const Rgba& photo = Photo();
  if (photo.pixels.empty()) {
    state.SkipWithError("set RASTRO_BENCH_PHOTO to an image file");
    return;
  }
  std::vector<std::uint8_t> rgba = photo.pixels;
  for (int y = 0; y < photo.height; ++y)
    for (int x = 0; x < photo.width; ++x)
      rgba[(static_cast<std::size_t>(y) * photo.width + x) * 4 + 3] =
          alphaRamp ? static_cast<std::uint8_t>((x + y) % 256) : 255;
  std::vector<std::uint8_t> blocks(
      static_cast<std::size_t>(squish::GetStorageRequirements(photo.width, photo.height, flags)));
  for (auto _ : state) {
    squish::CompressImage(rgba.data(), photo.width, photo.height, blocks.data(), flags);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * photo.width * photo.height);
}

void Dxt1RangeFit(benchmark::State& state) { Compress(state, squish::kDxt1 | squish::kColourRangeFit, false); }
void Dxt5RangeFit(benchmark::State& state) { Compress(state, squish::kDxt5 | squish::kColourRangeFit, true); }

BENCHMARK(Dxt1RangeFit)->Name("Squish/Dxt1Encode/RangeFit")->Unit(benchmark::kMillisecond);
BENCHMARK(Dxt5RangeFit)->Name("Squish/Dxt5Encode/RangeFit")->Unit(benchmark::kMillisecond);

}  // namespace
