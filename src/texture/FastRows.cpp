#include "FastRows.h"

#include <bit>
#include <cstring>
#include <new>

#include "Float16.h"
#include "FloatRounding.h"
#include "PackedLayouts.h"
#include "ProcessorFeatures.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define RASTRO_X86 1
#endif

namespace rastro {

namespace {

constexpr unsigned kOffsetCount = 17;  // the 16 ordered-dither offsets, then plain rounding

const PackedLayout* FastLayout(D3DFORMAT format) {
  using namespace layouts;
  switch (format) {
    case D3DFMT_A8R8G8B8: return &kA8R8G8B8;
    case D3DFMT_X8R8G8B8: return &kX8R8G8B8;
    case D3DFMT_A8B8G8R8: return &kA8B8G8R8;
    case D3DFMT_X8B8G8R8: return &kX8B8G8R8;
    case D3DFMT_R5G6B5: return &kR5G6B5;
    case D3DFMT_X1R5G5B5: return &kX1R5G5B5;
    case D3DFMT_A1R5G5B5: return &kA1R5G5B5;
    case D3DFMT_A4R4G4B4: return &kA4R4G4B4;
    case D3DFMT_X4R4G4B4: return &kX4R4G4B4;
    case D3DFMT_L8: return &kL8;
    case D3DFMT_A8L8: return &kA8L8;
    case D3DFMT_A8: return &kA8;
    default: return nullptr;
  }
}

// Channels of the 16-bit float formats, in memory order R, G, B, A.
unsigned HalfChannels(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_R16F: return 1;
    case D3DFMT_G16R16F: return 2;
    case D3DFMT_A16B16G16R16F: return 4;
    default: return 0;
  }
}

// What a source channel reads as: a field, or a constant when the format does not store it.
struct SourceChannel {
  int shift = -1;  // -1: constant
  unsigned bits = 0;
  float constant = 0.0f;
};

SourceChannel SourceOf(const PackedLayout& layout, int channel) {
  const PackedField* fields[4] = {&layout.red, &layout.green, &layout.blue, &layout.alpha};
  const PackedField& field = layout.luminance && channel < 3 ? layout.red : *fields[channel];
  if (field.bits == 0) return {-1, 0, channel == 3 ? 1.0f : (layout.luminance ? 1.0f : layout.missingColor)};
  return {field.shift, field.bits, 0.0f};
}

// What the source codec's ReadRow gives for field value `value`.
float ReadValue(const SourceChannel& channel, std::uint32_t value) {
  switch (channel.bits) {
    case 0: return channel.constant;
    case 1: return ReadUnsignedField<1>(value);
    case 2: return ReadUnsignedField<2>(value);
    case 3: return ReadUnsignedField<3>(value);
    case 4: return ReadUnsignedField<4>(value);
    case 5: return ReadUnsignedField<5>(value);
    case 6: return ReadUnsignedField<6>(value);
    default: return ReadUnsignedField<8>(value);
  }
}

float OffsetValue(unsigned index) { return index == 16 ? 0.5f : (static_cast<float>(index) + 0.5f) / 16.0f; }

unsigned OffsetIndex(float offset) { return offset == 0.5f ? 16 : static_cast<unsigned>(offset * 16.0f); }

#if RASTRO_X86
// 8-bit channels into fields of at most 8 bits: trunc(c / 255 · M + d) is floor((c · M + E) /
// 255) with E = floor(255 · d), because c · M / 255 + d is never within the float error of a
// whole number (its fraction has an odd numerator over 255 · 32). Sixteen pixels at a time in
// 16-bit lanes, with x / 255 = (x + 1 + (x >> 8)) >> 8 for every x below 65535.
struct Pack16 {
  int sourceShift[4];      // byte position of R, G, B, A in the source pixel; -1: reads as 1
  int destinationBits[4];  // 0: not stored
  int destinationShift[4];
};

__attribute__((target("avx2"))) inline __m256i Quantize255(__m256i c, int bits, __m256i e) {
  __m256i x = _mm256_sub_epi16(_mm256_sll_epi16(c, _mm_cvtsi32_si128(bits)), c);  // c · (2^bits - 1)
  x = _mm256_add_epi16(x, e);
  return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(x, _mm256_set1_epi16(1)), _mm256_srli_epi16(x, 8)), 8);
}

