#include <benchmark/benchmark.h>

#include <filesystem>

#include "Catalogue.h"
#include "Fakes.h"
#include "RunSequence.h"
#include "SettingsChoice.h"

namespace rastro::testing {
namespace {

// One frame of "FFP - Pure fillrate" on a device that does nothing: the measurement loop's own
// cost, which lands inside no timed interval except the draws' calls.
void BM_RunStepPerFrame(benchmark::State& state) {
  CallLog log;
  FakeDevice device(log);
  FakeClock clock(1000000000, [](int) { return 1; });
  const auto directory = std::filesystem::temp_directory_path();
  ResultsFile results(directory / "rastro-app-bench-Results.txt");
  const auto catalogue = Catalogue();
  // An interval no run of this benchmark reaches, so every step is a frame of the same test.
  RunSequence sequence(device, 1,
                       [catalogue](std::size_t) {
                         return catalogue[0].create(catalogue[0], {1024, 768}, TestFiles{});
                       },
                       results, clock, {{1024, 768}, 3, 1e9});
  for (auto _ : state) benchmark::DoNotOptimize(sequence.Step());
  state.SetItemsProcessed(state.iterations());
  sequence.Abandon();
  std::filesystem::remove(directory / "rastro-app-bench-Results.txt");
}
BENCHMARK(BM_RunStepPerFrame);

// The initial choice over an adapter with many modes: the mode list, then one back-buffer and
// depth scan.
void BM_InitialSettingsChoice(benchmark::State& state) {
  FakeDirect3D d3d;
  FakeAdapter adapter;
  for (UINT i = 0; i < 64; ++i) adapter.modes[D3DFMT_X8R8G8B8].push_back({640 + 16 * i, 480, 60, D3DFMT_X8R8G8B8});
  adapter.backBuffers = {{D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8}};
  adapter.depthFormats = {{D3DFMT_X8R8G8B8, D3DFMT_D24S8}};
  adapter.depthMatches = {{D3DFMT_X8R8G8B8, D3DFMT_D24S8}};
  d3d.adapters = {adapter};
  for (auto _ : state) {
    UINT adapterIndex = 0;
    D3DPRESENT_PARAMETERS params{};
    benchmark::DoNotOptimize(ChooseSettings(d3d, {}, adapterIndex, params));
  }
}
BENCHMARK(BM_InitialSettingsChoice);

}  // namespace
}  // namespace rastro::testing
