#include "DxtBlock.h"

#include <array>
#include <cstring>
#include <utility>

#include "DxtBlockVector.h"
#include "FloatRounding.h"
#include "ProcessorFeatures.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rastro {
namespace {

// i / 31 and i / 63, exactly as the division gives them.
constexpr std::array<float, 32> kExpand5 = [] {
  std::array<float, 32> table{};
  for (int i = 0; i < 32; ++i) table[i] = static_cast<float>(i) / 31.0f;
  return table;
}();
constexpr std::array<float, 64> kExpand6 = [] {
  std::array<float, 64> table{};
  for (int i = 0; i < 64; ++i) table[i] = static_cast<float>(i) / 63.0f;
  return table;
}();

constexpr float kOneThird = 0.33333334f;
constexpr float kTwoThirds = 0.6666667f;
constexpr float kOneFifteenth = 0.06666667f;
constexpr float kOneFifth = 0.2f;
constexpr float kOneSeventh = 0.14285715f;

constexpr Float3 kWeights{kChannelWeights[0], kChannelWeights[1], kChannelWeights[2]};
constexpr Float3 kInverseWeights{kInverseChannelWeights[0], kInverseChannelWeights[1], kInverseChannelWeights[2]};

std::uint16_t ReadU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t ReadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void WriteU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void WriteU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Clamps into [0, 1]; NaN becomes 0.
float Clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

Float3 Rgb(const float (&pixel)[4]) { return {pixel[0], pixel[1], pixel[2]}; }

// The encoders' working copy: every channel within [0, 1], so that all later conversions to
// integers stay in range.
void CopyClamped(BlockPixels& out, const BlockPixels& in) {
  for (int i = 0; i < 16; ++i)
    for (int c = 0; c < 4; ++c) out.rgba[i][c] = Clamp01(in.rgba[i][c]);
}

// trunc(v · levels + 0.5) / levels, for v that error diffusion may have pushed a little outside
// [0, 1]; deliberately not clamped so that the error stays what was really lost.
float QuantizeUnclamped(float v, float levels) {
  return static_cast<float>(static_cast<int>(v * levels + 0.5f)) / levels;
}

void DecodeColorBlock(BlockPixels& out, const std::uint8_t* block) {
  const std::uint16_t c0 = ReadU16(block);
  const std::uint16_t c1 = ReadU16(block + 2);
  const std::uint32_t indices = ReadU32(block + 4);

  float palette[4][4];
  const Float3 p0 = ExpandColor565(c0);
  const Float3 p1 = ExpandColor565(c1);
  const float end0[4] = {p0.r, p0.g, p0.b, 1.0f};
  const float end1[4] = {p1.r, p1.g, p1.b, 1.0f};
  for (int c = 0; c < 4; ++c) {
    palette[0][c] = end0[c];
    palette[1][c] = end1[c];
    const float delta = end1[c] - end0[c];
    if (c0 > c1) {
      palette[2][c] = end0[c] + delta * kOneThird;
      palette[3][c] = end0[c] + delta * kTwoThirds;
    } else {
      palette[2][c] = end0[c] + delta * 0.5f;
      palette[3][c] = 0.0f;
    }
  }
  for (int i = 0; i < 16; ++i) std::memcpy(out.rgba[i], palette[(indices >> (2 * i)) & 3], sizeof palette[0]);
}

#if defined(__SSE2__)
// The same palette with the four channels of an entry in one register: the same products and
// sums per channel, so the same floats.
void DecodeColorBlockSse2(BlockPixels& out, const std::uint8_t* block) {
  const std::uint16_t c0 = ReadU16(block);
  const std::uint16_t c1 = ReadU16(block + 2);
  const std::uint32_t indices = ReadU32(block + 4);
  const Float3 p0 = ExpandColor565(c0);
  const Float3 p1 = ExpandColor565(c1);
  __m128 palette[4];
  palette[0] = _mm_setr_ps(p0.r, p0.g, p0.b, 1.0f);
  palette[1] = _mm_setr_ps(p1.r, p1.g, p1.b, 1.0f);
  const __m128 delta = _mm_sub_ps(palette[1], palette[0]);
  if (c0 > c1) {
    palette[2] = _mm_add_ps(palette[0], _mm_mul_ps(delta, _mm_set1_ps(kOneThird)));
    palette[3] = _mm_add_ps(palette[0], _mm_mul_ps(delta, _mm_set1_ps(kTwoThirds)));
  } else {
    palette[2] = _mm_add_ps(palette[0], _mm_mul_ps(delta, _mm_set1_ps(0.5f)));
    palette[3] = _mm_setzero_ps();
  }
  for (int i = 0; i < 16; ++i) _mm_store_ps(out.rgba[i], palette[(indices >> (2 * i)) & 3]);
}
#endif

void DecodeExplicitAlpha(BlockPixels& out, const std::uint8_t* block) {
  for (int i = 0; i < 16; ++i) {
    const unsigned value = (block[i >> 1] >> ((i & 1) * 4)) & 15u;
    out.rgba[i][3] = static_cast<float>(value) * kOneFifteenth;
  }
}

// The eight alphas an interpolated alpha block can hold, from its two endpoint bytes.
void BuildAlphaPalette(float (&palette)[8], float a0, float a1, bool sixStep) {
  palette[0] = a0;
  palette[1] = a1;
  if (sixStep) {
    for (int k = 1; k <= 4; ++k)
      palette[1 + k] = (static_cast<float>(5 - k) * a0 + static_cast<float>(k) * a1) * kOneFifth;
    palette[6] = 0.0f;
    palette[7] = 1.0f;
  } else {
    for (int k = 1; k <= 6; ++k)
      palette[1 + k] = (static_cast<float>(7 - k) * a0 + static_cast<float>(k) * a1) * kOneSeventh;
  }
}

void DecodeInterpolatedAlpha(BlockPixels& out, const std::uint8_t* block) {
  float palette[8];
  BuildAlphaPalette(palette, static_cast<float>(block[0]) / 255.0f, static_cast<float>(block[1]) / 255.0f,
                    block[1] >= block[0]);
  std::uint64_t indices = 0;
  for (int i = 0; i < 6; ++i) indices |= static_cast<std::uint64_t>(block[2 + i]) << (8 * i);
  for (int i = 0; i < 16; ++i) out.rgba[i][3] = palette[(indices >> (3 * i)) & 7];
}

// Premultiplied storage loses colour where alpha is 0, and a stored colour above its alpha can
// only come from rounding, so it saturates.
void Unpremultiply(BlockPixels& pixels) {
  for (auto& pixel : pixels.rgba) {
    const float a = pixel[3];
    if (a >= 1.0f) continue;
    if (a == 0.0f) {
      pixel[0] = pixel[1] = pixel[2] = 0.0f;
      continue;
    }
    const float inverse = 1.0f / a;
    for (int c = 0; c < 3; ++c) pixel[c] = a > pixel[c] ? pixel[c] * inverse : 1.0f;
  }
}

void Premultiply(BlockPixels& pixels) {
  for (auto& pixel : pixels.rgba)
    for (int c = 0; c < 3; ++c) pixel[c] *= pixel[3];
}

void EncodeExplicitAlpha(std::uint8_t* block, const BlockPixels& pixels) {
  float errors[16] = {};
  std::memset(block, 0, 8);
  for (int i = 0; i < 16; ++i) {
    const float v = pixels.rgba[i][3] + errors[i];
    int q = static_cast<int>(v * 15.0f + 0.5f);
    q = q < 0 ? 0 : (q > 15 ? 15 : q);
    block[i >> 1] |= static_cast<std::uint8_t>(q << ((i & 1) * 4));
    DiffuseError(errors, i, v - static_cast<float>(q) / 15.0f);
  }
}

void EncodeInterpolatedAlpha(std::uint8_t* block, const BlockPixels& pixels) {
  // Alphas on the 8-bit grid, diffused; they decide the mode and feed the endpoint fit.
  float quantized[16];
  float errors[16] = {};
  float smallest = pixels.rgba[0][3];
  float largest = smallest;
  for (int i = 0; i < 16; ++i) {
    const float v = pixels.rgba[i][3] + errors[i];
    int q = static_cast<int>(v * 255.0f + 0.5f);
    q = q < 0 ? 0 : (q > 255 ? 255 : q);
    quantized[i] = static_cast<float>(q) / 255.0f;
    if (quantized[i] < smallest) smallest = quantized[i];
    if (quantized[i] > largest) largest = quantized[i];
    DiffuseError(errors, i, v - quantized[i]);
  }

  std::memset(block, 0, 8);
  if (smallest == 1.0f) {
    block[0] = block[1] = 255;
    return;
  }

  const bool sixStep = smallest == 0.0f || largest == 1.0f;
  const int mode = sixStep ? 6 : 8;
  const AlphaEndpoints fit = RefineAlphaEndpoints(quantized, mode);
  const int lo = static_cast<int>(fit.lo * 255.0f + 0.5f);
  const int hi = static_cast<int>(fit.hi * 255.0f + 0.5f);

  if (!sixStep && lo == hi) {
    block[0] = block[1] = static_cast<std::uint8_t>(lo);
    return;
  }
  // Eight-step blocks need a0 > a1, six-step ones a0 <= a1; the six-step fit comes back
  // reversed only when no alpha lies strictly between 0 and 1, and the block is then decoded
  // with eight steps, where indices 0 and 1 still mean a0 and a1.
  const int a0 = sixStep ? lo : hi;
  const int a1 = sixStep ? hi : lo;
  block[0] = static_cast<std::uint8_t>(a0);
  block[1] = static_cast<std::uint8_t>(a1);
  float palette[8];
  BuildAlphaPalette(palette, static_cast<float>(a0) / 255.0f, static_cast<float>(a1) / 255.0f, sixStep);
  static constexpr int kEightStepIndex[8] = {0, 2, 3, 4, 5, 6, 7, 1};
  static constexpr int kSixStepIndex[6] = {0, 2, 3, 4, 5, 1};
  const int* position = sixStep ? kSixStepIndex : kEightStepIndex;

  const float p0 = palette[0];
  const float p1 = palette[1];
  const float scale = p0 != p1 ? static_cast<float>(mode - 1) / (p1 - p0) : 0.0f;
  const float last = static_cast<float>(mode - 1);
  std::uint64_t indices = 0;
  for (float& e : errors) e = 0.0f;
  for (int i = 0; i < 16; ++i) {
    const float v = pixels.rgba[i][3] + errors[i];
    const float t = (v - p0) * scale;
    int index;
    if (!(t > 0.0f)) {
      index = 0;
      if (sixStep) {
        if (p0 * 0.5f >= v)
          index = 6;
        else if (p0 == p1 && (p1 + 1.0f) * 0.5f <= v)
          index = 7;  // with both endpoints equal the line has no length; 1 keeps its own code
      }
    } else if (t >= last) {
      index = sixStep && (p1 + 1.0f) * 0.5f <= v ? 7 : 1;
    } else {
      index = position[static_cast<int>(t + 0.5f)];
    }
    indices |= static_cast<std::uint64_t>(index) << (3 * i);
    DiffuseError(errors, i, v - palette[index]);
  }
  for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<std::uint8_t>(indices >> (8 * i));
}

}  // namespace