__attribute__((target("avx2"))) UINT Pack16Avx2(const Pack16& pack, const BYTE* in, BYTE* out, UINT width,
                                                const float* offsets) {
  // E for pixel phases 0-3, repeated over the sixteen lanes.
  __m256i e;
  {
    alignas(32) std::int16_t lanes[16];
    for (int i = 0; i < 16; ++i) lanes[i] = static_cast<std::int16_t>(static_cast<int>(255.0f * offsets[i & 3]));
    e = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes));
  }
  const __m256i lowByte = _mm256_set1_epi16(0xFF);
  const __m256i low16 = _mm256_set1_epi32(0xFFFF);
  UINT x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * std::size_t{x}));
    const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * std::size_t{x} + 32));
    // Bytes 0-1 and 2-3 of every pixel in 16-bit lanes, pixels back in order.
    const __m256i bytes01 = _mm256_permute4x64_epi64(
        _mm256_packus_epi32(_mm256_and_si256(first, low16), _mm256_and_si256(second, low16)), _MM_SHUFFLE(3, 1, 2, 0));
    const __m256i bytes23 = _mm256_permute4x64_epi64(
        _mm256_packus_epi32(_mm256_srli_epi32(first, 16), _mm256_srli_epi32(second, 16)), _MM_SHUFFLE(3, 1, 2, 0));
    const __m256i channelBytes[4] = {_mm256_and_si256(bytes01, lowByte), _mm256_srli_epi16(bytes01, 8),
                                     _mm256_and_si256(bytes23, lowByte), _mm256_srli_epi16(bytes23, 8)};
    __m256i result = _mm256_setzero_si256();
    for (int channel = 0; channel < 4; ++channel) {
      const int bits = pack.destinationBits[channel];
      if (bits == 0) continue;
      const __m256i c =
          pack.sourceShift[channel] < 0 ? _mm256_set1_epi16(255) : channelBytes[pack.sourceShift[channel] / 8];
      const __m256i q = Quantize255(c, bits, e);
      result = _mm256_or_si256(result, _mm256_sll_epi16(q, _mm_cvtsi32_si128(pack.destinationShift[channel])));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * std::size_t{x}), result);
  }
  return x;
}

bool ProcessorHasF16c() {
  static const bool has = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) && ((c >> 29) & 1u) != 0;
  }();
  return has;
}

// Whether c · (1 / 255) in float rounds to the same 16-bit float as the exactly rounded
// c / 255 that the codecs read, for every byte c. Checked once rather than assumed.
bool FloatProductGivesTheSameHalves() {
  static const bool same = [] {
    RoundToNearestScope rounding;
    for (std::uint32_t c = 0; c < 256; ++c) {
      const volatile float product = static_cast<float>(c) * (1.0f / 255.0f);
      if (FloatToHalf(product) != FloatToHalf(ReadUnsignedField<8>(c))) return false;
    }
    return true;
  }();
  return same;
}

