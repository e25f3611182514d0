// Loading a texture file, against libjpeg-turbo decoding the same file alone:
// CreateTextureFromFile/JPEG/2048 turns a 2048 x 2048 JPEG into a mip-mapped X8R8G8B8 managed
// texture on a resource-only device; LibjpegDecode/JPEG/2048 only decodes it. PeakMemory runs
// one load in a child process and reports how far its resident memory grew, against the size
// of the texture it made. The FirstLoad and FirstDecode cases time one load and one decode in a
// fresh child process each, as a program that loads every file once sees them.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "DeviceProfile.h"
#include "d3dx9tex.h"

namespace rastro {
namespace {

// A photograph-like 2048 x 2048 JPEG: smooth gradients with fine noise, quality 90.
const std::string& PhotoJpeg() {
  static const std::string file = [] {
    constexpr int kSize = 2048;
    jpeg_compress_struct compressor{};
    jpeg_error_mgr errors{};
    compressor.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compressor);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&compressor, &buffer, &size);
    compressor.image_width = kSize;
    compressor.image_height = kSize;
    compressor.input_components = 3;
    compressor.in_color_space = JCS_RGB;
    jpeg_set_defaults(&compressor);
    jpeg_set_quality(&compressor, 90, TRUE);
    jpeg_start_compress(&compressor, TRUE);
    std::vector<unsigned char> row(kSize * 3);
    std::uint32_t seed = 1;
    while (compressor.next_scanline < compressor.image_height) {
      const int y = static_cast<int>(compressor.next_scanline);
      for (int x = 0; x < kSize; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int noise = static_cast<int>(seed >> 28);
        row[3 * x] = static_cast<unsigned char>((x / 8 + noise) & 0xFF);
        row[3 * x + 1] = static_cast<unsigned char>((y / 8 + 2 * noise) & 0xFF);
        row[3 * x + 2] = static_cast<unsigned char>(((x + y) / 16 + noise) & 0xFF);
      }
      JSAMPROW rows[1] = {row.data()};
      jpeg_write_scanlines(&compressor, rows, 1);
    }
    jpeg_finish_compress(&compressor);
    jpeg_destroy_compress(&compressor);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return bytes;
  }();
  return file;
}

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
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                           device.ReleaseAndGetAddressOf());
  }
};

HRESULT LoadTexture(IDirect3DDevice9* device, const std::string& file, ComPtr<IDirect3DTexture9>& texture) {
  return D3DXCreateTextureFromFileInMemoryEx(
      device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_X8R8G8B8,
      D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, texture.ReleaseAndGetAddressOf());
}

long MaxResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Registered first, so that no earlier load has left freed heap behind for this one to reuse
// unseen. One load in a fresh child process: the growth of its resident high-water mark over the load
// bounds what the load held at once.
void PeakMemory(benchmark::State& state) {
  const std::string& file = PhotoJpeg();
  // The texture: 2048 x 2048 x 4 bytes and its chain of smaller levels.
  double textureBytes = 0;
  for (UINT size = 2048; size >= 1; size /= 2) textureBytes += double(size) * size * 4;
  double peakBytes = 0;
  for (auto _ : state) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
      state.SkipWithError("no pipe");
      return;
    }
    const pid_t child = fork();
    if (child == 0) {
      close(pipeEnds[0]);
      // Large blocks come fresh from the system and go back when freed, so that heap space the
      // parent freed earlier cannot hide the load's own growth.
      mallopt(M_MMAP_THRESHOLD, 64 * 1024);
      mallopt(M_TRIM_THRESHOLD, 0);
      BenchDevice device;
      const long before = MaxResidentKilobytes();
      ComPtr<IDirect3DTexture9> texture;
      const HRESULT result = LoadTexture(device.device.Get(), file, texture);
      const long grown = SUCCEEDED(result) ? MaxResidentKilobytes() - before : -1;
      if (write(pipeEnds[1], &grown, sizeof grown) != sizeof grown) _exit(2);
      _exit(0);
    }
    close(pipeEnds[1]);
    long grown = -1;
    const bool read = ::read(pipeEnds[0], &grown, sizeof grown) == sizeof grown;
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!read || grown < 0) {
      state.SkipWithError("the load failed in the child");
      return;
    }
    peakBytes = double(grown) * 1024;
  }
  state.counters["peak_MiB"] = peakBytes / (1 << 20);
  state.counters["texture_MiB"] = textureBytes / (1 << 20);
  state.counters["peak_per_texture"] = peakBytes / textureBytes;
}
BENCHMARK(PeakMemory)->Name("PeakMemory/JPEG/2048")->Iterations(1)->Unit(benchmark::kMillisecond);

struct Timing {
  double wallSeconds = -1;
  double cpuSeconds = -1;
};

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Runs `work` once in a child process whose large blocks come fresh from the system, as in a
// program that loads each file once at start (the benchmark's own process has long since freed
// and kept such blocks): the time includes the system's cost of providing new memory.
template <typename Work>
Timing TimeFirstRun(Work&& work) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, 0);
    Timing timing;
    if (work(timing)) {
      if (write(pipeEnds[1], &timing, sizeof timing) != sizeof timing) _exit(2);
    }
    _exit(0);
  }
  close(pipeEnds[1]);
  Timing timing;
  if (::read(pipeEnds[0], &timing, sizeof timing) != sizeof timing) timing = {};
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return timing;
}

