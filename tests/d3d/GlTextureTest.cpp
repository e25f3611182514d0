// Textures on the OpenGL renderer (llvmpipe without a display): every format the adapter offers
// samples as Direct3D reads it, the fixed-function stages compute their published equations,
// the sampler states pick the texels and levels Direct3D picks, and textures follow changes.
//
// Expected values are worked out here from the formats' published layouts and the stages'
// published equations, in double precision, then rounded to the 8-bit target. Where the exact
// result lies within 1/1000 of halfway between two 8-bit codes, either neighbour is accepted:
// the rounding of an exact half is the GPU's choice.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "GlTestDevice.h"

namespace rastro::testing {
namespace {

// ---------------------------------------------------------------------------------------------
// Drawing helpers

struct TexturedVertex {
  float x, y, z, rhw;
  D3DCOLOR diffuse, specular;
  float u0, v0, u1, v1;
};
constexpr DWORD kTexturedFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;

struct QuadOptions {
  D3DCOLOR diffuse = 0xFFFFFFFF;
  D3DCOLOR specular = 0;
  float uScale = 1.0f, vScale = 1.0f;  // texture coordinates run from 0 to these
};

// A quad whose corners sit half a pixel up and left of the target's corners, so that with
// Direct3D's convention pixel (x, y) samples set 0 at texel centre ((x + 0.5) / w, (y + 0.5) / h)
// (scaled). Set 1 runs mirrored left to right.
void DrawQuad(IDirect3DDevice9* device, UINT width, UINT height, const QuadOptions& options = {}) {
  float w = static_cast<float>(width) - 0.5f, h = static_cast<float>(height) - 0.5f;
  float us = options.uScale, vs = options.vScale;
  const TexturedVertex vertices[4] = {
      {-0.5f, -0.5f, 0, 1, options.diffuse, options.specular, 0, 0, us, 0},
      {w, -0.5f, 0, 1, options.diffuse, options.specular, us, 0, 0, 0},
      {-0.5f, h, 0, 1, options.diffuse, options.specular, 0, vs, us, vs},
      {w, h, 0, 1, options.diffuse, options.specular, us, vs, 0, vs},
  };
  device->SetFVF(kTexturedFvf);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00123456, 1.0f, 0), D3D_OK);
  ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, sizeof(TexturedVertex)), D3D_OK);
  ASSERT_EQ(device->EndScene(), D3D_OK);
}

// A texture whose level `level` gets its bytes from `fill(level, bytes, pitch, width, height)`.
using LevelFill = std::function<void(UINT level, BYTE* bytes, INT pitch, UINT width, UINT height)>;

ComPtr<IDirect3DTexture9> MakeTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT levels, D3DFORMAT format,
                                      D3DPOOL pool, const LevelFill& fill) {
  ComPtr<IDirect3DTexture9> texture;
  if (FAILED(
          device->CreateTexture(width, height, levels, 0, format, pool, texture.ReleaseAndGetAddressOf(), nullptr))) {
    return {};
  }
  for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(level, &desc);
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(level, &locked, nullptr, 0))) return {};
    fill(level, static_cast<BYTE*>(locked.pBits), locked.Pitch, desc.Width, desc.Height);
    texture->UnlockRect(level);
  }
  return texture;
}

// Every texel of a 32-bit level one colour.
LevelFill SolidLevels(std::vector<D3DCOLOR> colours) {
  return [colours](UINT level, BYTE* bytes, INT pitch, UINT width, UINT height) {
    for (UINT y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<DWORD*>(bytes + y * pitch);
      for (UINT x = 0; x < width; ++x) row[x] = colours[level];
    }
  };
}