Float3 ExpandColor565(std::uint16_t code) {
  return {kExpand5[code >> 11], kExpand6[(code >> 5) & 63], kExpand5[code & 31]};
}

std::uint16_t PackColor565(Float3 color) {
  const unsigned r = static_cast<unsigned>(Clamp01(color.r) * 31.0f + 0.5f);
  const unsigned g = static_cast<unsigned>(Clamp01(color.g) * 63.0f + 0.5f);
  const unsigned b = static_cast<unsigned>(Clamp01(color.b) * 31.0f + 0.5f);
  return static_cast<std::uint16_t>(r << 11 | g << 5 | b);
}

// ---------------------------------------------------------------------------------------------
// Decoders

void DecodeDxt1Block(BlockPixels& out, const std::uint8_t* block) { DecodeColorBlock(out, block); }

void DecodeDxt3Block(BlockPixels& out, const std::uint8_t* block) {
  DecodeColorBlock(out, block + 8);
  DecodeExplicitAlpha(out, block);
}

void DecodeDxt5Block(BlockPixels& out, const std::uint8_t* block) {
  DecodeColorBlock(out, block + 8);
  DecodeInterpolatedAlpha(out, block);
}

void DecodeDxt2Block(BlockPixels& out, const std::uint8_t* block) {
  DecodeDxt3Block(out, block);
  Unpremultiply(out);
}

