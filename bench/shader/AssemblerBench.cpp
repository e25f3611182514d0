// Time to assemble (and validate) shader source held in memory.
#include <benchmark/benchmark.h>

#include <string>

#include "d3dx9shader.h"

namespace {

// A valid ps_3_0 shader of `count` arithmetic and texture instructions in a rotating mix.
std::string GeneratedPs30(int count) {
  std::string source =
      "ps_3_0\n"
      "dcl_texcoord0 v0\n"
      "dcl_color0 v1\n"
      "dcl_2d s0\n"
      "def c0, 0.5, 0.25, 2.0, 1.0\n"
      "mov r0, v0\n"
      "mov r1, v1\n"
      "mov r2, c0\n"
      "mov r3, v0.yxwz\n";
  static const char* const kMix[] = {
      "add r0, r0, r1\n",           "mul r1.xyz, r1, c0.x\n", "mad_sat r2, r0, c1, r3\n",
      "dp3 r3.x, r0, r2\n",         "texld r2, v0, s0\n",     "max r1, r1, -r2\n",
      "cmp r0, r3.x, r0, r2_abs\n", "lrp r3, c0.y, r0, r1\n", "mul_pp r0.xy, r0, r2.wzyx\n",
      "min r2.w, r1.x, c2.z\n",
  };
  for (int i = 0; i < count; ++i) source += kMix[i % std::size(kMix)];
  source += "mov oC0, r0\n";
  return source;
}

// A typical pixel shader of the benchmark: two textures and per-pixel lighting.
constexpr char kTypicalPs20[] =
    "ps_2_0\n"
    "// per-pixel diffuse lighting with a normal map\n"
    "dcl t0.xy\n"
    "dcl t1.xyz\n"
    "dcl t2.xyz\n"
    "dcl_2d s0\n"
    "dcl_2d s1\n"
    "def c0, 2.0, -1.0, 0.0, 1.0\n"
    "texld r0, t0, s0\n"
    "texld r1, t0, s1\n"
    "mad r1.xyz, r1, c0.x, c0.y\n"
    "nrm r2.xyz, t1\n"
    "nrm r3.xyz, t2\n"
    "dp3_sat r4.x, r1, r2\n"
    "dp3_sat r4.y, r1, r3\n"
    "mul r4.y, r4.y, r4.y\n"
    "mul r4.y, r4.y, r4.y\n"
    "mad r5, r0, r4.x, r4.y\n"
    "mul_pp r5.xyz, r5, c1\n"
    "mov r5.w, r0.w\n"
    "mov oC0, r5\n";

void Assemble(benchmark::State& state, const std::string& source) {
  for (auto _ : state) {
    ID3DXBuffer* shader = nullptr;
    ID3DXBuffer* errors = nullptr;
    HRESULT hr =
        D3DXAssembleShader(source.data(), static_cast<UINT>(source.size()), nullptr, nullptr, 0, &shader, &errors);
    if (FAILED(hr)) {
      state.SkipWithError(errors ? static_cast<const char*>(errors->GetBufferPointer()) : "assembly failed");
      if (errors) errors->Release();
      break;
    }
    benchmark::DoNotOptimize(shader->GetBufferPointer());
    shader->Release();
    if (errors) errors->Release();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
}

void AssemblePs30Generated(benchmark::State& state) {
  static const std::string source = GeneratedPs30(10000);
  Assemble(state, source);
}
BENCHMARK(AssemblePs30Generated)->Name("Assemble/ps_3_0/10000")->Unit(benchmark::kMillisecond);

void AssemblePs20Typical(benchmark::State& state) { Assemble(state, kTypicalPs20); }
BENCHMARK(AssemblePs20Typical)->Name("Assemble/ps_2_0/Typical")->Unit(benchmark::kMicrosecond);

}  // namespace