std::uint32_t Next(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

// Random 32-bit texels, recorded for the expected values.
struct RandomTexels {
  UINT width, height;
  std::vector<DWORD> texels;
  RandomTexels(UINT w, UINT h, std::uint32_t seed) : width(w), height(h), texels(w * h) {
    for (DWORD& texel : texels) texel = Next(seed) ^ (Next(seed) << 24);
  }
  DWORD At(UINT x, UINT y) const { return texels[(y % height) * width + (x % width)]; }
  LevelFill Fill() const {
    return [this](UINT, BYTE* bytes, INT pitch, UINT w, UINT h) {
      for (UINT y = 0; y < h; ++y) std::memcpy(bytes + y * pitch, &texels[y * w], w * 4);
    };
  }
};

// Whether an 8-bit result matches an exact value in [0, 255] units (clamped), allowing either
// neighbour of an exact half and `tolerance` codes besides.
bool Matches(int actual, double exact, int tolerance = 0) {
  exact = std::clamp(exact, 0.0, 255.0);
  double nearest = std::floor(exact + 0.5);
  bool half = std::abs(exact - std::floor(exact) - 0.5) < 1e-3;
  int low = static_cast<int>(half ? std::floor(exact) : nearest) - tolerance;
  int high = static_cast<int>(half ? std::ceil(exact) : nearest) + tolerance;
  return actual >= low && actual <= high;
}

struct Rgba {
  double r, g, b, a;  // 0..1
};

::testing::AssertionResult PixelMatches(DWORD pixel, const Rgba& expected, int tolerance = 0) {
  int a = static_cast<int>(pixel >> 24), r = static_cast<int>((pixel >> 16) & 0xFF),
      g = static_cast<int>((pixel >> 8) & 0xFF), b = static_cast<int>(pixel & 0xFF);
  if (Matches(r, expected.r * 255) && Matches(g, expected.g * 255) && Matches(b, expected.b * 255) &&
      Matches(a, expected.a * 255) && tolerance == 0) {
    return ::testing::AssertionSuccess();
  }
  if (tolerance > 0 && Matches(r, expected.r * 255, tolerance) && Matches(g, expected.g * 255, tolerance) &&
      Matches(b, expected.b * 255, tolerance) && Matches(a, expected.a * 255, tolerance)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "got a,r,g,b " << a << "," << r << "," << g << "," << b << " expected "
                                       << expected.a * 255 << "," << expected.r * 255 << "," << expected.g * 255 << ","
                                       << expected.b * 255;
}

Rgba FromColor(D3DCOLOR c) {
  return {((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0, (c >> 24) / 255.0};
}

// ---------------------------------------------------------------------------------------------
// Formats: each offered texture format samples as its published layout reads

enum class Kind { Unorm, Half, Float, One, Zero };
struct Field {
  Kind kind = Kind::One;
  UINT offset = 0, bits = 0;
};
struct PackedFormat {
  D3DFORMAT format;
  const char* name;
  UINT bytes;
  Field r, g, b, a;
  bool luminance = false;  // r is luminance, read into red, green and blue
};

constexpr Field U(UINT offset, UINT bits) { return {Kind::Unorm, offset, bits}; }
constexpr Field H(UINT offset) { return {Kind::Half, offset, 16}; }
constexpr Field F(UINT offset) { return {Kind::Float, offset, 32}; }
constexpr Field kOne{};
constexpr Field kZero{Kind::Zero, 0, 0};

const PackedFormat kPackedFormats[] = {
    {D3DFMT_A8R8G8B8, "A8R8G8B8", 4, U(16, 8), U(8, 8), U(0, 8), U(24, 8)},
    {D3DFMT_X8R8G8B8, "X8R8G8B8", 4, U(16, 8), U(8, 8), U(0, 8), kOne},
    {D3DFMT_R5G6B5, "R5G6B5", 2, U(11, 5), U(5, 6), U(0, 5), kOne},
    {D3DFMT_X1R5G5B5, "X1R5G5B5", 2, U(10, 5), U(5, 5), U(0, 5), kOne},
    {D3DFMT_A1R5G5B5, "A1R5G5B5", 2, U(10, 5), U(5, 5), U(0, 5), U(15, 1)},
    {D3DFMT_A4R4G4B4, "A4R4G4B4", 2, U(8, 4), U(4, 4), U(0, 4), U(12, 4)},
    {D3DFMT_X4R4G4B4, "X4R4G4B4", 2, U(8, 4), U(4, 4), U(0, 4), kOne},
    {D3DFMT_R3G3B2, "R3G3B2", 1, U(5, 3), U(2, 3), U(0, 2), kOne},
    {D3DFMT_A8, "A8", 1, kZero, kZero, kZero, U(0, 8)},
    {D3DFMT_A2R10G10B10, "A2R10G10B10", 4, U(20, 10), U(10, 10), U(0, 10), U(30, 2)},
    {D3DFMT_A2B10G10R10, "A2B10G10R10", 4, U(0, 10), U(10, 10), U(20, 10), U(30, 2)},
    {D3DFMT_A8B8G8R8, "A8B8G8R8", 4, U(0, 8), U(8, 8), U(16, 8), U(24, 8)},
    {D3DFMT_X8B8G8R8, "X8B8G8R8", 4, U(0, 8), U(8, 8), U(16, 8), kOne},
    {D3DFMT_G16R16, "G16R16", 4, U(0, 16), U(16, 16), kOne, kOne},
    {D3DFMT_A16B16G16R16, "A16B16G16R16", 8, U(0, 16), U(16, 16), U(32, 16), U(48, 16)},
    {D3DFMT_L8, "L8", 1, U(0, 8), kOne, kOne, kOne, true},
    {D3DFMT_A8L8, "A8L8", 2, U(0, 8), kOne, kOne, U(8, 8), true},
    {D3DFMT_L16, "L16", 2, U(0, 16), kOne, kOne, kOne, true},
    {D3DFMT_R16F, "R16F", 2, H(0), kOne, kOne, kOne},
    {D3DFMT_G16R16F, "G16R16F", 4, H(0), H(16), kOne, kOne},
    {D3DFMT_A16B16G16R16F, "A16B16G16R16F", 8, H(0), H(16), H(32), H(48)},
    {D3DFMT_R32F, "R32F", 4, F(0), kOne, kOne, kOne},
    {D3DFMT_G32R32F, "G32R32F", 8, F(0), F(32), kOne, kOne},
    {D3DFMT_A32B32G32R32F, "A32B32G32R32F", 16, F(0), F(32), F(64), F(96)},
};

// Half-float bits of k / 8 for k in 0..8: exact in every float format.
std::uint16_t HalfOfEighths(UINT k) {
  if (k == 0) return 0;
  int exponent = 0;
  double value = k / 8.0;
  while (value < 1.0) value *= 2, --exponent;
  auto mantissa = static_cast<std::uint16_t>((value - 1.0) * 1024.0);
  return static_cast<std::uint16_t>(((exponent + 15) << 10) | mantissa);
}

void PutBits(BYTE* texel, UINT offset, UINT bits, std::uint64_t value) {
  for (UINT bit = 0; bit < bits; ++bit) {
    UINT at = offset + bit;
    if ((value >> bit) & 1) {
      texel[at / 8] |= static_cast<BYTE>(1u << (at % 8));
    } else {
      texel[at / 8] &= static_cast<BYTE>(~(1u << (at % 8)));
    }
  }
}

// Writes a random value for a field and returns what it reads as (0..1).
double RandomField(const Field& field, BYTE* texel, std::uint32_t& seed) {
  switch (field.kind) {
    case Kind::Unorm: {
      std::uint64_t max = (std::uint64_t{1} << field.bits) - 1;
      std::uint64_t value = (std::uint64_t{Next(seed)} << 8 ^ Next(seed)) & max;
      PutBits(texel, field.offset, field.bits, value);
      return static_cast<double>(value) / static_cast<double>(max);
    }
    case Kind::Half: {
      UINT k = Next(seed) % 9;
      PutBits(texel, field.offset, 16, HalfOfEighths(k));
      return k / 8.0;
    }
    case Kind::Float: {
      UINT k = Next(seed) % 9;
      float value = static_cast<float>(k) / 8.0f;
      std::uint32_t bits;
      std::memcpy(&bits, &value, 4);
      PutBits(texel, field.offset, 32, bits);
      return k / 8.0;
    }
    case Kind::One: return 1.0;
    case Kind::Zero: return 0.0;
  }
  return 0.0;
}

// DXT blocks: the published decoding of colour endpoints and palettes.
struct Rgb8 {
  double r, g, b;
};
Rgb8 Expand565(std::uint16_t c) {
  UINT r = c >> 11, g = (c >> 5) & 0x3F, b = c & 0x1F;
  return {static_cast<double>((r << 3) | (r >> 2)), static_cast<double>((g << 2) | (g >> 4)),
          static_cast<double>((b << 3) | (b >> 2))};
}

// Decodes the colour half of a block (8 bytes) into 16 texels; `fourColours` forces the
// four-colour palette (DXT2-5).
void DecodeColourBlock(const BYTE* block, bool fourColours, std::array<Rgba, 16>& out) {
  std::uint16_t c0 = static_cast<std::uint16_t>(block[0] | block[1] << 8),
                c1 = static_cast<std::uint16_t>(block[2] | block[3] << 8);
  Rgb8 e0 = Expand565(c0), e1 = Expand565(c1);
  Rgba palette[4];
  palette[0] = {e0.r, e0.g, e0.b, 255};
  palette[1] = {e1.r, e1.g, e1.b, 255};
  if (fourColours || c0 > c1) {
    palette[2] = {(2 * e0.r + e1.r) / 3, (2 * e0.g + e1.g) / 3, (2 * e0.b + e1.b) / 3, 255};
    palette[3] = {(e0.r + 2 * e1.r) / 3, (e0.g + 2 * e1.g) / 3, (e0.b + 2 * e1.b) / 3, 255};
  } else {
    palette[2] = {(e0.r + e1.r) / 2, (e0.g + e1.g) / 2, (e0.b + e1.b) / 2, 255};
    palette[3] = {0, 0, 0, 0};
  }
  for (UINT i = 0; i < 16; ++i) {
    UINT index = (block[4 + i / 4] >> ((i % 4) * 2)) & 3;
    const Rgba& p = palette[index];
    out[i] = {p.r / 255, p.g / 255, p.b / 255, p.a / 255};
  }
}

void DecodeAlphaBlock(D3DFORMAT format, const BYTE* block, std::array<Rgba, 16>& out) {
  if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) {
    for (UINT i = 0; i < 16; ++i) out[i].a = ((block[i / 2] >> ((i % 2) * 4)) & 0xF) / 15.0;
    return;
  }
  double a0 = block[0], a1 = block[1], palette[8] = {a0, a1};
  if (a0 > a1) {
    for (int k = 1; k < 7; ++k) palette[k + 1] = ((7 - k) * a0 + k * a1) / 7;
  } else {
    for (int k = 1; k < 5; ++k) palette[k + 1] = ((5 - k) * a0 + k * a1) / 5;
    palette[6] = 0, palette[7] = 255;
  }
  std::uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= std::uint64_t{block[2 + i]} << (8 * i);
  for (UINT i = 0; i < 16; ++i) out[i].a = palette[(bits >> (3 * i)) & 7] / 255;
}

class GlTextures : public GlDevice {
 protected:
  static constexpr UINT kSize = 8;

  void SetUp() override {
    GlDevice::SetUp();
    if (HasFatalFailure()) return;
    device_ = CreateDevice(kSize, kSize, D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN);
    ASSERT_TRUE(device_);
  }

  bool Offered(D3DFORMAT format, D3DRESOURCETYPE type = D3DRTYPE_TEXTURE) {
    return SUCCEEDED(direct3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, type, format));
  }

  // Stage 0 passes the texture's colour and alpha straight through.
  void SelectTexture(IDirect3DBaseTexture9* texture) {
    device_->SetTexture(0, texture);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  }

  std::vector<DWORD> Frame(const QuadOptions& options = {}, UINT width = kSize, UINT height = kSize) {
    DrawQuad(device_.Get(), width, height, options);
    return ReadBackBuffer(device_.Get(), kSize, kSize, D3DFMT_A8R8G8B8);
  }

  ComPtr<IDirect3DDevice9> device_;
};

// Every format the adapter offers for textures, drawn 1:1 into an A8R8G8B8 target.
TEST_F(GlTextures, EveryOfferedFormatSamplesAsItsLayoutReads) {
  // Everything the adapter could offer; each one offered must be one this test can check.
  const D3DFORMAT candidates[] = {
      D3DFMT_R8G8B8,      D3DFMT_A8R8G8B8,      D3DFMT_X8R8G8B8,    D3DFMT_R5G6B5,       D3DFMT_X1R5G5B5,
      D3DFMT_A1R5G5B5,    D3DFMT_A4R4G4B4,      D3DFMT_R3G3B2,      D3DFMT_A8,           D3DFMT_A8R3G3B2,
      D3DFMT_X4R4G4B4,    D3DFMT_A2B10G10R10,   D3DFMT_A8B8G8R8,    D3DFMT_X8B8G8R8,     D3DFMT_G16R16,
      D3DFMT_A2R10G10B10, D3DFMT_A16B16G16R16,  D3DFMT_A8P8,        D3DFMT_P8,           D3DFMT_L8,
      D3DFMT_A8L8,        D3DFMT_A4L4,          D3DFMT_V8U8,        D3DFMT_L6V5U5,       D3DFMT_X8L8V8U8,
      D3DFMT_Q8W8V8U8,    D3DFMT_V16U16,        D3DFMT_A2W10V10U10, D3DFMT_UYVY,         D3DFMT_R8G8_B8G8,
      D3DFMT_YUY2,        D3DFMT_G8R8_G8B8,     D3DFMT_DXT1,        D3DFMT_DXT2,         D3DFMT_DXT3,
      D3DFMT_DXT4,        D3DFMT_DXT5,          D3DFMT_L16,         D3DFMT_Q16W16V16U16, D3DFMT_R16F,
      D3DFMT_G16R16F,     D3DFMT_A16B16G16R16F, D3DFMT_R32F,        D3DFMT_G32R32F,      D3DFMT_A32B32G32R32F,
      D3DFMT_CxV8U8,      D3DFMT_D16,           D3DFMT_D24S8,       D3DFMT_D32};
  UINT checked = 0;
  for (D3DFORMAT format : candidates) {
    if (!Offered(format)) continue;
    SCOPED_TRACE(::testing::Message() << "format " << format);
    bool blocks = format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
                  format == D3DFMT_DXT5;
    const PackedFormat* packed = nullptr;
    for (const PackedFormat& candidate : kPackedFormats) {
      if (candidate.format == format) packed = &candidate;
    }
    if (!packed && !blocks) {
      ADD_FAILURE() << "offered for textures, but no layout to check it against";
      continue;
    }
    std::vector<Rgba> expected(kSize * kSize);
    std::uint32_t seed = 0x5EED0000u + static_cast<std::uint32_t>(format);
    LevelFill fill = [&](UINT, BYTE* bytes, INT pitch, UINT width, UINT height) {
      if (packed) {
        for (UINT y = 0; y < height; ++y) {
          for (UINT x = 0; x < width; ++x) {
            BYTE* texel = bytes + y * pitch + x * packed->bytes;
            // Unused bits hold noise: nothing may read them.
            for (UINT i = 0; i < packed->bytes; ++i) texel[i] = static_cast<BYTE>(Next(seed));
            Rgba value;
            value.r = RandomField(packed->r, texel, seed);
            value.g = packed->luminance ? value.r : RandomField(packed->g, texel, seed);
            value.b = packed->luminance ? value.r : RandomField(packed->b, texel, seed);
            value.a = RandomField(packed->a, texel, seed);
            expected[y * kSize + x] = value;
          }
        }
        return;
      }
      bool colourFirst = format == D3DFMT_DXT1;
      UINT blockBytes = colourFirst ? 8 : 16;
      for (UINT by = 0; by < height / 4; ++by) {
        for (UINT bx = 0; bx < width / 4; ++bx) {
          BYTE* block = bytes + by * pitch + bx * blockBytes;
          for (UINT i = 0; i < blockBytes; ++i) block[i] = static_cast<BYTE>(Next(seed));
          std::array<Rgba, 16> texels;
          DecodeColourBlock(colourFirst ? block : block + 8, !colourFirst, texels);
          if (!colourFirst) DecodeAlphaBlock(format, block, texels);
          for (UINT i = 0; i < 16; ++i) expected[(by * 4 + i / 4) * kSize + bx * 4 + i % 4] = texels[i];
        }
      }
    };
    auto texture = MakeTexture(device_.Get(), kSize, kSize, 1, format, D3DPOOL_MANAGED, fill);
    ASSERT_TRUE(texture);
    SelectTexture(texture.Get());
    auto pixels = Frame();
    ASSERT_EQ(pixels.size(), size_t{kSize * kSize});
    // Interpolated DXT palette entries: decoders may round the thirds (and sevenths) of the
    // endpoints to 8 bits before or after expanding, one code either way. Fields narrower or
    // wider than 8 bits: GL implementations may widen by bit replication or narrow by
    // truncation instead of rounding the exact quotient, one code either way.
    bool eightBitFields = packed && [&] {
      for (const Field* field : {&packed->r, &packed->g, &packed->b, &packed->a}) {
        if (field->kind == Kind::Unorm && field->bits != 8) return false;
      }
      return true;
    }();
    int tolerance = blocks || (packed && !eightBitFields) ? 1 : 0;
    for (UINT i = 0; i < kSize * kSize; ++i) {
      ASSERT_TRUE(PixelMatches(pixels[i], expected[i], tolerance)) << "texel " << i % kSize << "," << i / kSize;
    }
    ++checked;
  }
  EXPECT_GE(checked, 9u);  // at least the formats every OpenGL 3.3 implementation samples
  RecordProperty("formats_checked", static_cast<int>(checked));
}

// ---------------------------------------------------------------------------------------------
// Stage equations

struct StageCase {
  const char* name;
  DWORD colorOp, colorArg1, colorArg2;
  DWORD alphaOp, alphaArg1, alphaArg2;
};

constexpr D3DCOLOR kDiffuse = 0x9A5C2FD0;
constexpr D3DCOLOR kSpecular = 0x40C01080;
constexpr D3DCOLOR kFactor = 0x6B30A0E8;

Rgba Argument(DWORD argument, const Rgba& texel, const Rgba& current) {
  Rgba value;
  switch (argument & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: value = FromColor(kDiffuse); break;
    case D3DTA_CURRENT: value = current; break;
    case D3DTA_TEXTURE: value = texel; break;
    case D3DTA_TFACTOR: value = FromColor(kFactor); break;
    case D3DTA_SPECULAR: value = FromColor(kSpecular); break;
    default: value = {0, 0, 0, 0}; break;
  }
  if (argument & D3DTA_ALPHAREPLICATE) value = {value.a, value.a, value.a, value.a};
  if (argument & D3DTA_COMPLEMENT) value = {1 - value.r, 1 - value.g, 1 - value.b, 1 - value.a};
  return value;
}

// One channel of a stage operation, as published.
double Operate(DWORD op, double a1, double a2, const Rgba& texel, const Rgba& current, const Rgba& diffuse) {
  switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return a1 * a2;
    case D3DTOP_MODULATE2X: return 2 * a1 * a2;
    case D3DTOP_MODULATE4X: return 4 * a1 * a2;
    case D3DTOP_ADD: return a1 + a2;
    case D3DTOP_ADDSIGNED: return a1 + a2 - 0.5;
    case D3DTOP_SUBTRACT: return a1 - a2;
    case D3DTOP_BLENDDIFFUSEALPHA: return a1 * diffuse.a + a2 * (1 - diffuse.a);
    case D3DTOP_BLENDTEXTUREALPHA: return a1 * texel.a + a2 * (1 - texel.a);
    case D3DTOP_BLENDCURRENTALPHA: return a1 * current.a + a2 * (1 - current.a);
    default: return -1;
  }
}

double Saturate(double v) { return std::clamp(v, 0.0, 1.0); }

Rgba Stage(const StageCase& c, const Rgba& texel, const Rgba& current) {
  Rgba diffuse = FromColor(kDiffuse);
  Rgba c1 = Argument(c.colorArg1, texel, current), c2 = Argument(c.colorArg2, texel, current);
  Rgba a1 = Argument(c.alphaArg1, texel, current), a2 = Argument(c.alphaArg2, texel, current);
  Rgba out;
  if (c.colorOp == D3DTOP_DOTPRODUCT3) {
    double dot = 4 * ((c1.r - 0.5) * (c2.r - 0.5) + (c1.g - 0.5) * (c2.g - 0.5) + (c1.b - 0.5) * (c2.b - 0.5));
    dot = Saturate(dot);
    return {dot, dot, dot, dot};  // every channel, alpha included
  }
  out.r = Saturate(Operate(c.colorOp, c1.r, c2.r, texel, current, diffuse));
  out.g = Saturate(Operate(c.colorOp, c1.g, c2.g, texel, current, diffuse));
  out.b = Saturate(Operate(c.colorOp, c1.b, c2.b, texel, current, diffuse));
  out.a = c.alphaOp == D3DTOP_DISABLE ? current.a : Saturate(Operate(c.alphaOp, a1.a, a2.a, texel, current, diffuse));
  return out;
}

class StageEquations : public GlTextures, public ::testing::WithParamInterface<StageCase> {};

TEST_P(StageEquations, MatchThePublishedEquationPerPixel) {
  const StageCase& c = GetParam();
  RandomTexels texels(kSize, kSize, 0xC0FFEE);
  auto texture = MakeTexture(device_.Get(), kSize, kSize, 1, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texels.Fill());
  ASSERT_TRUE(texture);
  device_->SetTexture(0, texture.Get());
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, kFactor);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, c.colorOp);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, c.colorArg1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG2, c.colorArg2);
  device_->SetTextureStageState(0, D3DTSS_ALPHAOP, c.alphaOp);
  device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, c.alphaArg1);
  device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, c.alphaArg2);
  auto pixels = Frame({kDiffuse, kSpecular});
  ASSERT_EQ(pixels.size(), size_t{kSize * kSize});
  for (UINT y = 0; y < kSize; ++y) {
    for (UINT x = 0; x < kSize; ++x) {
      Rgba expected = Stage(c, FromColor(texels.At(x, y)), FromColor(kDiffuse));
      ASSERT_TRUE(PixelMatches(pixels[y * kSize + x], expected))
          << x << "," << y << " texel " << std::hex << texels.At(x, y);
    }
  }
}