// 8-bit channels into 16-bit floats, converted with rounding to nearest as the codecs'
// conversion does for values in [0, 1]. The float is c · (1 / 255) (see above), or else the
// double product rounded once to float, which is the correctly rounded quotient (the packed
// codecs' vector read).
template <bool FloatProduct>
__attribute__((target("avx2,f16c"))) UINT HalvesFrom8888(const BYTE* in, BYTE* out, UINT width, bool bgra,
                                                         bool opaque) {
  const __m128i order = bgra ? _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15)
                             : _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m128i alpha = _mm_set1_epi32(opaque ? static_cast<int>(0xFF000000u) : 0);
  const __m256 reciprocal = _mm256_set1_ps(1.0f / 255.0f);
  const __m256d exactReciprocal = _mm256_set1_pd(1.0 / 255.0);
  UINT x = 0;
  for (; x + 4 <= width; x += 4) {
    __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * std::size_t{x}));
    pixels = _mm_or_si128(_mm_shuffle_epi8(pixels, order), alpha);
    for (int pair = 0; pair < 2; ++pair) {
      const __m256i channels = _mm256_cvtepu8_epi32(pair ? _mm_srli_si128(pixels, 8) : pixels);
      __m256 values;
      if constexpr (FloatProduct) {
        values = _mm256_mul_ps(_mm256_cvtepi32_ps(channels), reciprocal);
      } else {
        const __m128 first =
            _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(channels)), exactReciprocal));
        const __m128 second =
            _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(channels, 1)), exactReciprocal));
        values = _mm256_set_m128(second, first);
      }
      const __m128i halves = _mm256_cvtps_ph(values, _MM_FROUND_TO_NEAREST_INT);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * std::size_t{x} + 16 * pair), halves);
    }
  }
  return x;
}

// Fields copied byte for byte and constant fields: (pixel & keep) | set, eight pixels at a time.
__attribute__((target("avx2"))) UINT MaskAvx2(std::uint32_t keep, std::uint32_t set, const BYTE* in, BYTE* out,
                                              UINT width) {
  const __m256i keepMask = _mm256_set1_epi32(static_cast<int>(keep));
  const __m256i setBits = _mm256_set1_epi32(static_cast<int>(set));
  UINT x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * std::size_t{x}));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * std::size_t{x}),
                        _mm256_or_si256(_mm256_and_si256(pixels, keepMask), setBits));
  }
  return x;
}
#endif

// Four destination fields, each from one source field through the table of its dither
// column; a field the destination lacks reads a table of one zero.
struct RowTables {
  const std::uint32_t* table[4][4];  // [x & 3][field]
  unsigned shift[4];                 // of the source field
  std::uint32_t mask[4];
  unsigned place[4];  // of the destination field
};

template <unsigned SourceBytes, unsigned DestinationBytes>
void ConvertWithTables(const RowTables& tables, const BYTE* in, BYTE* out, UINT x, UINT width) {
  for (; x < width; ++x) {
    const std::uint32_t pixel = static_cast<std::uint32_t>(LoadPixel<SourceBytes>(in + std::size_t{x} * SourceBytes));
    const std::uint32_t* const* table = tables.table[x & 3];
    std::uint64_t result = 0;
    for (int c = 0; c < 4; ++c)
      result |= std::uint64_t{table[c][(pixel >> tables.shift[c]) & tables.mask[c]]} << tables.place[c];
    StorePixel<DestinationBytes>(out + std::size_t{x} * DestinationBytes, result);
  }
}

}  // namespace

struct FastRowConverter::Channel {
  SourceChannel source;
  unsigned destinationBits = 0;  // 0 for half floats
  unsigned destinationShift = 0;
  bool luminance = false;  // L of a grey source (R = G = B)
  std::uint32_t mask = 0;  // of the source field after shifting
  std::unique_ptr<std::uint32_t[]> tables[kOffsetCount];
};

FastRowConverter::~FastRowConverter() = default;

