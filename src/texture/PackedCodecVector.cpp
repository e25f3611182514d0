// Vector paths of the packed codecs for the formats that conversions meet most: the 32-bit
// 8-bit-per-channel formats (read and write), the 16-bit RGB formats and L8 (write). They give
// exactly the results of the portable loops in PackedCodec.h:
//  - reading computes field / 255 as the double product field * (1 / 255) rounded once to
//    float; field / 255 never lies within 2^-30 of a point halfway between two floats, so that
//    rounding gives the correctly rounded quotient;
//  - writing runs under the caller's round-toward-zero mode, which the vector units honour, and
//    does the same multiply, add, clamp and truncation per channel.
#include <cstring>

#include "FloatRounding.h"
#include "PackedCodec.h"
#include "ProcessorFeatures.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RASTRO_X86 1
#endif

namespace rastro {

#if RASTRO_X86
namespace {

// Memory order of the four bytes of the 32-bit formats.
enum class ByteOrder { Bgra, Rgba };

template <ByteOrder Order, bool HasAlpha>
UINT Read8888Sse2(const BYTE* source, FloatRgba* out, UINT count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128d reciprocal = _mm_set1_pd(1.0 / 255.0);
  const __m128 colorMask = _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1));
  const __m128 opaque = _mm_set_ps(1.0f, 0.0f, 0.0f, 0.0f);
  UINT x = 0;
  for (; x + 4 <= count; x += 4) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * static_cast<std::size_t>(x)));
    const __m128i low = _mm_unpacklo_epi8(pixels, zero);
    const __m128i high = _mm_unpackhi_epi8(pixels, zero);
    const __m128i fields[4] = {_mm_unpacklo_epi16(low, zero), _mm_unpackhi_epi16(low, zero),
                               _mm_unpacklo_epi16(high, zero), _mm_unpackhi_epi16(high, zero)};
    for (int k = 0; k < 4; ++k) {
      const __m128d first = _mm_mul_pd(_mm_cvtepi32_pd(fields[k]), reciprocal);
      const __m128d second = _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(fields[k], 0xEE)), reciprocal);
      __m128 value = _mm_movelh_ps(_mm_cvtpd_ps(first), _mm_cvtpd_ps(second));
      if constexpr (Order == ByteOrder::Bgra) value = _mm_shuffle_ps(value, value, _MM_SHUFFLE(3, 0, 1, 2));
      if constexpr (!HasAlpha) value = _mm_or_ps(_mm_and_ps(value, colorMask), opaque);
      _mm_storeu_ps(&out[x + k].R, value);
    }
  }
  return x;
}

template <ByteOrder Order, bool HasAlpha>
__attribute__((target("avx2"))) UINT Read8888Avx2(const BYTE* source, FloatRgba* out, UINT count) {
  const __m256d reciprocal = _mm256_set1_pd(1.0 / 255.0);
  const __m128 colorMask = _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1));
  const __m128 opaque = _mm_set_ps(1.0f, 0.0f, 0.0f, 0.0f);
  for (UINT x = 0; x < count; ++x) {
    std::int32_t pixel;
    std::memcpy(&pixel, source + 4 * static_cast<std::size_t>(x), 4);
    const __m128i fields = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(pixel));
    __m128 value = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtepi32_pd(fields), reciprocal));
    if constexpr (Order == ByteOrder::Bgra) value = _mm_shuffle_ps(value, value, _MM_SHUFFLE(3, 0, 1, 2));
    if constexpr (!HasAlpha) value = _mm_or_ps(_mm_and_ps(value, colorMask), opaque);
    _mm_storeu_ps(&out[x].R, value);
  }
  return count;
}

// Quantises one pixel (R, G, B, A lanes) to int32 lanes: trunc(v * scale + offset) held to
// [0, scale]. A lane with scale 0 gives 0.
inline __m128i QuantizeLanes(__m128 value, __m128 scale, __m128 offset) {
  __m128 x = _mm_add_ps(_mm_mul_ps(value, scale), offset);
  x = _mm_max_ps(x, _mm_setzero_ps());  // NaN becomes 0
  x = _mm_min_ps(x, scale);
  return _mm_cvttps_epi32(x);
}

