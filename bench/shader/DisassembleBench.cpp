// Disassembly and validation of a long ps_3_0 shader: a generated 10 000-instruction source,
// assembled once, then read back to source and checked against the version's rules.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ShaderDisassembler.h"
#include "ShaderValidation.h"
#include "d3dx9shader.h"

namespace {

std::string GeneratedPs30(int instructions) {
  std::string source = "ps_3_0\ndcl_texcoord0 v0\ndcl_texcoord1 v1\ndcl_2d s0\ndef c0, 0.5, 1.5, -2.25, 0.125\n";
  for (int r = 0; r < 8; ++r) source += "mov r" + std::to_string(r) + ", c0\n";
  char line[96];
  for (int i = 8; i < instructions - 1; ++i) {
    int a = i % 8, b = (i * 3 + 1) % 8, c = (i * 5 + 2) % 8, k = 1 + i % 200;
    switch (i % 5) {
      case 0: std::snprintf(line, sizeof line, "mad_sat r%d, r%d, c%d.x, -r%d.yzxw\n", a, b, k, c); break;
      case 1: std::snprintf(line, sizeof line, "dp3 r%d.x, r%d, v1\n", a, b); break;
      case 2: std::snprintf(line, sizeof line, "texld r%d, v0, s0\n", a); break;
      case 3: std::snprintf(line, sizeof line, "mul_pp r%d.xy, r%d, c%d\n", a, b, k); break;
      default: std::snprintf(line, sizeof line, "add r%d, r%d_abs, c%d.w\n", a, b, k); break;
    }
    source += line;
  }
  return source + "mov oC0, r0\n";
}

const std::vector<DWORD>& Ps30Tokens() {
  static const std::vector<DWORD> tokens = [] {
    std::string source = GeneratedPs30(10000);
    ID3DXBuffer* shader = nullptr;
    std::vector<DWORD> result;
    if (SUCCEEDED(D3DXAssembleShader(source.data(), static_cast<UINT>(source.size()), nullptr, nullptr,
                                     D3DXSHADER_SKIPVALIDATION, &shader, nullptr))) {
      auto* begin = static_cast<const DWORD*>(shader->GetBufferPointer());
      result.assign(begin, begin + shader->GetBufferSize() / 4);
      shader->Release();
    }
    return result;
  }();
  return tokens;
}

void DisassemblePs30(benchmark::State& state) {
  const std::vector<DWORD>& tokens = Ps30Tokens();
  if (tokens.empty()) {
    state.SkipWithError("the generated shader did not assemble");
    return;
  }
  std::string text;
  for (auto _ : state) {
    if (FAILED(rastro::DisassembleShader(tokens.data(), tokens.size(), text))) state.SkipWithError("failed");
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(DisassemblePs30)->Name("Disassemble/ps_3_0/10000")->Unit(benchmark::kMillisecond);

void ValidatePs30(benchmark::State& state) {
  const std::vector<DWORD>& tokens = Ps30Tokens();
  if (tokens.empty()) {
    state.SkipWithError("the generated shader did not assemble");
    return;
  }
  std::string first;
  for (auto _ : state) {
    if (rastro::ValidateShaderTokens(tokens.data(), static_cast<UINT>(tokens.size()), &first)) {
      state.SkipWithError(first.c_str());
      break;
    }
  }
}
BENCHMARK(ValidatePs30)->Name("Validate/ps_3_0/10000")->Unit(benchmark::kMillisecond);

}  // namespace