void DecodeDxt4Block(BlockPixels& out, const std::uint8_t* block) {
  DecodeDxt5Block(out, block);
  Unpremultiply(out);
}

// ---------------------------------------------------------------------------------------------
// Encoders

void EncodeDxt1Block(std::uint8_t* block, const BlockPixels& in) {
  // One alpha bit: diffuse the alpha error so that a soft edge keeps its average coverage.
  BlockPixels pixels;
  CopyClamped(pixels, in);
  float errors[16] = {};
  for (int i = 0; i < 16; ++i) {
    const float v = pixels.rgba[i][3] + errors[i];
    const float q = static_cast<int>(v + 0.5f) >= 1 ? 1.0f : 0.0f;
    pixels.rgba[i][3] = q;
    DiffuseError(errors, i, v - q);
  }
  EncodeColorBlock(pixels, block, ColorBlockMode::AlphaBitAllowed);
}

void EncodeDxt3Block(std::uint8_t* block, const BlockPixels& in) {
  BlockPixels pixels;
  CopyClamped(pixels, in);
  EncodeExplicitAlpha(block, pixels);
  EncodeColorBlock(pixels, block + 8, ColorBlockMode::FourColorsOnly);
}

void EncodeDxt5Block(std::uint8_t* block, const BlockPixels& in) {
  BlockPixels pixels;
  CopyClamped(pixels, in);
  EncodeColorBlock(pixels, block + 8, ColorBlockMode::FourColorsOnly);
  EncodeInterpolatedAlpha(block, pixels);
}

