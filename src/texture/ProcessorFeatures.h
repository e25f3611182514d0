// Which vector paths the loader may take. Decided once per process from the processor and the
// Direct3D setting "DisableMMX": a non-zero DWORD there sends every routine down its portable
// path.
#pragma once

namespace rastro {

enum class VectorLevel {
  Portable,  // plain C++ only
  Sse2,      // SSE2 (with SSSE3 shuffles where the processor has them)
  Avx2,
};

VectorLevel ActiveVectorLevel();
// Whether the processor has MMX and the setting does not disable it (the image decoders use
// the answer to choose their DCT method).
bool ProcessorHasMmx();
// Tests and benchmarks compare paths on one machine; the level cannot exceed what the
// processor has. Passing the result of DetectVectorLevel() restores the normal choice.
void OverrideVectorLevel(VectorLevel level);
VectorLevel DetectVectorLevel();

}  // namespace rastro