template <ByteOrder Order, bool HasAlpha>
UINT Write8888Sse2(const FloatRgba* in, BYTE* destination, UINT count, const float* offsets) {
  const float alphaScale = HasAlpha ? 255.0f : 0.0f;
  // Lanes in memory order: B, G, R, A or R, G, B, A.
  const __m128 scale = _mm_set_ps(alphaScale, 255.0f, 255.0f, 255.0f);
  __m128 offset[4];
  for (int k = 0; k < 4; ++k) offset[k] = _mm_set_ps(HasAlpha ? offsets[k] : 0.0f, offsets[k], offsets[k], offsets[k]);
  UINT x = 0;
  for (; x + 4 <= count; x += 4) {
    __m128i lanes[4];
    for (int k = 0; k < 4; ++k) {
      __m128 value = _mm_loadu_ps(&in[x + k].R);
      if constexpr (Order == ByteOrder::Bgra) value = _mm_shuffle_ps(value, value, _MM_SHUFFLE(3, 0, 1, 2));
      lanes[k] = QuantizeLanes(value, scale, offset[k]);
    }
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(lanes[0], lanes[1]), _mm_packs_epi32(lanes[2], lanes[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * static_cast<std::size_t>(x)), bytes);
  }
  return x;
}

template <ByteOrder Order, bool HasAlpha>
__attribute__((target("avx2"))) UINT Write8888Avx2(const FloatRgba* in, BYTE* destination, UINT count,
                                                   const float* offsets) {
  const float alphaScale = HasAlpha ? 255.0f : 0.0f;
  const __m256 scale = _mm256_set_ps(alphaScale, 255.0f, 255.0f, 255.0f, alphaScale, 255.0f, 255.0f, 255.0f);
  const __m256 zero = _mm256_setzero_ps();
  auto alphaOffset = [&](int k) { return HasAlpha ? offsets[k] : 0.0f; };
  // Pixels x and x + 1 share a register: offsets of positions (0, 1) and (2, 3).
  const __m256 offset01 = _mm256_set_ps(alphaOffset(1), offsets[1], offsets[1], offsets[1], alphaOffset(0), offsets[0],
                                        offsets[0], offsets[0]);
  const __m256 offset23 = _mm256_set_ps(alphaOffset(3), offsets[3], offsets[3], offsets[3], alphaOffset(2), offsets[2],
                                        offsets[2], offsets[2]);
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  UINT x = 0;
  for (; x + 8 <= count; x += 8) {
    __m256i lanes[4];
    for (int k = 0; k < 4; ++k) {
      __m256 value = _mm256_loadu_ps(&in[x + 2 * k].R);
      if constexpr (Order == ByteOrder::Bgra) value = _mm256_permute_ps(value, _MM_SHUFFLE(3, 0, 1, 2));
      __m256 v = _mm256_add_ps(_mm256_mul_ps(value, scale), (k & 1) ? offset23 : offset01);
      v = _mm256_max_ps(v, zero);
      v = _mm256_min_ps(v, scale);
      lanes[k] = _mm256_cvttps_epi32(v);
    }
    // packs/packus work within 128-bit halves: the pixels come out as 0 2 4 6 1 3 5 7.
    const __m256i packed =
        _mm256_packus_epi16(_mm256_packs_epi32(lanes[0], lanes[1]), _mm256_packs_epi32(lanes[2], lanes[3]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + 4 * static_cast<std::size_t>(x)),
                        _mm256_permutevar8x32_epi32(packed, order));
  }
  return x;
}

// The 16-bit RGB formats: per-lane maxima and the multipliers that move each field to its
// place (all fields are combined by addition, which equals OR for disjoint fields).
struct Packing16 {
  float scale[4];         // R, G, B, A
  std::int16_t place[4];  // 2^shift as a 16-bit lane (0x8000 for bit 15)
};

