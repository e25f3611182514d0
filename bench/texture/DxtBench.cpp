// Block codec throughput: rows of 1024 pixels through ReadRow and WriteRow, four rows to a
// block row, as the conversion engine drives it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "PixelCodec.h"

namespace rastro {
namespace {

constexpr UINT kWidth = 1024;
constexpr UINT kHeight = 64;

// A photograph-like test image: smooth shading with fine detail and an alpha ramp.
std::vector<FloatRgba> TestImage() {
  std::vector<FloatRgba> image(static_cast<std::size_t>(kWidth) * kHeight);
  std::uint32_t noise = 12345;
  for (UINT y = 0; y < kHeight; ++y)
    for (UINT x = 0; x < kWidth; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const float n = static_cast<float>(noise >> 8) / 16777216.0f * 0.08f;
      const float fx = static_cast<float>(x), fy = static_cast<float>(y);
      FloatRgba& p = image[y * kWidth + x];
      p.R = 0.5f + 0.4f * std::sin(fx * 0.013f + fy * 0.05f) + n - 0.04f;
      p.G = 0.45f + 0.35f * std::cos(fx * 0.021f - fy * 0.03f) + n - 0.04f;
      p.B = 0.3f + 0.25f * std::sin(fx * 0.007f * fy * 0.01f) + n - 0.04f;
      p.A = 0.5f + 0.5f * std::sin(fx * 0.011f + fy * 0.07f);
    }
  return image;
}

struct Surface {
  std::vector<std::uint8_t> bytes;
  PixelRegion region;

  explicit Surface(D3DFORMAT format) {
    const UINT blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
    bytes.assign(static_cast<std::size_t>(kWidth / 4) * blockBytes * (kHeight / 4), 0);
    region.Data = bytes.data();
    region.Format = format;
    region.RowPitch = kWidth / 4 * blockBytes;
    region.Extent = region.Region = D3DBOX{0, 0, kWidth, kHeight, 0, 1};
  }
};

void Encode(benchmark::State& state, D3DFORMAT format) {
  const std::vector<FloatRgba> image = TestImage();
  Surface surface(format);
  for (auto _ : state) {
    auto codec = CreatePixelCodec(surface.region);
    for (UINT y = 0; y < kHeight; ++y) codec->WriteRow(y, 0, &image[y * kWidth]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight);
}

void Decode(benchmark::State& state, D3DFORMAT format) {
  const std::vector<FloatRgba> image = TestImage();
  Surface surface(format);
  {
    auto codec = CreatePixelCodec(surface.region);
    for (UINT y = 0; y < kHeight; ++y) codec->WriteRow(y, 0, &image[y * kWidth]);
  }
  std::vector<FloatRgba> row(kWidth);
  for (auto _ : state) {
    auto codec = CreatePixelCodec(surface.region);
    for (UINT y = 0; y < kHeight; ++y) {
      codec->ReadRow(y, 0, row.data());
      benchmark::DoNotOptimize(row.data());
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight);
}

void Dxt1Encode(benchmark::State& state) { Encode(state, D3DFMT_DXT1); }
void Dxt5Encode(benchmark::State& state) { Encode(state, D3DFMT_DXT5); }
void Dxt1Decode(benchmark::State& state) { Decode(state, D3DFMT_DXT1); }
void Dxt5Decode(benchmark::State& state) { Decode(state, D3DFMT_DXT5); }

BENCHMARK(Dxt1Encode);
BENCHMARK(Dxt5Encode);
BENCHMARK(Dxt1Decode);
BENCHMARK(Dxt5Decode);

}  // namespace
}  // namespace rastro
