// The catalogue of every pixel format the loader knows: what each is made of, and which
// format a texture gets when the wanted one is not available.
#pragma once

#include "d3d9.h"

namespace rastro {

// Formats that exist only inside the loader: 16-bit luminance with 16-bit alpha above it, and
// 16-bit red, green and blue stored blue first. Decoders of 16-bit-per-sample images produce
// them; they never reach the device (see ToPublicFormat).
constexpr D3DFORMAT FORMAT_AL16 = static_cast<D3DFORMAT>(MAKEFOURCC('A', 'L', '1', '6'));
constexpr D3DFORMAT FORMAT_R16 = static_cast<D3DFORMAT>(MAKEFOURCC(' ', 'R', '1', '6'));

enum class FormatKind : DWORD {
  Rgb = 0,  // colour formats, YUV, block-compressed and floating-point ones included
  Palette = 1,
  Luminance = 2,
  Bump = 3,  // signed bump-map formats
  Depth = 4,
};

// The five bit counts are the channel columns, always taken in the order ExtraBits, AlphaBits,
// RedBits, GreenBits, BlueBits.
struct FormatInfo {
  D3DFORMAT Format;
  FormatKind Kind;
  UINT BitsPerPixel;  // storage bits; for DXT formats 16, not their block size
  UINT ExtraBits;     // luminance of L6V5U5 / X8L8V8U8, alpha of A2W10V10U10, C of CxV8U8, lockable depth
  UINT AlphaBits;     // Q for the four-component bump formats
  UINT RedBits;       // luminance for luminance formats, W for bump formats
  UINT GreenBits;     // V for bump formats, stencil for depth formats
  UINT BlueBits;      // U for bump formats, depth for depth formats
  UINT Convertible;   // 1: may stand in for another format; 0: only taken when asked for by name
};

constexpr DWORD kFormatRejected = 0xFFFFFFFF;

// The catalogue row of `format`, or the fallback record (described as 32-bit ARGB with eight
// bits a channel, Format D3DFMT_UNKNOWN) for a format not in the catalogue.
const FormatInfo& LookupFormatInfo(D3DFORMAT format);

// The catalogue rows in order (57 of them).
const FormatInfo* FormatCatalogue();
UINT FormatCatalogueSize();

// Distance from `requested` to `candidate`, lower is better; kFormatRejected when the kinds
// may not stand in for each other or the candidate keeps none of the requested channels.
// Whole lost channels outweigh lost bits, which outweigh added channels, which outweigh added
// bits.
DWORD ScoreFormatMatch(const FormatInfo& requested, const FormatInfo& candidate);

// The catalogue format to use for `requested` on `device` (every row counts as supported when
// there is no device): an exact match if the device supports it, else the best-scoring
// convertible row, ties going to fewer bits per pixel and then to the earlier row.
// D3DFMT_UNKNOWN when nothing qualifies.
D3DFORMAT ChooseDeviceFormat(IDirect3DDevice9* device, DWORD usage, D3DRESOURCETYPE resourceType,
                             const FormatInfo& requested);

// The public format behind the loader's own ones (FORMAT_AL16 -> D3DFMT_A8L8, FORMAT_R16 ->
// D3DFMT_R8G8B8); every other value unchanged.
D3DFORMAT ToPublicFormat(D3DFORMAT format);

}  // namespace rastro
