// The DXT block encoders four blocks at a time on SSE2.
#include <cstddef>
#include <cstdint>

#include "DxtBlockVector.h"

#if defined(__x86_64__) || defined(__SSE2__)
#include <emmintrin.h>

namespace rastro {
namespace {

constexpr int kLanes = 4;

struct F {
  __m128 v;
};
struct M {
  __m128 v;
};
struct I {
  __m128i v;
};

inline F Splat(float value) { return {_mm_set1_ps(value)}; }
inline I SplatI(int value) { return {_mm_set1_epi32(value)}; }
inline F operator+(F a, F b) { return {_mm_add_ps(a.v, b.v)}; }
inline F operator-(F a, F b) { return {_mm_sub_ps(a.v, b.v)}; }
inline F operator*(F a, F b) { return {_mm_mul_ps(a.v, b.v)}; }
inline F operator/(F a, F b) { return {_mm_div_ps(a.v, b.v)}; }
inline M operator<(F a, F b) { return {_mm_cmplt_ps(a.v, b.v)}; }
inline M operator>(F a, F b) { return {_mm_cmpgt_ps(a.v, b.v)}; }
inline M operator<=(F a, F b) { return {_mm_cmple_ps(a.v, b.v)}; }
inline M operator>=(F a, F b) { return {_mm_cmpge_ps(a.v, b.v)}; }
inline M operator==(F a, F b) { return {_mm_cmpeq_ps(a.v, b.v)}; }
inline M operator!=(F a, F b) { return {_mm_cmpneq_ps(a.v, b.v)}; }
inline M operator&(M a, M b) { return {_mm_and_ps(a.v, b.v)}; }
inline M operator|(M a, M b) { return {_mm_or_ps(a.v, b.v)}; }
inline M operator~(M a) { return {_mm_xor_ps(a.v, _mm_castsi128_ps(_mm_set1_epi32(-1)))}; }
inline F Select(M m, F a, F b) { return {_mm_or_ps(_mm_and_ps(m.v, a.v), _mm_andnot_ps(m.v, b.v))}; }
inline I SelectI(M m, I a, I b) {
  const __m128i mask = _mm_castps_si128(m.v);
  return {_mm_or_si128(_mm_and_si128(mask, a.v), _mm_andnot_si128(mask, b.v))};
}
inline bool Any(M m) { return _mm_movemask_ps(m.v) != 0; }
inline I Truncate(F a) { return {_mm_cvttps_epi32(a.v)}; }
inline F ToFloat(I a) { return {_mm_cvtepi32_ps(a.v)}; }
inline I operator+(I a, I b) { return {_mm_add_epi32(a.v, b.v)}; }
inline I operator|(I a, I b) { return {_mm_or_si128(a.v, b.v)}; }
inline I operator&(I a, I b) { return {_mm_and_si128(a.v, b.v)}; }
inline I ShiftLeft(I a, int bits) { return {_mm_sll_epi32(a.v, _mm_cvtsi32_si128(bits))}; }
inline I ShiftRight(I a, int bits) { return {_mm_srl_epi32(a.v, _mm_cvtsi32_si128(bits))}; }
inline M EqualI(I a, I b) { return {_mm_castsi128_ps(_mm_cmpeq_epi32(a.v, b.v))}; }
inline M GreaterI(I a, I b) { return {_mm_castsi128_ps(_mm_cmpgt_epi32(a.v, b.v))}; }
inline void StoreI(std::int32_t* out, I a) { _mm_store_si128(reinterpret_cast<__m128i*>(out), a.v); }
inline F LoadLanes(const float* lanes) { return {_mm_load_ps(lanes)}; }

#include "DxtBlockLanes.inc"

}  // namespace

std::size_t EncodeDxtBlocksSse2(DxtKind kind, const BlockPixels* blocks, std::uint8_t* out, std::size_t count) {
  const std::size_t stride = kind == DxtKind::Dxt1 ? kDxt1BlockBytes : kDxt2To5BlockBytes;
  std::size_t done = 0;
  for (; done + kLanes <= count; done += kLanes) EncodeLanes(kind, blocks + done, out + done * stride);
  return done;
}

}  // namespace rastro

#else

namespace rastro {
std::size_t EncodeDxtBlocksSse2(DxtKind, const BlockPixels*, std::uint8_t*, std::size_t) { return 0; }
}  // namespace rastro

#endif