constexpr DWORD T = D3DTA_TEXTURE, D = D3DTA_DIFFUSE, C = D3DTA_CURRENT, TF = D3DTA_TFACTOR, S = D3DTA_SPECULAR;
constexpr DWORD NOT = D3DTA_COMPLEMENT, REP = D3DTA_ALPHAREPLICATE;

INSTANTIATE_TEST_SUITE_P(
    Operations, StageEquations,
    ::testing::Values(StageCase{"SelectArg1", D3DTOP_SELECTARG1, T, D, D3DTOP_SELECTARG1, T, D},
                      StageCase{"SelectArg2", D3DTOP_SELECTARG2, T, D, D3DTOP_SELECTARG2, T, D},
                      StageCase{"Modulate", D3DTOP_MODULATE, T, D, D3DTOP_MODULATE, T, D},
                      StageCase{"Modulate2x", D3DTOP_MODULATE2X, T, D, D3DTOP_MODULATE2X, T, D},
                      StageCase{"Modulate4x", D3DTOP_MODULATE4X, T, D, D3DTOP_MODULATE4X, T, D},
                      StageCase{"Add", D3DTOP_ADD, T, D, D3DTOP_ADD, T, D},
                      StageCase{"AddSigned", D3DTOP_ADDSIGNED, T, D, D3DTOP_ADDSIGNED, T, D},
                      StageCase{"Subtract", D3DTOP_SUBTRACT, T, D, D3DTOP_SUBTRACT, D, T},
                      StageCase{"BlendDiffuseAlpha", D3DTOP_BLENDDIFFUSEALPHA, T, TF, D3DTOP_BLENDDIFFUSEALPHA, T, TF},
                      StageCase{"BlendTextureAlpha", D3DTOP_BLENDTEXTUREALPHA, TF, D, D3DTOP_BLENDTEXTUREALPHA, TF, D},
                      StageCase{"BlendCurrentAlpha", D3DTOP_BLENDCURRENTALPHA, T, TF, D3DTOP_BLENDCURRENTALPHA, T, S},
                      StageCase{"DotProduct3", D3DTOP_DOTPRODUCT3, T, D, D3DTOP_SELECTARG1, D, D},
                      StageCase{"ComplementAndSpecular", D3DTOP_MODULATE, T | NOT, S, D3DTOP_ADD, T | NOT, S},
                      StageCase{"AlphaReplicate", D3DTOP_MODULATE, T | REP, TF, D3DTOP_SELECTARG1, TF | NOT, T},
                      StageCase{"ComplementedReplica", D3DTOP_ADD, T | REP | NOT, C, D3DTOP_SELECTARG2, T, C},
                      StageCase{"AlphaDisabled", D3DTOP_MODULATE, T, TF, D3DTOP_DISABLE, T, T}),
    [](const ::testing::TestParamInfo<StageCase>& test) { return std::string(test.param.name); });

