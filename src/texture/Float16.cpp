#include "Float16.h"

#include <bit>
#include <cstring>

#include "ProcessorFeatures.h"
#include "d3dx9math.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RASTRO_X86 1
#endif

namespace rastro {

float HalfToFloat(std::uint16_t half) {
  const std::uint32_t sign = (half & 0x8000u) << 16;
  const std::uint32_t exponent = (half >> 10) & 0x1Fu;
  std::uint32_t fraction = half & 0x3FFu;
  if (exponent != 0) return std::bit_cast<float>(sign | ((exponent + 112) << 23) | (fraction << 13));
  if (fraction == 0) return std::bit_cast<float>(sign);
  // A denormal, f * 2^-24: normalise it.
  std::int32_t e = -14;
  while (!(fraction & 0x400u)) {
    fraction <<= 1;
    --e;
  }
  fraction &= 0x3FFu;
  return std::bit_cast<float>(sign | (static_cast<std::uint32_t>(e + 127) << 23) | (fraction << 13));
}

std::uint16_t FloatToHalf(float value) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  const std::uint32_t sign = (bits >> 16) & 0x8000u;
  const std::uint32_t magnitude = bits & 0x7FFFFFFFu;
  // Beyond the largest value (infinities and NaNs too): the largest, keeping the sign.
  if (magnitude > 0x47FFEFFFu) return static_cast<std::uint16_t>(sign | 0x7FFFu);
  if (magnitude >= 0x38800000u) {
    // Re-bias the exponent by -112 and round the fraction to 10 bits, ties to even.
    return static_cast<std::uint16_t>(((magnitude + ((magnitude >> 13) & 1u) - 0x37FFF001u) >> 13) | sign);
  }
  // Denormal results: line the fraction (with its hidden bit) up with 2^-24, then round.
  const std::uint32_t shift = 113 - (magnitude >> 23);
  const std::uint32_t c = shift >= 24 ? 0 : ((magnitude & 0x7FFFFFu) | 0x800000u) >> shift;
  return static_cast<std::uint16_t>(((c + ((c >> 13) & 1u) + 0xFFFu) >> 13) | sign);
}

#if RASTRO_X86
namespace {

// Eight values at a time with the same integer steps as the scalar conversions.
__attribute__((target("avx2"))) std::size_t HalvesToFloatsAvx2(const std::uint8_t* in, float* out, std::size_t n) {
  const __m256i signBit = _mm256_set1_epi32(0x8000);
  const __m256i exponentBits = _mm256_set1_epi32(0x7C00);
  const __m256i magnitudeBits = _mm256_set1_epi32(0x7FFF);
  const __m256i fractionBits = _mm256_set1_epi32(0x3FF);
  const __m256i rebias = _mm256_set1_epi32(112 << 23);
  const __m256 denormalUnit = _mm256_set1_ps(0x1p-24f);
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i h = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i)));
    const __m256i sign = _mm256_slli_epi32(_mm256_and_si256(h, signBit), 16);
    const __m256i normal = _mm256_add_epi32(_mm256_slli_epi32(_mm256_and_si256(h, magnitudeBits), 13), rebias);
    // f * 2^-24 is exact: f converts exactly and the product is a normal float.
    const __m256i denormal =
        _mm256_castps_si256(_mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_and_si256(h, fractionBits)), denormalUnit));
    const __m256i zeroExponent = _mm256_cmpeq_epi32(_mm256_and_si256(h, exponentBits), _mm256_setzero_si256());
    const __m256i bits = _mm256_or_si256(_mm256_blendv_epi8(normal, denormal, zeroExponent), sign);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), bits);
  }
  return i;
}

__attribute__((target("avx2"))) std::size_t FloatsToHalvesAvx2(const float* in, std::uint8_t* out, std::size_t n) {
  const __m256i one = _mm256_set1_epi32(1);
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i bits = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    const __m256i sign = _mm256_and_si256(_mm256_srli_epi32(bits, 16), _mm256_set1_epi32(0x8000));
    const __m256i a = _mm256_and_si256(bits, _mm256_set1_epi32(0x7FFFFFFF));
    const __m256i lsb = _mm256_and_si256(_mm256_srli_epi32(a, 13), one);
    const __m256i normal =
        _mm256_srli_epi32(_mm256_sub_epi32(_mm256_add_epi32(a, lsb), _mm256_set1_epi32(0x37FFF001)), 13);
    // Shift counts of 24 and more leave nothing of a 24-bit fraction; negative ones (normal
    // lanes) shift everything out as well.
    const __m256i shift = _mm256_sub_epi32(_mm256_set1_epi32(113), _mm256_srli_epi32(a, 23));
    const __m256i fraction =
        _mm256_or_si256(_mm256_and_si256(a, _mm256_set1_epi32(0x7FFFFF)), _mm256_set1_epi32(0x800000));
    const __m256i c = _mm256_srlv_epi32(fraction, shift);
    const __m256i small =
        _mm256_srli_epi32(_mm256_add_epi32(_mm256_add_epi32(c, _mm256_and_si256(_mm256_srli_epi32(c, 13), one)),
                                           _mm256_set1_epi32(0xFFF)),
                          13);
    const __m256i isNormal = _mm256_cmpgt_epi32(a, _mm256_set1_epi32(0x387FFFFF));
    const __m256i isLarge = _mm256_cmpgt_epi32(a, _mm256_set1_epi32(0x47FFEFFF));
    __m256i half = _mm256_blendv_epi8(small, normal, isNormal);
    half = _mm256_or_si256(_mm256_blendv_epi8(half, _mm256_set1_epi32(0x7FFF), isLarge), sign);
    // Eight 16-bit results: pack within the halves, then take quarters 0 and 2.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(half, half), _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm256_castsi256_si128(packed));
  }
  return i;
}

}  // namespace
#endif

void HalvesToFloats(const std::uint8_t* in, float* out, std::size_t n) {
  std::size_t done = 0;
#if RASTRO_X86
  if (ActiveVectorLevel() == VectorLevel::Avx2) done = HalvesToFloatsAvx2(in, out, n);
#endif
  for (std::size_t i = done; i < n; ++i) {
    std::uint16_t half;
    std::memcpy(&half, in + 2 * i, 2);
    out[i] = HalfToFloat(half);
  }
}

void FloatsToHalves(const float* in, std::uint8_t* out, std::size_t n) {
  std::size_t done = 0;
#if RASTRO_X86
  if (ActiveVectorLevel() == VectorLevel::Avx2) done = FloatsToHalvesAvx2(in, out, n);
#endif
  for (std::size_t i = done; i < n; ++i) {
    const std::uint16_t half = FloatToHalf(in[i]);
    std::memcpy(out + 2 * i, &half, 2);
  }
}

}  // namespace rastro

D3DXFLOAT16* D3DXFloat32To16Array(D3DXFLOAT16* pOut, const FLOAT* pIn, UINT n) {
  if (pOut && pIn) rastro::FloatsToHalves(pIn, reinterpret_cast<std::uint8_t*>(pOut), n);
  return pOut;
}

FLOAT* D3DXFloat16To32Array(FLOAT* pOut, const D3DXFLOAT16* pIn, UINT n) {
  if (pOut && pIn) rastro::HalvesToFloats(reinterpret_cast<const std::uint8_t*>(pIn), pOut, n);
  return pOut;
}
