#include "GlFormats.h"

namespace rastro {

namespace {

constexpr GLint R = GL_RED, G = GL_GREEN, B = GL_BLUE, A = GL_ALPHA, ONE = GL_ONE, ZERO = GL_ZERO;

constexpr GlFormat Row(D3DFORMAT d3dFormat, GLenum internalFormat, GLenum clientFormat, GLenum type,
                       std::array<GLint, 4> swizzle, unsigned traits) {
  GlFormat row;
  row.d3dFormat = d3dFormat;
  row.internalFormat = internalFormat;
  row.format = clientFormat;
  row.type = type;
  row.swizzle = swizzle;
  row.sampled = traits & kGlSampled;
  row.renderable = traits & kGlRenderable;
  row.compressed = traits & kGlCompressed;
  row.depth = traits & kGlDepth;
  row.stencil = traits & kGlStencil;
  return row;
}

constexpr unsigned kColor = kGlSampled | kGlRenderable;
constexpr unsigned kBlocks = kGlSampled | kGlCompressed;

// Memory layouts match Direct3D's little-endian packing: e.g. A8R8G8B8 is the 32-bit value
// 0xAARRGGBB, which GL reads as BGRA with UNSIGNED_INT_8_8_8_8_REV. Channels a format lacks
// read as 1, except A8's colour, which reads as 0.
//
// Not offered for textures: R8G8B8, which Direct3D 9 hardware does not sample, and the signed
// formats, which only bump mapping reads and the fixed-function stages here do not do.
constexpr GlFormat kRows[] = {
    Row(D3DFMT_A8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {R, G, B, A}, kColor),
    Row(D3DFMT_X8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {R, G, B, ONE}, kColor),
    Row(D3DFMT_R5G6B5, GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, {R, G, B, ONE}, kColor),
    Row(D3DFMT_X1R5G5B5, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {R, G, B, ONE}, kColor),
    Row(D3DFMT_A1R5G5B5, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {R, G, B, A}, kColor),
    Row(D3DFMT_A4R4G4B4, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {R, G, B, A}, kGlSampled),
    Row(D3DFMT_X4R4G4B4, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {R, G, B, ONE}, kGlSampled),
    Row(D3DFMT_R3G3B2, GL_R3_G3_B2, GL_RGB, GL_UNSIGNED_BYTE_3_3_2, {R, G, B, ONE}, kGlSampled),
    Row(D3DFMT_A8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {ZERO, ZERO, ZERO, R}, kGlSampled),
    Row(D3DFMT_A2R10G10B10, GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV, {R, G, B, A}, kColor),
    Row(D3DFMT_A2B10G10R10, GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV, {R, G, B, A}, kColor),
    Row(D3DFMT_A8B8G8R8, GL_RGBA8, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8_REV, {R, G, B, A}, kColor),
    Row(D3DFMT_X8B8G8R8, GL_RGBA8, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8_REV, {R, G, B, ONE}, kColor),
    Row(D3DFMT_G16R16, GL_RG16, GL_RG, GL_UNSIGNED_SHORT, {R, G, ONE, ONE}, kColor),
    Row(D3DFMT_A16B16G16R16, GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, {R, G, B, A}, kColor),
    Row(D3DFMT_L8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {R, R, R, ONE}, kGlSampled),
    Row(D3DFMT_A8L8, GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {R, R, R, G}, kGlSampled),
    Row(D3DFMT_L16, GL_R16, GL_RED, GL_UNSIGNED_SHORT, {R, R, R, ONE}, kGlSampled),
    Row(D3DFMT_DXT1, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, {R, G, B, A}, kBlocks),
    Row(D3DFMT_DXT2, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, {R, G, B, A}, kBlocks),
    Row(D3DFMT_DXT3, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, {R, G, B, A}, kBlocks),
    Row(D3DFMT_DXT4, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, {R, G, B, A}, kBlocks),
    Row(D3DFMT_DXT5, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, {R, G, B, A}, kBlocks),
    Row(D3DFMT_R16F, GL_R16F, GL_RED, GL_HALF_FLOAT, {R, ONE, ONE, ONE}, kColor),
    Row(D3DFMT_G16R16F, GL_RG16F, GL_RG, GL_HALF_FLOAT, {R, G, ONE, ONE}, kColor),
    Row(D3DFMT_A16B16G16R16F, GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, {R, G, B, A}, kColor),
    Row(D3DFMT_R32F, GL_R32F, GL_RED, GL_FLOAT, {R, ONE, ONE, ONE}, kColor),
    Row(D3DFMT_G32R32F, GL_RG32F, GL_RG, GL_FLOAT, {R, G, ONE, ONE}, kColor),
    Row(D3DFMT_A32B32G32R32F, GL_RGBA32F, GL_RGBA, GL_FLOAT, {R, G, B, A}, kColor),
    Row(D3DFMT_R8G8B8, GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, {R, G, B, ONE}, 0),
    Row(D3DFMT_V8U8, GL_RG8_SNORM, GL_RG, GL_BYTE, {R, G, ONE, ONE}, 0),
    Row(D3DFMT_Q8W8V8U8, GL_RGBA8_SNORM, GL_RGBA, GL_BYTE, {R, G, B, A}, 0),
    Row(D3DFMT_V16U16, GL_RG16_SNORM, GL_RG, GL_SHORT, {R, G, ONE, ONE}, 0),
    Row(D3DFMT_Q16W16V16U16, GL_RGBA16_SNORM, GL_RGBA, GL_SHORT, {R, G, B, A}, 0),
    Row(D3DFMT_D16_LOCKABLE, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, {R, R, R, ONE}, kGlDepth),
    Row(D3DFMT_D32, GL_DEPTH_COMPONENT32, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, {R, R, R, ONE}, kGlDepth),
    Row(D3DFMT_D24S8, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, {R, R, R, ONE},
        kGlDepth | kGlStencil),
    Row(D3DFMT_D24X8, GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, {R, R, R, ONE}, kGlDepth),
    Row(D3DFMT_D16, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, {R, R, R, ONE}, kGlDepth),
    Row(D3DFMT_D32F_LOCKABLE, GL_DEPTH_COMPONENT32F, GL_DEPTH_COMPONENT, GL_FLOAT, {R, R, R, ONE}, kGlDepth),
};

}  // namespace

bool LookupGlFormat(D3DFORMAT format, GlFormat& out) {
  for (const GlFormat& row : kRows) {
    if (row.d3dFormat != format) continue;
    out = row;
    return true;
  }
  return false;
}

std::span<const GlFormat> GlFormatTable() { return kRows; }

}  // namespace rastro
