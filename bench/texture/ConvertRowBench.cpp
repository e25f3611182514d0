// Row conversion speed, rows of 1024 pixels, reported as pixels per second: ConvertRow is one
// ReadRow on an A8R8G8B8 source codec and one WriteRow on the destination codec per iteration;
// FastRow is the packed-pixel conversion the engine uses instead where the formats allow;
// Memcpy copies the row's bytes, for scale.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FastRows.h"
#include "PixelCodec.h"

namespace rastro {
namespace {

constexpr UINT kWidth = 1024;

struct Target {
  const char* name;
  D3DFORMAT format;
  UINT bytesPerPixel;  // for the pitch; pair formats use 2
  bool dither;
};

PixelRegion RegionOver(std::vector<BYTE>& bytes, D3DFORMAT format, UINT pitch) {
  PixelRegion region;
  region.Data = bytes.data();
  region.Format = format;
  region.RowPitch = pitch;
  region.SlicePitch = pitch;
  region.Extent = {0, 0, kWidth, 2, 0, 1};
  region.Region = region.Extent;
  return region;
}

// A photograph-like row: smooth ramps with noise, so that palettes and dithering see varied
// colours.
std::vector<BYTE> SourceRow() {
  std::vector<BYTE> source(kWidth * 4);
  std::uint32_t seed = 12345;
  for (UINT x = 0; x < kWidth; ++x) {
    seed = seed * 1664525u + 1013904223u;
    const std::uint32_t noise = seed >> 28;
    source[4 * x + 0] = static_cast<BYTE>((x / 4 + noise) & 0xFF);
    source[4 * x + 1] = static_cast<BYTE>((x / 8 + 3 * noise) & 0xFF);
    source[4 * x + 2] = static_cast<BYTE>((255 - x / 4 + noise) & 0xFF);
    source[4 * x + 3] = static_cast<BYTE>(200 + noise);
  }
  return source;
}

void ConvertRow(benchmark::State& state, Target target) {
  std::vector<BYTE> source = SourceRow();
  std::vector<BYTE> destination(2 * kWidth * 16);
  std::vector<PALETTEENTRY> palette(256);
  for (int i = 0; i < 256; ++i) {
    palette[i] = {static_cast<BYTE>((i & 7) * 36), static_cast<BYTE>(((i >> 3) & 7) * 36),
                  static_cast<BYTE>((i >> 6) * 85), 255};
  }

  PixelRegion from = RegionOver(source, D3DFMT_A8R8G8B8, kWidth * 4);
  from.RowPitch = 0;  // both rows read the same pixels
  PixelRegion to = RegionOver(destination, target.format, kWidth * target.bytesPerPixel);
  to.Dither = target.dither ? TRUE : FALSE;
  to.Palette = palette.data();
  auto reader = CreatePixelCodec(from);
  auto writer = CreatePixelCodec(to);
  if (!reader || !writer || LinkCodecs(*writer, *reader) != S_OK) {
    state.SkipWithError("no codec");
    return;
  }
  std::unique_ptr<FloatRgba[]> row = PixelCodec::AllocateRow(kWidth);
  // Alternate between two rows, so that codecs that keep a row back (the pair codec) encode
  // one row per iteration like every other codec.
  UINT y = 0;
  for (auto _ : state) {
    reader->ReadRow(y, 0, row.get());
    writer->WriteRow(y, 0, row.get());
    y ^= 1;
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth);
}

void FastRow(benchmark::State& state, Target target) {
  std::vector<BYTE> source = SourceRow();
  std::vector<BYTE> destination(2 * kWidth * 16);
  PixelRegion from = RegionOver(source, D3DFMT_A8R8G8B8, kWidth * 4);
  PixelRegion to = RegionOver(destination, target.format, kWidth * target.bytesPerPixel);
  to.Dither = target.dither ? TRUE : FALSE;
  auto reader = CreatePixelCodec(from);
  auto writer = CreatePixelCodec(to);
  std::unique_ptr<FastRowConverter> converter;
  if (reader && writer && LinkCodecs(*writer, *reader) == S_OK) converter = FastRowConverter::Create(*writer, *reader);
  if (!converter) {
    state.SkipWithError("no packed-pixel conversion");
    return;
  }
  UINT y = 0;
  for (auto _ : state) {
    converter->ConvertRow(source.data(), destination.data() + y * kWidth * target.bytesPerPixel, kWidth,
                          writer->DitherRow(y, 0));
    y ^= 1;
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth);
}

void Memcpy(benchmark::State& state) {
  std::vector<BYTE> source = SourceRow();
  std::vector<BYTE> destination(source.size());
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), source.size());
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth);
}
BENCHMARK(Memcpy)->Name("Memcpy/A8R8G8B8");

const Target kTargets[] = {
    {"X8R8G8B8", D3DFMT_X8R8G8B8, 4, false},
    {"X1R5G5B5_Dither", D3DFMT_X1R5G5B5, 2, true},
    {"R5G6B5", D3DFMT_R5G6B5, 2, false},
    {"L8", D3DFMT_L8, 1, false},
    {"A16B16G16R16F", D3DFMT_A16B16G16R16F, 8, false},
    {"P8", D3DFMT_P8, 1, false},
    {"YUY2", D3DFMT_YUY2, 2, false},
};

const bool kRegistered = [] {
  for (const Target& target : kTargets) {
    benchmark::RegisterBenchmark((std::string("ConvertRow/A8R8G8B8/") + target.name).c_str(), ConvertRow, target);
    // Palettes, pair packing and luminance from colour stay with the codecs.
    if (target.format != D3DFMT_P8 && target.format != D3DFMT_YUY2 && target.format != D3DFMT_L8) {
      benchmark::RegisterBenchmark((std::string("FastRow/A8R8G8B8/") + target.name).c_str(), FastRow, target);
    }
  }
  return true;
}();

}  // namespace
}  // namespace rastro