void EncodeDxt2Block(std::uint8_t* block, const BlockPixels& in) {
  BlockPixels pixels;
  CopyClamped(pixels, in);
  Premultiply(pixels);
  EncodeExplicitAlpha(block, pixels);
  EncodeColorBlock(pixels, block + 8, ColorBlockMode::FourColorsOnly);
}

void EncodeDxt4Block(std::uint8_t* block, const BlockPixels& in) {
  BlockPixels pixels;
  CopyClamped(pixels, in);
  Premultiply(pixels);
  EncodeColorBlock(pixels, block + 8, ColorBlockMode::FourColorsOnly);
  EncodeInterpolatedAlpha(block, pixels);
}

namespace {

constexpr BlockEncoder kEncoders[] = {EncodeDxt1Block, EncodeDxt2Block, EncodeDxt3Block, EncodeDxt4Block,
                                      EncodeDxt5Block};
constexpr BlockDecoder kDecoders[] = {DecodeDxt1Block, DecodeDxt2Block, DecodeDxt3Block, DecodeDxt4Block,
                                      DecodeDxt5Block};

std::size_t BlockBytes(DxtKind kind) { return kind == DxtKind::Dxt1 ? kDxt1BlockBytes : kDxt2To5BlockBytes; }

}  // namespace

void EncodeDxtBlocks(DxtKind kind, const BlockPixels* blocks, std::uint8_t* out, std::size_t count) {
  RoundToNearestScope rounding;
  std::size_t done = 0;
  switch (ActiveVectorLevel()) {
    case VectorLevel::Avx2: done = EncodeDxtBlocksAvx2(kind, blocks, out, count); break;
    case VectorLevel::Sse2: done = EncodeDxtBlocksSse2(kind, blocks, out, count); break;
    case VectorLevel::Portable: break;
  }
  const std::size_t stride = BlockBytes(kind);
  const BlockEncoder encode = kEncoders[static_cast<int>(kind)];
  for (; done < count; ++done) encode(out + done * stride, blocks[done]);
}