constexpr Packing16 kR5G6B5{{31, 63, 31, 0}, {1 << 11, 1 << 5, 1, 0}};
constexpr Packing16 kX1R5G5B5{{31, 31, 31, 0}, {1 << 10, 1 << 5, 1, 0}};
constexpr Packing16 kA1R5G5B5{{31, 31, 31, 1}, {1 << 10, 1 << 5, 1, static_cast<std::int16_t>(0x8000)}};
constexpr Packing16 kA4R4G4B4{{15, 15, 15, 15}, {1 << 8, 1 << 4, 1, 1 << 12}};
constexpr Packing16 kX4R4G4B4{{15, 15, 15, 0}, {1 << 8, 1 << 4, 1, 0}};

UINT Write16Sse2(const Packing16& packing, const FloatRgba* in, BYTE* destination, UINT count, const float* offsets) {
  const __m128 scale = _mm_loadu_ps(packing.scale);
  const __m128 alphaUsed = _mm_cmpgt_ps(scale, _mm_setzero_ps());
  __m128 offset[4];
  for (int k = 0; k < 4; ++k) offset[k] = _mm_and_ps(_mm_set1_ps(offsets[k]), alphaUsed);
  const __m128i place = _mm_set_epi16(packing.place[3], packing.place[2], packing.place[1], packing.place[0],
                                      packing.place[3], packing.place[2], packing.place[1], packing.place[0]);
  const __m128i ones = _mm_set1_epi16(1);
  UINT x = 0;
  for (; x + 4 <= count; x += 4) {
    __m128i sums[2];
    for (int pair = 0; pair < 2; ++pair) {
      const __m128i first = QuantizeLanes(_mm_loadu_ps(&in[x + 2 * pair].R), scale, offset[2 * pair]);
      const __m128i second = QuantizeLanes(_mm_loadu_ps(&in[x + 2 * pair + 1].R), scale, offset[2 * pair + 1]);
      // Fields as 16-bit lanes, moved into place, then summed in pairs: R + G and B + A.
      const __m128i placed = _mm_mullo_epi16(_mm_packs_epi32(first, second), place);
      const __m128i halves = _mm_madd_epi16(placed, ones);
      sums[pair] = _mm_add_epi32(halves, _mm_shuffle_epi32(halves, _MM_SHUFFLE(2, 3, 0, 1)));  // lanes 0, 2
    }
    // Pixels in lanes 0 and 2 of each: gather them, keep their low 16 bits, store.
    __m128i pixels = _mm_unpacklo_epi64(_mm_shuffle_epi32(sums[0], _MM_SHUFFLE(3, 1, 2, 0)),
                                        _mm_shuffle_epi32(sums[1], _MM_SHUFFLE(3, 1, 2, 0)));
    pixels = _mm_srai_epi32(_mm_slli_epi32(pixels, 16), 16);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(destination + 2 * static_cast<std::size_t>(x)),
                     _mm_packs_epi32(pixels, pixels));
  }
  return x;
}

UINT WriteL8Sse2(const FloatRgba* in, BYTE* destination, UINT count, const float* offsets) {
  const __m128 red = _mm_set1_ps(0.2125f), green = _mm_set1_ps(0.7154f), blue = _mm_set1_ps(0.0721f);
  const __m128 scale = _mm_set1_ps(255.0f);
  const __m128 offset = _mm_loadu_ps(offsets);  // positions 0..3
  UINT x = 0;
  for (; x + 4 <= count; x += 4) {
    __m128 r = _mm_loadu_ps(&in[x].R), g = _mm_loadu_ps(&in[x + 1].R);
    __m128 b = _mm_loadu_ps(&in[x + 2].R), a = _mm_loadu_ps(&in[x + 3].R);
    _MM_TRANSPOSE4_PS(r, g, b, a);
    const __m128 luminance = _mm_add_ps(_mm_add_ps(_mm_mul_ps(red, r), _mm_mul_ps(green, g)), _mm_mul_ps(blue, b));
    const __m128i lanes = QuantizeLanes(luminance, scale, offset);
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(lanes, lanes), _mm_setzero_si128());
    const std::int32_t four = _mm_cvtsi128_si32(bytes);
    std::memcpy(destination + x, &four, 4);
  }
  return x;
}

}  // namespace