// Two stages, the second reading another texture through texture-coordinate set 1 (mirrored
// left to right), the first stage's result as CURRENT, and a disabled third stage.
TEST_F(GlTextures, SecondStageReadsCurrentAndItsOwnCoordinateSet) {
  RandomTexels first(kSize, kSize, 11), second(kSize, kSize, 12);
  auto one = MakeTexture(device_.Get(), kSize, kSize, 1, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, first.Fill());
  auto two = MakeTexture(device_.Get(), kSize, kSize, 1, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, second.Fill());
  ASSERT_TRUE(one && two);
  device_->SetTexture(0, one.Get());
  device_->SetTexture(1, two.Get());
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BLENDCURRENTALPHA);
  device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
  device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TEXTURE);
  device_->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  device_->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);  // X8R8G8B8: alpha reads 1
  device_->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
  device_->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
  auto pixels = Frame({kDiffuse, kSpecular});
  ASSERT_EQ(pixels.size(), size_t{kSize * kSize});
  StageCase stage0{"", D3DTOP_MODULATE, T, D, D3DTOP_SELECTARG1, T, T};
  StageCase stage1{"", D3DTOP_BLENDCURRENTALPHA, C, T, D3DTOP_MODULATE, T, C};
  for (UINT y = 0; y < kSize; ++y) {
    for (UINT x = 0; x < kSize; ++x) {
      Rgba current = Stage(stage0, FromColor(first.At(x, y)), FromColor(kDiffuse));
      Rgba texel = FromColor(second.At(kSize - 1 - x, y) | 0xFF000000);
      Rgba expected = Stage(stage1, texel, current);
      ASSERT_TRUE(PixelMatches(pixels[y * kSize + x], expected)) << x << "," << y;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Samplers

struct AddressCase {
  const char* name;
  DWORD mode;
  // The texel column a sample at u (in texels, 0..2w) reads, or -1 for the border colour.
  int (*column)(double u, int width);
};

int WrapColumn(double u, int w) { return static_cast<int>(std::floor(u)) % w; }
int ClampColumn(double u, int w) { return std::min(static_cast<int>(std::floor(u)), w - 1); }
int MirrorColumn(double u, int w) {
  int t = static_cast<int>(std::floor(u));
  return t < w ? t : 2 * w - 1 - t;
}
int BorderColumn(double u, int w) { return u < w ? static_cast<int>(std::floor(u)) : -1; }

class AddressModes : public GlTextures, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(AddressModes, PickTheTexelsOfThePublishedAddressing) {
  constexpr D3DCOLOR kBorder = 0xFF10E070;
  // A 4 x 4 texture drawn across 8 x 8 pixels with coordinates 0..2: each texel once inside,
  // once outside [0, 1].
  RandomTexels texels(4, 4, 77);
  auto texture = MakeTexture(device_.Get(), 4, 4, 1, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texels.Fill());
  ASSERT_TRUE(texture);
  SelectTexture(texture.Get());
  device_->SetSamplerState(0, D3DSAMP_ADDRESSU, GetParam().mode);
  device_->SetSamplerState(0, D3DSAMP_ADDRESSV, GetParam().mode);
  device_->SetSamplerState(0, D3DSAMP_BORDERCOLOR, kBorder);
  auto pixels = Frame({0xFFFFFFFF, 0, 2.0f, 2.0f});
  ASSERT_EQ(pixels.size(), size_t{kSize * kSize});
  for (UINT y = 0; y < kSize; ++y) {
    for (UINT x = 0; x < kSize; ++x) {
      // Pixel centre x samples u = (x + 0.5) / 8 * 2, which is texel coordinate x + 0.5 of 4.
      int column = GetParam().column(x + 0.5, 4), row = GetParam().column(y + 0.5, 4);
      D3DCOLOR expected =
          column < 0 || row < 0 ? kBorder : texels.At(static_cast<UINT>(column), static_cast<UINT>(row));
      ASSERT_EQ(pixels[y * kSize + x], expected) << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, AddressModes,
                         ::testing::Values(AddressCase{"Wrap", D3DTADDRESS_WRAP, WrapColumn},
                                           AddressCase{"Clamp", D3DTADDRESS_CLAMP, ClampColumn},
                                           AddressCase{"Mirror", D3DTADDRESS_MIRROR, MirrorColumn},
                                           AddressCase{"Border", D3DTADDRESS_BORDER, BorderColumn}),
                         [](const ::testing::TestParamInfo<AddressCase>& test) {
                           return std::string(test.param.name);
                         });

TEST_F(GlTextures, DefaultSamplerPointSamplesTheTopLevelAndWraps) {
  // Three levels of different colours; the top level's texels random. Point filtering on the
  // top level, even when drawn smaller (no mip filter), wrapping past 1.
  RandomTexels top(kSize, kSize, 5);
  LevelFill fill = [&](UINT level, BYTE* bytes, INT pitch, UINT w, UINT h) {
    if (level == 0) return top.Fill()(level, bytes, pitch, w, h);
    SolidLevels({0, 0xFF00FF00, 0xFF0000FF})(level, bytes, pitch, w, h);
  };
  auto texture = MakeTexture(device_.Get(), kSize, kSize, 3, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, fill);
  ASSERT_TRUE(texture);
  SelectTexture(texture.Get());
  // Coordinates 0..2 over 8 pixels: pixel x samples texel (2x + 1) mod 8 of level 0.
  auto pixels = Frame({0xFFFFFFFF, 0, 2.0f, 2.0f});
  ASSERT_EQ(pixels.size(), size_t{kSize * kSize});
  for (UINT y = 0; y < kSize; ++y) {
    for (UINT x = 0; x < kSize; ++x) ASSERT_EQ(pixels[y * kSize + x], top.At(2 * x + 1, 2 * y + 1)) << x << "," << y;
  }
}

struct LevelCase {
  const char* name;
  DWORD mipFilter, maxMipLevel, lod;
  float bias;
  float scale;  // texture coordinates 0..scale: 2 halves the texel footprint per pixel
  D3DCOLOR expected;
};

constexpr D3DCOLOR kLevelColours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};

class MipLevels : public GlTextures, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(MipLevels, SampleTheLevelThePublishedRulesPick) {
  const LevelCase& c = GetParam();
  auto texture = MakeTexture(device_.Get(), kSize, kSize, 4, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                             SolidLevels({kLevelColours[0], kLevelColours[1], kLevelColours[2], kLevelColours[3]}));
  ASSERT_TRUE(texture);
  texture->SetLOD(c.lod);
  SelectTexture(texture.Get());
  device_->SetSamplerState(0, D3DSAMP_MIPFILTER, c.mipFilter);
  device_->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, c.maxMipLevel);
  device_->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, std::bit_cast<DWORD>(c.bias));
  auto pixels = Frame({0xFFFFFFFF, 0, c.scale, c.scale});
  ASSERT_EQ(pixels.size(), size_t{kSize * kSize});
  for (DWORD pixel : pixels) ASSERT_EQ(pixel, c.expected) << std::hex << pixel;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, MipLevels,
    ::testing::Values(LevelCase{"NoMipFilterUsesTheTop", D3DTEXF_NONE, 0, 0, 0.0f, 4.0f, kLevelColours[0]},
                      LevelCase{"PointMipAtOneToOne", D3DTEXF_POINT, 0, 0, 0.0f, 1.0f, kLevelColours[0]},
                      LevelCase{"PointMipAtHalfSize", D3DTEXF_POINT, 0, 0, 0.0f, 2.0f, kLevelColours[1]},
                      LevelCase{"PointMipAtQuarterSize", D3DTEXF_POINT, 0, 0, 0.0f, 4.0f, kLevelColours[2]},
                      LevelCase{"BiasOneLevel", D3DTEXF_POINT, 0, 0, 1.0f, 1.0f, kLevelColours[1]},
                      LevelCase{"MaxMipLevelLimitsTheTop", D3DTEXF_POINT, 2, 0, 0.0f, 1.0f, kLevelColours[2]},
                      LevelCase{"MaxMipLevelWithoutMipFilter", D3DTEXF_NONE, 1, 0, 0.0f, 1.0f, kLevelColours[1]},
                      LevelCase{"TextureLodLimitsTheTop", D3DTEXF_POINT, 0, 3, 0.0f, 1.0f, kLevelColours[3]},
                      LevelCase{"TheLargerLimitWins", D3DTEXF_NONE, 1, 2, 0.0f, 1.0f, kLevelColours[2]},
                      LevelCase{"LimitsPastTheChainClampToTheLast", D3DTEXF_POINT, 9, 0, 0.0f, 1.0f, kLevelColours[3]}),
    [](const ::testing::TestParamInfo<LevelCase>& test) { return std::string(test.param.name); });

TEST_F(GlTextures, LinearMagnificationBlendsTheFourNearestTexels) {
  // A 2 x 2 texture over 8 x 8 pixels, clamped: pixel x samples u = (x + 0.5) / 8, i.e. texel
  // coordinate 2u - 0.5 between the texel centres.
  const D3DCOLOR texels[4] = {0xFF000000, 0xFFFF8040, 0xFF2080FF, 0xFFFFFFFF};
  auto texture = MakeTexture(device_.Get(), 2, 2, 1, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                             [&](UINT, BYTE* bytes, INT pitch, UINT, UINT) {
                               std::memcpy(bytes, texels, 8);
                               std::memcpy(bytes + pitch, texels + 2, 8);
                             });
  ASSERT_TRUE(texture);
  SelectTexture(texture.Get());
  device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  device_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
  auto pixels = Frame();
  ASSERT_EQ(pixels.size(), size_t{kSize * kSize});
  for (UINT y = 0; y < kSize; ++y) {
    for (UINT x = 0; x < kSize; ++x) {
      double fx = std::clamp(2 * (x + 0.5) / kSize - 0.5, 0.0, 1.0),
             fy = std::clamp(2 * (y + 0.5) / kSize - 0.5, 0.0, 1.0);
      Rgba c[4] = {FromColor(texels[0]), FromColor(texels[1]), FromColor(texels[2]), FromColor(texels[3])};
      auto mix = [&](double Rgba::*channel) {
        return (c[0].*channel * (1 - fx) + c[1].*channel * fx) * (1 - fy) +
               (c[2].*channel * (1 - fx) + c[3].*channel * fx) * fy;
      };
      Rgba expected{mix(&Rgba::r), mix(&Rgba::g), mix(&Rgba::b), 1.0};
      // Filter weights are fixed point in GL implementations (8 fractional bits in llvmpipe):
      // one code either way.
      ASSERT_TRUE(PixelMatches(pixels[y * kSize + x], expected, 1)) << x << "," << y;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Uploads: textures follow their memory

TEST_F(GlTextures, ChangedLevelsReachTheNextDrawAndUnchangedOnesStay) {
  auto texture = MakeTexture(device_.Get(), kSize, kSize, 2, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                             SolidLevels({0xFF102030, 0xFF405060}));
  ASSERT_TRUE(texture);
  SelectTexture(texture.Get());
  auto pixels = Frame();
  ASSERT_FALSE(pixels.empty());
  EXPECT_EQ(pixels[0], 0xFF102030u);
  // A lock of a part of level 0: only that part's texels change.
  D3DLOCKED_RECT locked{};
  RECT part{0, 0, 4, 1};
  ASSERT_EQ(texture->LockRect(0, &locked, &part, 0), D3D_OK);
  for (int x = 0; x < 4; ++x) static_cast<DWORD*>(locked.pBits)[x] = 0xFFA0B0C0;
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  pixels = Frame();
  EXPECT_EQ(pixels[3], 0xFFA0B0C0u);
  EXPECT_EQ(pixels[4], 0xFF102030u);
  EXPECT_EQ(pixels[kSize], 0xFF102030u);
  // Level 1 kept its contents through the re-upload of level 0.
  device_->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 1);
  pixels = Frame();
  EXPECT_EQ(pixels[0], 0xFF405060u);
}

TEST_F(GlTextures, DefaultPoolTexturesTakeWhatUpdateTextureCopies) {
  auto staging =
      MakeTexture(device_.Get(), kSize, kSize, 1, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, SolidLevels({0x00406080}));
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(device_->CreateTexture(kSize, kSize, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                   texture.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ASSERT_TRUE(staging);
  SelectTexture(texture.Get());
  auto pixels = Frame();
  EXPECT_EQ(pixels[0], 0xFF000000u);  // a new default-pool texture holds zeros
  ASSERT_EQ(device_->UpdateTexture(staging.Get(), texture.Get()), D3D_OK);
  pixels = Frame();
  EXPECT_EQ(pixels[0], 0xFF406080u);
  // A second update with new contents replaces them.
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(staging->LockRect(0, &locked, nullptr, 0), D3D_OK);
  static_cast<DWORD*>(locked.pBits)[0] = 0x00FFEEDD;
  staging->UnlockRect(0);
  ASSERT_EQ(device_->UpdateTexture(staging.Get(), texture.Get()), D3D_OK);
  pixels = Frame();
  EXPECT_EQ(pixels[0], 0xFFFFEEDDu);
  EXPECT_EQ(pixels[1], 0xFF406080u);
}

TEST_F(GlTextures, AutomaticMipMapsFollowTheTopLevel) {
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(device_->CreateTexture(kSize, kSize, 0, D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8,
                                   D3DPOOL_DEFAULT, texture.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  SolidLevels({0xFF336699})(0, static_cast<BYTE*>(locked.pBits), locked.Pitch, kSize, kSize);
  texture->UnlockRect(0);
  SelectTexture(texture.Get());
  device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
  // A quarter-size footprint reads level 2, made from the top level.
  auto pixels = Frame({0xFFFFFFFF, 0, 4.0f, 4.0f});
  for (DWORD pixel : pixels) ASSERT_EQ(pixel, 0xFF336699u);
}

// A cube texture with one colour per face: a direction along each axis reads that face.
TEST_F(GlTextures, CubeTexturesReadTheFaceTheDirectionPoints) {
  constexpr D3DCOLOR kFaces[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
  ComPtr<IDirect3DCubeTexture9> cube;
  ASSERT_EQ(
      device_->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  for (UINT face = 0; face < 6; ++face) {
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, 0), D3D_OK);
    SolidLevels({kFaces[face]})(0, static_cast<BYTE*>(locked.pBits), locked.Pitch, 4, 4);
    cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
  }
  SelectTexture(cube.Get());
  struct Vertex {
    float x, y, z, rhw, u, v, w;
  };
  const float directions[6][3] = {{1, 0.1f, 0.2f},  {-1, 0.1f, 0.2f}, {0.1f, 1, 0.2f},
                                  {0.1f, -1, 0.2f}, {0.1f, 0.2f, 1},  {0.1f, 0.2f, -1}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0));
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  for (UINT face = 0; face < 6; ++face) {
    const float* d = directions[face];
    float s = kSize - 0.5f;
    const Vertex quad[4] = {{-0.5f, -0.5f, 0, 1, d[0], d[1], d[2]},
                            {s, -0.5f, 0, 1, d[0], d[1], d[2]},
                            {-0.5f, s, 0, 1, d[0], d[1], d[2]},
                            {s, s, 0, 1, d[0], d[1], d[2]}};
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    auto pixels = ReadBackBuffer(device_.Get(), kSize, kSize, D3DFMT_A8R8G8B8);
    ASSERT_FALSE(pixels.empty());
    EXPECT_EQ(pixels[3 * kSize + 3], kFaces[face]) << "face " << face;
  }
}

TEST_F(GlTextures, VolumeTexturesReadTheSliceTheThirdCoordinatePicks) {
  ComPtr<IDirect3DVolumeTexture9> volume;
  ASSERT_EQ(device_->CreateVolumeTexture(2, 2, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                         volume.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  D3DLOCKED_BOX locked{};
  ASSERT_EQ(volume->LockBox(0, &locked, nullptr, 0), D3D_OK);
  for (UINT slice = 0; slice < 4; ++slice) {
    for (UINT y = 0; y < 2; ++y) {
      auto* row =
          reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + slice * locked.SlicePitch + y * locked.RowPitch);
      row[0] = row[1] = 0xFF000000u | (slice * 0x40u << 16) | (y * 0x80u);
    }
  }
  volume->UnlockBox(0);
  SelectTexture(volume.Get());
  struct Vertex {
    float x, y, z, rhw, u, v, w;
  };
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0));
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  for (UINT slice = 0; slice < 4; ++slice) {
    float w = (slice + 0.5f) / 4, s = kSize - 0.5f;
    const Vertex quad[4] = {
        {-0.5f, -0.5f, 0, 1, 0, 0, w}, {s, -0.5f, 0, 1, 1, 0, w}, {-0.5f, s, 0, 1, 0, 1, w}, {s, s, 0, 1, 1, 1, w}};
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    auto pixels = ReadBackBuffer(device_.Get(), kSize, kSize, D3DFMT_A8R8G8B8);
    ASSERT_FALSE(pixels.empty());
    EXPECT_EQ(pixels[0], 0xFF000000u | (slice * 0x40u << 16)) << "slice " << slice;
    EXPECT_EQ(pixels[7 * kSize], 0xFF000080u | (slice * 0x40u << 16)) << "slice " << slice;
  }
}

TEST_F(GlTextures, BindingsAndStageStatesPersistAcrossDrawsAndSwitches) {
  auto red = MakeTexture(device_.Get(), kSize, kSize, 1, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, SolidLevels({0xFF800000}));
  auto blue = MakeTexture(device_.Get(), kSize, kSize, 1, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, SolidLevels({0xFF000080}));
  ASSERT_TRUE(red && blue);
  SelectTexture(red.Get());
  EXPECT_EQ(Frame()[0], 0xFF800000u);
  // Unrelated state changes and a Present keep the stage as it was.
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  device_->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(Frame()[0], 0xFF800000u);
  device_->SetTexture(0, blue.Get());
  EXPECT_EQ(Frame()[0], 0xFF000080u);
  device_->SetTexture(0, red.Get());
  EXPECT_EQ(Frame()[0], 0xFF800000u);
  // Without a texture, TEXTURE reads as opaque black; with it back, the texture again.
  device_->SetTexture(0, nullptr);
  EXPECT_EQ(Frame()[0], 0xFF000000u);
  device_->SetTexture(0, blue.Get());
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
  device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  EXPECT_EQ(Frame({0xFF002000})[0], 0xFF002080u);
}

TEST_F(GlTextures, RenderTargetTexturesSampleWhatWasDrawnIntoThem) {
  ComPtr<IDirect3DTexture9> target;
  ASSERT_EQ(device_->CreateTexture(kSize, kSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                   target.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ComPtr<IDirect3DSurface9> level, backBuffer;
  ASSERT_EQ(target->GetSurfaceLevel(0, level.ReleaseAndGetAddressOf()), D3D_OK);
  ASSERT_EQ(device_->GetRenderTarget(0, backBuffer.ReleaseAndGetAddressOf()), D3D_OK);
  ASSERT_EQ(device_->SetRenderTarget(0, level.Get()), D3D_OK);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF5A6B7C, 1.0f, 0), D3D_OK);
  ASSERT_EQ(device_->SetRenderTarget(0, backBuffer.Get()), D3D_OK);
  SelectTexture(target.Get());
  auto pixels = Frame();
  ASSERT_FALSE(pixels.empty());
  for (DWORD pixel : pixels) ASSERT_EQ(pixel, 0xFF5A6B7Cu);
}

}  // namespace
}  // namespace rastro::testing
