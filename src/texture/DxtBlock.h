// The five block-compressed formats D3DFMT_DXT1 to D3DFMT_DXT5: 4 × 4 pixels per block, decoded
// to and encoded from float RGBA. The encoders are deterministic: the same 16 pixels always give
// the same block, on every machine, because every step is 32-bit float arithmetic in a fixed
// order (this file and its vector variant are compiled without floating-point contraction).
//
// Block layouts (all fields little-endian):
//   colour block (DXT1; bytes 8-15 of the others): c0 and c1 as 5:6:5 colours, then 16 two-bit
//     indices, pixel i in bits 2i..2i+1. c0 > c1 selects four colours, c0 <= c1 three colours and
//     transparent black.
//   explicit alpha (bytes 0-7 of DXT2/DXT3): 16 four-bit alphas, pixel i in bits 4i..4i+3.
//   interpolated alpha (bytes 0-7 of DXT4/DXT5): a0, a1, then 16 three-bit indices in two 24-bit
//     groups. a0 > a1 selects eight interpolated alphas, a0 <= a1 six plus explicit 0 and 1.
// DXT2 and DXT4 store colours premultiplied by alpha; DXT3 and DXT5 store them straight.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rastro {

// The 16 pixels of one block as float RGBA, in raster order (index 4 · row + column).
struct alignas(16) BlockPixels {
  float rgba[16][4];
};

inline constexpr unsigned kDxt1BlockBytes = 8;
inline constexpr unsigned kDxt2To5BlockBytes = 16;

// The colour encoder measures distances with R, G and B weighted by their share of luminance
// (0.2125, 0.7154, 0.0721) relative to green's, so that green errors cost the most.
inline constexpr float kChannelWeights[3] = {0.29703665f, 1.0f, 0.10078278f};
inline constexpr float kInverseChannelWeights[3] = {3.3665881f, 1.0f, 9.9223299f};

struct Float3 {
  float r, g, b;
};

inline Float3 operator+(Float3 a, Float3 b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Float3 operator-(Float3 a, Float3 b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
inline Float3 operator*(Float3 a, Float3 b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Float3 operator*(Float3 a, float s) { return {a.r * s, a.g * s, a.b * s}; }
inline Float3& operator+=(Float3& a, Float3 b) { return a = a + b; }
inline Float3& operator-=(Float3& a, Float3 b) { return a = a - b; }
inline float Dot(Float3 a, Float3 b) { return a.r * b.r + a.g * b.g + a.b * b.b; }

// Floyd-Steinberg error diffusion inside one block: the quantization error of pixel i goes to
// the pixels not yet visited in raster order, 7/16 to the right, 3/16 below left, 5/16 below and
// 1/16 below right, as far as they lie inside the block.
template <typename T>
inline void DiffuseError(T (&errors)[16], int i, T error) {
  const int x = i & 3;
  if (x != 3) errors[i + 1] += error * 0.4375f;
  if (i < 12) {
    if (x != 0) errors[i + 3] += error * 0.1875f;
    errors[i + 4] += error * 0.3125f;
    if (x != 3) errors[i + 5] += error * 0.0625f;
  }
}

// Pure block decoders: 8 (DXT1) or 16 bytes in, 16 pixels out.
void DecodeDxt1Block(BlockPixels& out, const std::uint8_t* block);
void DecodeDxt2Block(BlockPixels& out, const std::uint8_t* block);
void DecodeDxt3Block(BlockPixels& out, const std::uint8_t* block);
void DecodeDxt4Block(BlockPixels& out, const std::uint8_t* block);
void DecodeDxt5Block(BlockPixels& out, const std::uint8_t* block);

// Pure block encoders: 16 pixels in, 8 (DXT1) or 16 bytes out. Channels are taken as values in
// [0, 1]; anything outside (NaN included) is clamped into that range first.
void EncodeDxt1Block(std::uint8_t* block, const BlockPixels& in);
void EncodeDxt2Block(std::uint8_t* block, const BlockPixels& in);
void EncodeDxt3Block(std::uint8_t* block, const BlockPixels& in);
void EncodeDxt4Block(std::uint8_t* block, const BlockPixels& in);
void EncodeDxt5Block(std::uint8_t* block, const BlockPixels& in);

using BlockDecoder = void (*)(BlockPixels& out, const std::uint8_t* block);
using BlockEncoder = void (*)(std::uint8_t* block, const BlockPixels& in);

enum class DxtKind { Dxt1, Dxt2, Dxt3, Dxt4, Dxt5 };

// `count` blocks of one format at once, into (or from) consecutive blocks in memory: exactly
// the bytes and pixels of the single-block functions above, several blocks at a time on the
// vector units where the processor has them. Run in round-to-nearest whatever the caller's mode.
void EncodeDxtBlocks(DxtKind kind, const BlockPixels* blocks, std::uint8_t* out, std::size_t count);
void DecodeDxtBlocks(DxtKind kind, const std::uint8_t* in, BlockPixels* blocks, std::size_t count);

// The steps the encoders are built from. They expect channels already within [0, 1].
enum class ColorBlockMode {
  AlphaBitAllowed,  // DXT1: pixels with A < 0.5 become the transparent index of a 3-colour block
  FourColorsOnly,   // DXT2-DXT5: alpha is stored elsewhere, always four colours
};

// Writes the 8-byte colour block for 16 pixels.
void EncodeColorBlock(const BlockPixels& pixels, std::uint8_t* colorBlock, ColorBlockMode mode);

struct ColorEndpoints {
  Float3 lo, hi;
};

// Fits a line through 16 colours in weighted space: the best diagonal of their bounding box,
// then up to 8 least-squares rounds against a palette of `steps` (3 or 4) points on the line.
ColorEndpoints RefineColorEndpoints(const Float3 (&weighted)[16], int steps);

struct AlphaEndpoints {
  float lo, hi;
};

// The same for alphas against a palette of `mode` (6 or 8) points; in mode 6 the values 0 and 1
// have codes of their own and do not pull the endpoints. Returns endpoints within [0, 1].
AlphaEndpoints RefineAlphaEndpoints(const float (&alphas)[16], int mode);

// 5:6:5 colour codes.
Float3 ExpandColor565(std::uint16_t code);
std::uint16_t PackColor565(Float3 color);

}  // namespace rastro