UINT ReadPackedVector(D3DFORMAT format, const BYTE* source, FloatRgba* out, UINT count) {
  const VectorLevel level = ActiveVectorLevel();
  if (level == VectorLevel::Portable) return 0;
  const bool avx2 = level == VectorLevel::Avx2;
  switch (format) {
    case D3DFMT_A8R8G8B8:
      return avx2 ? Read8888Avx2<ByteOrder::Bgra, true>(source, out, count)
                  : Read8888Sse2<ByteOrder::Bgra, true>(source, out, count);
    case D3DFMT_X8R8G8B8:
      return avx2 ? Read8888Avx2<ByteOrder::Bgra, false>(source, out, count)
                  : Read8888Sse2<ByteOrder::Bgra, false>(source, out, count);
    case D3DFMT_A8B8G8R8:
      return avx2 ? Read8888Avx2<ByteOrder::Rgba, true>(source, out, count)
                  : Read8888Sse2<ByteOrder::Rgba, true>(source, out, count);
    case D3DFMT_X8B8G8R8:
      return avx2 ? Read8888Avx2<ByteOrder::Rgba, false>(source, out, count)
                  : Read8888Sse2<ByteOrder::Rgba, false>(source, out, count);
    default: return 0;
  }
}

UINT WritePackedVector(D3DFORMAT format, const FloatRgba* in, BYTE* destination, UINT count, const float* offsets) {
  const VectorLevel level = ActiveVectorLevel();
  if (level == VectorLevel::Portable) return 0;
  const bool avx2 = level == VectorLevel::Avx2;
  switch (format) {
    case D3DFMT_A8R8G8B8:
      return avx2 ? Write8888Avx2<ByteOrder::Bgra, true>(in, destination, count, offsets)
                  : Write8888Sse2<ByteOrder::Bgra, true>(in, destination, count, offsets);
    case D3DFMT_X8R8G8B8:
      return avx2 ? Write8888Avx2<ByteOrder::Bgra, false>(in, destination, count, offsets)
                  : Write8888Sse2<ByteOrder::Bgra, false>(in, destination, count, offsets);
    case D3DFMT_A8B8G8R8:
      return avx2 ? Write8888Avx2<ByteOrder::Rgba, true>(in, destination, count, offsets)
                  : Write8888Sse2<ByteOrder::Rgba, true>(in, destination, count, offsets);
    case D3DFMT_X8B8G8R8:
      return avx2 ? Write8888Avx2<ByteOrder::Rgba, false>(in, destination, count, offsets)
                  : Write8888Sse2<ByteOrder::Rgba, false>(in, destination, count, offsets);
    case D3DFMT_R5G6B5: return Write16Sse2(kR5G6B5, in, destination, count, offsets);
    case D3DFMT_X1R5G5B5: return Write16Sse2(kX1R5G5B5, in, destination, count, offsets);
    case D3DFMT_A1R5G5B5: return Write16Sse2(kA1R5G5B5, in, destination, count, offsets);
    case D3DFMT_A4R4G4B4: return Write16Sse2(kA4R4G4B4, in, destination, count, offsets);
    case D3DFMT_X4R4G4B4: return Write16Sse2(kX4R4G4B4, in, destination, count, offsets);
    case D3DFMT_L8: return WriteL8Sse2(in, destination, count, offsets);
    default: return 0;
  }
}

#else

UINT ReadPackedVector(D3DFORMAT, const BYTE*, FloatRgba*, UINT) { return 0; }
UINT WritePackedVector(D3DFORMAT, const FloatRgba*, BYTE*, UINT, const float*) { return 0; }

#endif

}  // namespace rastro