std::unique_ptr<FastRowConverter> FastRowConverter::Create(const PixelCodec& destination, const PixelCodec& source) {
  if (!destination.Flags().RegionRebased || !source.Flags().RegionRebased) return nullptr;
  if (source.Flags().ColorKeyed || source.Flags().Srgb || destination.Flags().Srgb) return nullptr;
  if (destination.Conversion() != ChannelRange{}) return nullptr;
  const PackedLayout* from = FastLayout(source.Format());
  if (!from) return nullptr;
  const PackedLayout* to = FastLayout(destination.Format());
  const unsigned halves = HalfChannels(destination.Format());
  if (!to && halves == 0) return nullptr;

  std::unique_ptr<FastRowConverter> converter(new (std::nothrow) FastRowConverter);
  if (!converter) return nullptr;
  converter->sourceBytes_ = from->bytes;
  converter->sourceFormat_ = source.Format();
  converter->destinationFormat_ = destination.Format();
  auto addChannel = [&](int sourceChannel, unsigned bits, unsigned shift, bool luminance) {
    Channel channel;
    channel.source = SourceOf(*from, sourceChannel);
    channel.destinationBits = bits;
    channel.destinationShift = shift;
    channel.luminance = luminance;
    channel.mask = channel.source.shift < 0 ? 0 : FieldMax(channel.source.bits);
    converter->channels_.push_back(std::move(channel));
  };
  if (halves) {
    converter->halfFloat_ = true;
    converter->destinationBytes_ = 2 * halves;
    for (unsigned c = 0; c < halves; ++c) addChannel(static_cast<int>(c), 0, 16 * c, false);
    return converter;
  }
  converter->destinationBytes_ = to->bytes;
  const PackedField* fields[4] = {&to->red, &to->green, &to->blue, &to->alpha};
  if (to->luminance) {
    // Luminance depends on one source field only when R, G and B read the same value.
    const bool grey = from->luminance || (from->red.bits == 0 && from->green.bits == 0 && from->blue.bits == 0);
    // From colour it depends on three: the codecs compute it (with their vector paths).
    if (!grey) return nullptr;
    addChannel(0, to->red.bits, to->red.shift, true);
    if (to->alpha.bits) addChannel(3, to->alpha.bits, to->alpha.shift, false);
    return converter;
  }
  for (int c = 0; c < 4; ++c) {
    if (fields[c]->bits) addChannel(c, fields[c]->bits, fields[c]->shift, false);
  }
  return converter;
}

const std::uint32_t* FastRowConverter::Table(std::size_t index, unsigned offsetIndex) {
  Channel& channel = channels_[index];
  std::unique_ptr<std::uint32_t[]>& table = channel.tables[halfFloat_ ? 16 : offsetIndex];
  if (table) return table.get();
  const std::size_t entries = std::size_t{channel.mask} + 1;
  table.reset(new (std::nothrow) std::uint32_t[entries]);
  if (!table) return nullptr;
  const float offset = OffsetValue(offsetIndex);
  // The codecs' own steps: ReadRow's value, then WriteRow's quantisation under its rounding.
  for (std::uint32_t value = 0; value < entries; ++value) {
    float v;
    {
      RoundToNearestScope reading;
      v = ReadValue(channel.source, value);
    }
    if (halfFloat_) {
      table[value] = FloatToHalf(v);
    } else {
      RoundTowardZeroScope writing;
      const float stored = channel.luminance ? Luminance(FloatRgba{v, v, v, 1.0f}) : v;
      table[value] = QuantizeUnsigned(stored, static_cast<float>(FieldMax(channel.destinationBits)), offset);
    }
  }
  return table.get();
}