void DecodeDxtBlocks(DxtKind kind, const std::uint8_t* in, BlockPixels* blocks, std::size_t count) {
  RoundToNearestScope rounding;
  const std::size_t stride = BlockBytes(kind);
#if defined(__SSE2__)
  if (ActiveVectorLevel() != VectorLevel::Portable) {
    const std::size_t colorOffset = kind == DxtKind::Dxt1 ? 0 : 8;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t* block = in + i * stride;
      DecodeColorBlockSse2(blocks[i], block + colorOffset);
      if (kind == DxtKind::Dxt2 || kind == DxtKind::Dxt3) DecodeExplicitAlpha(blocks[i], block);
      if (kind == DxtKind::Dxt4 || kind == DxtKind::Dxt5) DecodeInterpolatedAlpha(blocks[i], block);
      if (kind == DxtKind::Dxt2 || kind == DxtKind::Dxt4) Unpremultiply(blocks[i]);
    }
    return;
  }
#endif
  const BlockDecoder decode = kDecoders[static_cast<int>(kind)];
  for (std::size_t i = 0; i < count; ++i) decode(blocks[i], in + i * stride);
}

// ---------------------------------------------------------------------------------------------
// Colour block

void EncodeColorBlock(const BlockPixels& pixels, std::uint8_t* colorBlock, ColorBlockMode mode) {
  int steps = 4;
  if (mode == ColorBlockMode::AlphaBitAllowed) {
    int transparent = 0;
    for (const auto& pixel : pixels.rgba) transparent += pixel[3] < 0.5f ? 1 : 0;
    if (transparent == 16) {
      WriteU16(colorBlock, 0x0000);
      WriteU16(colorBlock + 2, 0xFFFF);
      WriteU32(colorBlock + 4, 0xFFFFFFFFu);
      return;
    }
    if (transparent > 0) steps = 3;
  }

  // Quantize to the 5:6:5 grid with diffusion before fitting, so that the fit sees colours the
  // format can hold; transparent pixels take part to keep the diffusion pattern stable.
  Float3 weighted[16];
  Float3 errors[16] = {};
  for (int i = 0; i < 16; ++i) {
    const Float3 v = Rgb(pixels.rgba[i]) + errors[i];
    const Float3 q{QuantizeUnclamped(v.r, 31.0f), QuantizeUnclamped(v.g, 63.0f), QuantizeUnclamped(v.b, 31.0f)};
    DiffuseError(errors, i, v - q);
    weighted[i] = q * kWeights;
  }

  const ColorEndpoints fit = RefineColorEndpoints(weighted, steps);
  const std::uint16_t e0 = PackColor565(fit.lo * kInverseWeights);
  const std::uint16_t e1 = PackColor565(fit.hi * kInverseWeights);

  if (steps == 4 && e0 == e1) {
    WriteU16(colorBlock, e0);
    WriteU16(colorBlock + 2, e1);
    WriteU32(colorBlock + 4, 0);
    return;
  }

  // The order of the codes selects the block's mode: c0 > c1 four colours, c0 <= c1 three.
  const bool larger0 = e0 > e1;
  const std::uint16_t c0 = (steps == 4) == larger0 ? e0 : e1;
  const std::uint16_t c1 = (steps == 4) == larger0 ? e1 : e0;
  WriteU16(colorBlock, c0);
  WriteU16(colorBlock + 2, c1);

  Float3 palette[4];
  palette[0] = ExpandColor565(c0) * kWeights;
  palette[1] = ExpandColor565(c1) * kWeights;
  const Float3 delta = palette[1] - palette[0];
  static constexpr int kFourColorIndex[4] = {0, 2, 3, 1};
  static constexpr int kThreeColorIndex[3] = {0, 2, 1};
  const int* position;
  if (steps == 4) {
    palette[2] = palette[0] + delta * kOneThird;
    palette[3] = palette[0] + delta * kTwoThirds;
    position = kFourColorIndex;
  } else {
    palette[2] = palette[0] + delta * 0.5f;
    palette[3] = {0.0f, 0.0f, 0.0f};
    position = kThreeColorIndex;
  }

  const float last = static_cast<float>(steps - 1);
  Float3 direction{0.0f, 0.0f, 0.0f};
  if (c0 != c1) {
    const float length2 = Dot(delta, delta);
    const Float3 scaled = delta * last;
    direction = {scaled.r / length2, scaled.g / length2, scaled.b / length2};
  }

  std::uint32_t indices = 0;
  for (auto& e : errors) e = {0.0f, 0.0f, 0.0f};
  for (int i = 0; i < 16; ++i) {
    int index;
    if (steps == 3 && pixels.rgba[i][3] < 0.5f) {
      index = 3;
    } else {
      const Float3 v = kWeights * Rgb(pixels.rgba[i]) + errors[i];
      const float t = Dot(v - palette[0], direction);
      if (!(t > 0.0f))
        index = 0;
      else if (t >= last)
        index = 1;
      else
        index = position[static_cast<int>(t + 0.5f)];
      DiffuseError(errors, i, v - palette[index]);
    }
    indices |= static_cast<std::uint32_t>(index) << (2 * i);
  }
  WriteU32(colorBlock + 4, indices);
}

