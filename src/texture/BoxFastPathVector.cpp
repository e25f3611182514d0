// The SSE2 form of the four-channel halving routine. Bytes widen to 16-bit lanes, so the sum
// of four bytes plus the bias never overflows, and the result packs back with saturation: the
// same integers as the portable routine, eight source pixels (four destination pixels) a step.
#include <cstddef>

#include "BoxFastPath.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rastro {

#if defined(__SSE2__)
namespace {

// Two destination pixels from four source pixels of each row, as eight 16-bit lanes.
inline __m128i SumPairs(__m128i upper, __m128i lower, bool high) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = high ? _mm_unpackhi_epi8(upper, zero) : _mm_unpacklo_epi8(upper, zero);
  __m128i b = high ? _mm_unpackhi_epi8(lower, zero) : _mm_unpacklo_epi8(lower, zero);
  // Lanes 0-3: pixel 2k of both rows; lanes 4-7: pixel 2k + 1.
  __m128i vertical = _mm_add_epi16(a, b);
  return _mm_add_epi16(vertical, _mm_srli_si128(vertical, 8));
}

inline __m128i Average(__m128i upper, __m128i lower) {
  const __m128i bias = _mm_set1_epi16(2);
  __m128i first = SumPairs(upper, lower, false);  // destination pixel 0 in lanes 0-3
  __m128i second = SumPairs(upper, lower, true);  // destination pixel 1 in lanes 0-3
  __m128i sums = _mm_unpacklo_epi64(first, second);
  return _mm_srli_epi16(_mm_add_epi16(sums, bias), 2);
}

}  // namespace
#endif

void HalveFourChannelVector(const BYTE* source, BYTE* destination, UINT sourceWidth, UINT sourceHeight,
                            UINT sourcePitch, UINT destinationPitch) {
#if defined(__SSE2__)
  if (sourceWidth % 4 != 0) {
    HalveFourChannelPortable(source, destination, sourceWidth, sourceHeight, sourcePitch, destinationPitch);
    return;
  }
  const UINT height = sourceHeight / 2;
  const std::size_t rowBytes = std::size_t{sourceWidth} * 4;
  for (UINT y = 0; y < height; ++y) {
    const BYTE* upper = source + std::size_t{sourcePitch} * (2 * y);
    const BYTE* lower = source + std::size_t{sourcePitch} * (2 * y + 1);
    BYTE* out = destination + std::size_t{destinationPitch} * y;
    std::size_t x = 0;
    for (; x + 32 <= rowBytes; x += 32, out += 16) {
      __m128i u0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + x));
      __m128i l0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + x));
      __m128i u1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + x + 16));
      __m128i l1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + x + 16));
      __m128i packed = _mm_packus_epi16(Average(u0, l0), Average(u1, l1));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), packed);
    }
    if (x < rowBytes) {  // four source pixels left
      __m128i u0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + x));
      __m128i l0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + x));
      __m128i packed = _mm_packus_epi16(Average(u0, l0), _mm_setzero_si128());
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
    }
  }
#else
  HalveFourChannelPortable(source, destination, sourceWidth, sourceHeight, sourcePitch, destinationPitch);
#endif
}

}  // namespace rastro