bool FastRowConverter::ConvertRow(const BYTE* in, BYTE* out, UINT width, const float* offsets) {
  UINT x = 0;
#if RASTRO_X86
  if (halfFloat_ && destinationBytes_ == 8 && sourceBytes_ == 4 && ActiveVectorLevel() == VectorLevel::Avx2 &&
      ProcessorHasF16c()) {
    const bool bgra = sourceFormat_ == D3DFMT_A8R8G8B8 || sourceFormat_ == D3DFMT_X8R8G8B8;
    const bool opaque = sourceFormat_ == D3DFMT_X8R8G8B8 || sourceFormat_ == D3DFMT_X8B8G8R8;
    RoundToNearestScope reading;
    x = FloatProductGivesTheSameHalves() ? HalvesFrom8888<true>(in, out, width, bgra, opaque)
                                         : HalvesFrom8888<false>(in, out, width, bgra, opaque);
  }
  if (!halfFloat_ && ActiveVectorLevel() == VectorLevel::Avx2 && sourceBytes_ == 4) {
    // Whole bytes kept in place, and constants: a mask.
    std::uint32_t keep = 0, set = 0;
    bool masks = destinationBytes_ == 4;
    Pack16 pack{{-1, -1, -1, -1}, {}, {}};
    bool packs = destinationBytes_ == 2;
    const PackedLayout* from = FastLayout(sourceFormat_);
    const PackedLayout* to = FastLayout(destinationFormat_);
    const PackedField* toFields[4] = {&to->red, &to->green, &to->blue, &to->alpha};
    for (int c = 0; c < 4; ++c) {
      const PackedField& field = *toFields[c];
      if (field.bits == 0) continue;
      const SourceChannel source = SourceOf(*from, c);
      if (to->luminance || from->luminance || (source.shift >= 0 && source.bits != 8) ||
          (source.shift < 0 && source.constant != 1.0f)) {
        masks = packs = false;
        break;
      }
      if (source.shift < 0) {
        set |= FieldMax(field.bits) << field.shift;  // reads 1: the field's maximum at any offset
      } else if (field.bits == 8 && source.shift == field.shift) {
        keep |= 0xFFu << field.shift;
      } else {
        masks = false;
      }
      pack.sourceShift[c] = source.shift;
      pack.destinationBits[c] = field.bits;
      pack.destinationShift[c] = field.shift;
    }
    if (masks) x = MaskAvx2(keep, set, in, out, width);
    if (packs) x = Pack16Avx2(pack, in, out, width, offsets);
  }
#endif
  if (x >= width) return true;

  // The tables of this row's four offsets; missing channels read a table of one zero.
  static const std::uint32_t kNothing[1] = {0};
  RowTables tables;
  for (unsigned phase = 0; phase < 4; ++phase) {
    for (std::size_t c = 0; c < 4; ++c) {
      tables.table[phase][c] = kNothing;
      if (c >= channels_.size()) continue;
      tables.table[phase][c] = Table(c, OffsetIndex(offsets[phase]));
      if (!tables.table[phase][c]) return false;
    }
  }
  for (std::size_t c = 0; c < 4; ++c) {
    const bool present = c < channels_.size() && channels_[c].source.shift >= 0;
    tables.shift[c] = present ? static_cast<unsigned>(channels_[c].source.shift) : 0;
    tables.mask[c] = present ? channels_[c].mask : 0;
    tables.place[c] = c < channels_.size() ? channels_[c].destinationShift : 0;
  }
  switch (sourceBytes_ * 16 + destinationBytes_) {
    case 4 * 16 + 4: ConvertWithTables<4, 4>(tables, in, out, x, width); break;
    case 4 * 16 + 2: ConvertWithTables<4, 2>(tables, in, out, x, width); break;
    case 4 * 16 + 1: ConvertWithTables<4, 1>(tables, in, out, x, width); break;
    case 4 * 16 + 8: ConvertWithTables<4, 8>(tables, in, out, x, width); break;
    case 2 * 16 + 4: ConvertWithTables<2, 4>(tables, in, out, x, width); break;
    case 2 * 16 + 2: ConvertWithTables<2, 2>(tables, in, out, x, width); break;
    case 2 * 16 + 1: ConvertWithTables<2, 1>(tables, in, out, x, width); break;
    case 2 * 16 + 8: ConvertWithTables<2, 8>(tables, in, out, x, width); break;
    case 1 * 16 + 4: ConvertWithTables<1, 4>(tables, in, out, x, width); break;
    case 1 * 16 + 2: ConvertWithTables<1, 2>(tables, in, out, x, width); break;
    case 1 * 16 + 1: ConvertWithTables<1, 1>(tables, in, out, x, width); break;
    default: ConvertWithTables<1, 8>(tables, in, out, x, width); break;
  }
  return true;
}

}  // namespace rastro
