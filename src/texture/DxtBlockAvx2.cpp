// The DXT block encoders eight blocks at a time on AVX2. Only the functions below the target
// switch use AVX2; nothing shared with the rest of the program is compiled under it.
#include <cstddef>
#include <cstdint>

#include "DxtBlockVector.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace rastro {
namespace {

constexpr int kLanes = 8;

struct F {
  __m256 v;
};
struct M {
  __m256 v;
};
struct I {
  __m256i v;
};

inline F Splat(float value) { return {_mm256_set1_ps(value)}; }
inline I SplatI(int value) { return {_mm256_set1_epi32(value)}; }
inline F operator+(F a, F b) { return {_mm256_add_ps(a.v, b.v)}; }
inline F operator-(F a, F b) { return {_mm256_sub_ps(a.v, b.v)}; }
inline F operator*(F a, F b) { return {_mm256_mul_ps(a.v, b.v)}; }
inline F operator/(F a, F b) { return {_mm256_div_ps(a.v, b.v)}; }
inline M operator<(F a, F b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_LT_OQ)}; }
inline M operator>(F a, F b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_GT_OQ)}; }
inline M operator<=(F a, F b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_LE_OQ)}; }
inline M operator>=(F a, F b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_GE_OQ)}; }
inline M operator==(F a, F b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_EQ_OQ)}; }
inline M operator!=(F a, F b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_NEQ_UQ)}; }
inline M operator&(M a, M b) { return {_mm256_and_ps(a.v, b.v)}; }
inline M operator|(M a, M b) { return {_mm256_or_ps(a.v, b.v)}; }
inline M operator~(M a) { return {_mm256_xor_ps(a.v, _mm256_castsi256_ps(_mm256_set1_epi32(-1)))}; }
inline F Select(M m, F a, F b) { return {_mm256_blendv_ps(b.v, a.v, m.v)}; }
inline I SelectI(M m, I a, I b) { return {_mm256_blendv_epi8(b.v, a.v, _mm256_castps_si256(m.v))}; }
inline bool Any(M m) { return _mm256_movemask_ps(m.v) != 0; }
inline I Truncate(F a) { return {_mm256_cvttps_epi32(a.v)}; }
inline F ToFloat(I a) { return {_mm256_cvtepi32_ps(a.v)}; }
inline I operator+(I a, I b) { return {_mm256_add_epi32(a.v, b.v)}; }
inline I operator|(I a, I b) { return {_mm256_or_si256(a.v, b.v)}; }
inline I operator&(I a, I b) { return {_mm256_and_si256(a.v, b.v)}; }
inline I ShiftLeft(I a, int bits) { return {_mm256_sll_epi32(a.v, _mm_cvtsi32_si128(bits))}; }
inline I ShiftRight(I a, int bits) { return {_mm256_srl_epi32(a.v, _mm_cvtsi32_si128(bits))}; }
inline M EqualI(I a, I b) { return {_mm256_castsi256_ps(_mm256_cmpeq_epi32(a.v, b.v))}; }
inline M GreaterI(I a, I b) { return {_mm256_castsi256_ps(_mm256_cmpgt_epi32(a.v, b.v))}; }
inline void StoreI(std::int32_t* out, I a) { _mm256_store_si256(reinterpret_cast<__m256i*>(out), a.v); }
inline F LoadLanes(const float* lanes) { return {_mm256_load_ps(lanes)}; }

#include "DxtBlockLanes.inc"

}  // namespace

std::size_t EncodeDxtBlocksAvx2(DxtKind kind, const BlockPixels* blocks, std::uint8_t* out, std::size_t count) {
  const std::size_t stride = kind == DxtKind::Dxt1 ? kDxt1BlockBytes : kDxt2To5BlockBytes;
  std::size_t done = 0;
  for (; done + kLanes <= count; done += kLanes) EncodeLanes(kind, blocks + done, out + done * stride);
  return done;
}

}  // namespace rastro

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#else

namespace rastro {
std::size_t EncodeDxtBlocksAvx2(DxtKind, const BlockPixels*, std::uint8_t*, std::size_t) { return 0; }
}  // namespace rastro

#endif
