// The conversion engine and mip filtering end to end: loads from memory into surfaces of a
// resource-only device through the public entry points, and a full mip chain. Rates are
// destination pixels per second; Memcpy/2048 copies the bytes of the first load for scale.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "ComPtr.h"
#include "DeviceProfile.h"
#include "d3dx9tex.h"

namespace rastro {
namespace {

struct BenchDevice {
  ComPtr<IDirect3D9> direct3d;
  ComPtr<IDirect3DDevice9> device;
  BenchDevice() {
    std::vector<Adapter> adapters;
    adapters.push_back(ResourceOnlyAdapter(CapableProfile()));
    direct3d = ComPtr<IDirect3D9>::Adopt(CreateDirect3D(std::move(adapters)));
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = 640;
    parameters.BackBufferHeight = 480;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.BackBufferCount = 1;
    parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                           device.ReleaseAndGetAddressOf());
  }
};

BenchDevice& Device() {
  static BenchDevice device;
  return device;
}

std::vector<DWORD> RandomImage(UINT width, UINT height) {
  std::mt19937 random(1);
  std::vector<DWORD> pixels(std::size_t{width} * height);
  for (DWORD& p : pixels) p = random();
  return pixels;
}

// Loads a width x height A8R8G8B8 image into a surface of the given size and format.
void Load(benchmark::State& state, D3DFORMAT format, UINT width, UINT height, UINT outWidth, UINT outHeight,
          DWORD filter) {
  ComPtr<IDirect3DSurface9> surface;
  if (FAILED(Device().device->CreateOffscreenPlainSurface(outWidth, outHeight, format, D3DPOOL_SYSTEMMEM,
                                                          surface.ReleaseAndGetAddressOf(), nullptr))) {
    state.SkipWithError("no surface");
    return;
  }
  std::vector<DWORD> pixels = RandomImage(width, height);
  RECT whole{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
  for (auto _ : state) {
    HRESULT hr = D3DXLoadSurfaceFromMemory(surface.Get(), nullptr, nullptr, pixels.data(), D3DFMT_A8R8G8B8, width * 4,
                                           nullptr, &whole, filter, 0);
    if (FAILED(hr)) state.SkipWithError("load failed");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * outWidth * outHeight);
  state.counters["source_pixels"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * width * height, benchmark::Counter::kIsRate);
}

void Copy(benchmark::State& state) { Load(state, D3DFMT_X8R8G8B8, 2048, 2048, 2048, 2048, D3DX_FILTER_NONE); }
void SameSize(benchmark::State& state) { Load(state, D3DFMT_R5G6B5, 2048, 2048, 2048, 2048, D3DX_FILTER_NONE); }
void Box(benchmark::State& state) { Load(state, D3DFMT_A8R8G8B8, 2048, 2048, 1024, 1024, D3DX_FILTER_BOX); }
void Triangle(benchmark::State& state) { Load(state, D3DFMT_A8R8G8B8, 1000, 1000, 640, 640, D3DX_FILTER_TRIANGLE); }
void Linear(benchmark::State& state) { Load(state, D3DFMT_A8R8G8B8, 1000, 1000, 640, 640, D3DX_FILTER_LINEAR); }

void FilterChain(benchmark::State& state) {
  ComPtr<IDirect3DTexture9> texture;
  if (FAILED(Device().device->CreateTexture(2048, 2048, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                            texture.ReleaseAndGetAddressOf(), nullptr))) {
    state.SkipWithError("no texture");
    return;
  }
  std::vector<DWORD> pixels = RandomImage(2048, 2048);
  D3DLOCKED_RECT bits{};
  texture->LockRect(0, &bits, nullptr, 0);
  for (UINT y = 0; y < 2048; ++y) std::memcpy(static_cast<BYTE*>(bits.pBits) + y * bits.Pitch, &pixels[y * 2048], 8192);
  texture->UnlockRect(0);
  std::int64_t destinationPixels = 0;
  for (UINT size = 1024; size; size /= 2) destinationPixels += std::int64_t{size} * size;
  for (auto _ : state) {
    if (FAILED(D3DXFilterTexture(texture.Get(), nullptr, 0, D3DX_DEFAULT))) state.SkipWithError("filter failed");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * destinationPixels);
}

void Memcpy(benchmark::State& state) {
  std::vector<DWORD> from = RandomImage(2048, 2048);
  std::vector<DWORD> to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size() * sizeof(DWORD));
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 2048 * 2048);
}

BENCHMARK(Copy)->Name("Load/A8R8G8B8/X8R8G8B8/Copy")->Unit(benchmark::kMillisecond);
BENCHMARK(SameSize)->Name("Load/A8R8G8B8/R5G6B5/SameSize")->Unit(benchmark::kMillisecond);
BENCHMARK(Box)->Name("Load/A8R8G8B8/A8R8G8B8/Box")->Unit(benchmark::kMillisecond);
BENCHMARK(Triangle)->Name("Load/A8R8G8B8/A8R8G8B8/Triangle")->Unit(benchmark::kMillisecond);
BENCHMARK(Linear)->Name("Load/A8R8G8B8/A8R8G8B8/Linear")->Unit(benchmark::kMillisecond);
BENCHMARK(FilterChain)->Name("FilterTexture/A8R8G8B8/2048")->Unit(benchmark::kMillisecond);
BENCHMARK(Memcpy)->Name("Memcpy/2048")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace rastro