ColorEndpoints RefineColorEndpoints(const Float3 (&weighted)[16], int steps) {
  Float3 lo = kWeights;
  Float3 hi{0.0f, 0.0f, 0.0f};
  for (const Float3& c : weighted) {
    if (c.r < lo.r) lo.r = c.r;
    if (c.g < lo.g) lo.g = c.g;
    if (c.b < lo.b) lo.b = c.b;
    if (c.r > hi.r) hi.r = c.r;
    if (c.g > hi.g) hi.g = c.g;
    if (c.b > hi.b) hi.b = c.b;
  }
  const Float3 diagonal = hi - lo;
  const float diagonal2 = Dot(diagonal, diagonal);
  if (diagonal2 < 1.1754944e-38f) return {lo, hi};

  // The colours run along one of the box's four diagonals; pick the one they spread along most.
  const Float3 centre = (lo + hi) * 0.5f;
  const Float3 unit{diagonal.r / diagonal2, diagonal.g / diagonal2, diagonal.b / diagonal2};
  float spread[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  for (const Float3& c : weighted) {
    const Float3 p = (c - centre) * unit;
    const float s0 = p.r + p.g + p.b;
    const float s1 = p.r + p.g - p.b;
    const float s2 = p.r - p.g + p.b;
    const float s3 = p.r - p.g - p.b;
    spread[0] += s0 * s0;
    spread[1] += s1 * s1;
    spread[2] += s2 * s2;
    spread[3] += s3 * s3;
  }
  int best = 0;
  for (int k = 1; k < 4; ++k)
    if (spread[k] > spread[best]) best = k;
  if (best & 1) std::swap(lo.b, hi.b);
  if (best & 2) std::swap(lo.g, hi.g);

  constexpr float kShortLine = 0.000244140625f;   // 2^-12
  constexpr float kSettled = 1.52587890625e-05f;  // 2^-16
  if (diagonal2 < kShortLine) return {lo, hi};

  static constexpr float kLoWeight4[4] = {1.0f, kTwoThirds, kOneThird, 0.0f};
  static constexpr float kHiWeight4[4] = {0.0f, kOneThird, kTwoThirds, 1.0f};
  static constexpr float kLoWeight3[3] = {1.0f, 0.5f, 0.0f};
  static constexpr float kHiWeight3[3] = {0.0f, 0.5f, 1.0f};
  const float* loWeight = steps == 4 ? kLoWeight4 : kLoWeight3;
  const float* hiWeight = steps == 4 ? kHiWeight4 : kHiWeight3;
  const float last = static_cast<float>(steps - 1);

  for (int round = 0; round < 8; ++round) {
    Float3 palette[4];
    for (int k = 0; k < steps; ++k) palette[k] = lo * loWeight[k] + hi * hiWeight[k];

    const Float3 line = hi - lo;
    const float length2 = Dot(line, line);
    if (length2 < kShortLine) break;
    const Float3 scaled = line * last;
    const Float3 direction{scaled.r / length2, scaled.g / length2, scaled.b / length2};

    Float3 pullLo{0.0f, 0.0f, 0.0f};
    Float3 pullHi{0.0f, 0.0f, 0.0f};
    float massLo = 0.0f;
    float massHi = 0.0f;
    for (const Float3& c : weighted) {
      const float t = Dot(c - lo, direction);
      int k;
      if (t >= last)
        k = steps - 1;
      else if (t > 0.0f)
        k = static_cast<int>(t + 0.5f);
      else
        k = 0;
      const Float3 e = palette[k] - c;
      const float a = loWeight[k] * 0.125f;
      const float b = hiWeight[k] * 0.125f;
      pullLo += e * a;
      massLo += a * loWeight[k];
      pullHi += e * b;
      massHi += b * hiWeight[k];
    }
    if (massLo > 0.0f) lo -= Float3{pullLo.r / massLo, pullLo.g / massLo, pullLo.b / massLo};
    if (massHi > 0.0f) hi -= Float3{pullHi.r / massHi, pullHi.g / massHi, pullHi.b / massHi};

    if (pullLo.r * pullLo.r < kSettled && pullLo.g * pullLo.g < kSettled && pullLo.b * pullLo.b < kSettled &&
        pullHi.r * pullHi.r < kSettled && pullHi.g * pullHi.g < kSettled && pullHi.b * pullHi.b < kSettled)
      break;
  }
  return {lo, hi};
}

AlphaEndpoints RefineAlphaEndpoints(const float (&alphas)[16], int mode) {
  const bool sixStep = mode == 6;
  float lo;
  float hi;
  if (sixStep) {
    lo = 1.0f;
    hi = 0.0f;
    for (float v : alphas) {
      if (v > 0.0f && v < lo) lo = v;
      if (v < 1.0f && v > hi) hi = v;
    }
  } else {
    lo = hi = alphas[0];
    for (float v : alphas) {
      if (v < lo) lo = v;
      if (v > hi) hi = v;
    }
  }

  static constexpr float kLoWeight8[8] = {7.0f / 7, 6.0f / 7, 5.0f / 7, 4.0f / 7, 3.0f / 7, 2.0f / 7, 1.0f / 7, 0.0f};
  static constexpr float kHiWeight8[8] = {0.0f, 1.0f / 7, 2.0f / 7, 3.0f / 7, 4.0f / 7, 5.0f / 7, 6.0f / 7, 7.0f / 7};
  static constexpr float kLoWeight6[6] = {5.0f / 5, 4.0f / 5, 3.0f / 5, 2.0f / 5, 1.0f / 5, 0.0f};
  static constexpr float kHiWeight6[6] = {0.0f, 1.0f / 5, 2.0f / 5, 3.0f / 5, 4.0f / 5, 5.0f / 5};
  const float* loWeight = sixStep ? kLoWeight6 : kLoWeight8;
  const float* hiWeight = sixStep ? kHiWeight6 : kHiWeight8;
  const float last = static_cast<float>(mode - 1);

  for (int round = 0; round < 8; ++round) {
    if (hi - lo < 0.00390625f) break;  // 1/256: closer than one 8-bit step
    const float scale = last / (hi - lo);
    // lo·(n − k)/n + hi·k/n in exactly this order: pre-rounded weights would give other
    // blocks on a fraction of inputs.
    const float steps = last;
    float palette[8];
    for (int k = 0; k < mode; ++k) {
      const float fromHi = static_cast<float>(k);
      palette[k] = lo * (steps - fromHi) / steps + hi * fromHi / steps;
    }

    float pullLo = 0.0f;
    float pullHi = 0.0f;
    float massLo = 0.0f;
    float massHi = 0.0f;
    for (float v : alphas) {
      const float t = (v - lo) * scale;
      int k;
      if (!(t > 0.0f)) {
        if (sixStep && lo * 0.5f >= v) continue;  // nearer the explicit 0
        k = 0;
      } else if (t >= last) {
        if (sixStep && (hi + 1.0f) * 0.5f <= v) continue;  // nearer the explicit 1
        k = mode - 1;
      } else {
        k = static_cast<int>(t + 0.5f);
      }
      const float e = palette[k] - v;
      pullLo += e * loWeight[k];
      massLo += loWeight[k] * loWeight[k];
      pullHi += e * hiWeight[k];
      massHi += hiWeight[k] * hiWeight[k];
    }
    if (massLo > 0.0f) lo -= pullLo / massLo;
    if (massHi > 0.0f) hi -= pullHi / massHi;
    if (lo > hi) std::swap(lo, hi);
    if (pullLo * pullLo < 0.015625f && pullHi * pullHi < 0.015625f) break;
  }
  return {Clamp01(lo), Clamp01(hi)};
}

}  // namespace rastro