// Times `step` into `timing`; false when it failed.
template <typename Step>
bool Measure(Timing& timing, Step&& step) {
  const auto wallStart = std::chrono::steady_clock::now();
  const double cpuStart = CpuSeconds();
  if (!step()) return false;
  timing.cpuSeconds = CpuSeconds() - cpuStart;
  timing.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  return true;
}

// Runs first-run timings as the benchmark's iterations: wall time as the iteration time, the
// mean CPU time as a counter.
template <typename Work>
void RunFirstRuns(benchmark::State& state, Work&& work) {
  double cpuTotal = 0;
  for (auto _ : state) {
    const Timing timing = TimeFirstRun(work);
    if (timing.wallSeconds < 0) {
      state.SkipWithError("the run failed in the child");
      return;
    }
    state.SetIterationTime(timing.wallSeconds);
    cpuTotal += timing.cpuSeconds;
  }
  state.counters["cpu_ms"] = cpuTotal * 1e3 / double(state.iterations());
}

void DecodeWithLibjpeg(const std::string& file, unsigned char* pixels);

// One load in a process that has loaded nothing before, as the benchmark program loads its
// textures. Registered before the repeated loads for the same reason as PeakMemory.
void FirstLoad(benchmark::State& state) {
  const std::string& file = PhotoJpeg();
  RunFirstRuns(state, [&file](Timing& timing) {
    BenchDevice device;
    if (!device.device) return false;
    ComPtr<IDirect3DTexture9> texture;
    return Measure(timing, [&] { return SUCCEEDED(LoadTexture(device.device.Get(), file, texture)); });
  });
}
BENCHMARK(FirstLoad)
    ->Name("CreateTextureFromFile/JPEG/2048/FirstLoad")
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// libjpeg-turbo alone in the same situation: a new buffer for the pixels, then the decode.
void FirstDecode(benchmark::State& state) {
  const std::string& file = PhotoJpeg();
  RunFirstRuns(state, [&file](Timing& timing) {
    return Measure(timing, [&] {
      std::unique_ptr<unsigned char[]> pixels(new unsigned char[2048 * 2048 * 4]);
      DecodeWithLibjpeg(file, pixels.get());
      benchmark::DoNotOptimize(pixels.get());
      return true;
    });
  });
}
BENCHMARK(FirstDecode)
    ->Name("LibjpegDecode/JPEG/2048/FirstDecode")
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void CreateTextureFromFile(benchmark::State& state) {
  const std::string& file = PhotoJpeg();
  BenchDevice device;
  if (!device.device) {
    state.SkipWithError("no device");
    return;
  }
  for (auto _ : state) {
    ComPtr<IDirect3DTexture9> texture;
    if (FAILED(LoadTexture(device.device.Get(), file, texture))) {
      state.SkipWithError("the load failed");
      return;
    }
    benchmark::DoNotOptimize(texture.Get());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2048 * 2048 * 4);
}
BENCHMARK(CreateTextureFromFile)->Name("CreateTextureFromFile/JPEG/2048")->Unit(benchmark::kMillisecond);

// libjpeg-turbo alone: the same file decoded to 32-bit BGRX rows, the pixels a texture needs.
void DecodeWithLibjpeg(const std::string& file, unsigned char* pixels) {
  jpeg_decompress_struct decompressor{};
  jpeg_error_mgr errors{};
  decompressor.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&decompressor);
  jpeg_mem_src(&decompressor, reinterpret_cast<const unsigned char*>(file.data()), file.size());
  jpeg_read_header(&decompressor, TRUE);
  decompressor.out_color_space = JCS_EXT_BGRX;
  jpeg_start_decompress(&decompressor);
  while (decompressor.output_scanline < decompressor.output_height) {
    JSAMPROW row = pixels + std::size_t{decompressor.output_scanline} * 2048 * 4;
    jpeg_read_scanlines(&decompressor, &row, 1);
  }
  jpeg_finish_decompress(&decompressor);
  jpeg_destroy_decompress(&decompressor);
}

// Into one buffer, reused: the decode and nothing else.
void LibjpegDecode(benchmark::State& state) {
  const std::string& file = PhotoJpeg();
  std::vector<unsigned char> pixels(2048 * 2048 * 4);
  for (auto _ : state) {
    DecodeWithLibjpeg(file, pixels.data());
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2048 * 2048 * 4);
}
BENCHMARK(LibjpegDecode)->Name("LibjpegDecode/JPEG/2048")->Unit(benchmark::kMillisecond);

// Into a fresh buffer each time, as any loader that hands out new pixels must: the decode and
// the system's cost of providing 16 MiB of new memory.
void LibjpegDecodeFreshBuffer(benchmark::State& state) {
  const std::string& file = PhotoJpeg();
  for (auto _ : state) {
    std::unique_ptr<unsigned char[]> pixels(new unsigned char[2048 * 2048 * 4]);
    DecodeWithLibjpeg(file, pixels.get());
    benchmark::DoNotOptimize(pixels.get());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2048 * 2048 * 4);
}
BENCHMARK(LibjpegDecodeFreshBuffer)->Name("LibjpegDecode/JPEG/2048/FreshBuffer")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace rastro
