#include "FormatCatalogue.h"

#include "ComPtr.h"
#include "MuteDebugOutput.h"

namespace rastro {

namespace {

using K = FormatKind;

// The order matters: ties between equally good substitutes go to the earlier row, and with a
// device every row up to the chosen one is queried.
constexpr FormatInfo kCatalogue[] = {
    // Format                 Kind          Bits Extra Alpha Red Green Blue Convertible
    {D3DFMT_R8G8B8, K::Rgb, 24, 0, 0, 8, 8, 8, 0},
    {D3DFMT_A8R8G8B8, K::Rgb, 32, 0, 8, 8, 8, 8, 1},
    {D3DFMT_X8R8G8B8, K::Rgb, 32, 0, 0, 8, 8, 8, 1},
    {D3DFMT_R5G6B5, K::Rgb, 16, 0, 0, 5, 6, 5, 1},
    {D3DFMT_X1R5G5B5, K::Rgb, 16, 0, 0, 5, 5, 5, 1},
    {D3DFMT_A8P8, K::Palette, 16, 0, 8, 8, 8, 8, 1},
    {D3DFMT_P8, K::Palette, 8, 0, 8, 8, 8, 8, 1},
    {D3DFMT_A1R5G5B5, K::Rgb, 16, 0, 1, 5, 5, 5, 1},
    {D3DFMT_A4R4G4B4, K::Rgb, 16, 0, 4, 4, 4, 4, 1},
    {D3DFMT_R3G3B2, K::Rgb, 8, 0, 0, 3, 3, 2, 1},
    {D3DFMT_A8, K::Rgb, 8, 0, 8, 0, 0, 0, 1},
    {D3DFMT_A8R3G3B2, K::Rgb, 16, 0, 8, 3, 3, 2, 1},
    {D3DFMT_X4R4G4B4, K::Rgb, 16, 0, 0, 4, 4, 4, 1},
    {D3DFMT_A2B10G10R10, K::Rgb, 32, 0, 2, 10, 10, 10, 1},
    {D3DFMT_A8B8G8R8, K::Rgb, 32, 0, 8, 8, 8, 8, 1},
    {D3DFMT_X8B8G8R8, K::Rgb, 32, 0, 0, 8, 8, 8, 1},
    {D3DFMT_G16R16, K::Rgb, 32, 0, 0, 16, 16, 0, 1},
    {D3DFMT_A2R10G10B10, K::Rgb, 32, 0, 2, 10, 10, 10, 1},
    {D3DFMT_A16B16G16R16, K::Rgb, 64, 0, 16, 16, 16, 16, 1},
    {D3DFMT_L8, K::Luminance, 8, 0, 0, 8, 8, 8, 1},
    {D3DFMT_A8L8, K::Luminance, 16, 0, 8, 8, 8, 8, 1},
    {D3DFMT_A4L4, K::Luminance, 8, 0, 4, 4, 4, 4, 1},
    {D3DFMT_L16, K::Luminance, 16, 0, 0, 16, 16, 16, 1},
    {D3DFMT_V8U8, K::Bump, 16, 0, 0, 0, 8, 8, 1},
    {D3DFMT_L6V5U5, K::Bump, 16, 6, 0, 0, 5, 5, 1},
    {D3DFMT_X8L8V8U8, K::Bump, 32, 8, 0, 0, 8, 8, 1},
    {D3DFMT_Q8W8V8U8, K::Bump, 32, 0, 8, 8, 8, 8, 1},
    {D3DFMT_V16U16, K::Bump, 32, 0, 0, 0, 16, 16, 1},
    {D3DFMT_A2W10V10U10, K::Bump, 32, 2, 0, 10, 10, 10, 1},
    {D3DFMT_Q16W16V16U16, K::Bump, 64, 0, 16, 16, 16, 16, 1},
    {D3DFMT_CxV8U8, K::Bump, 16, 8, 0, 0, 8, 8, 0},
    {D3DFMT_UYVY, K::Rgb, 16, 0, 0, 8, 8, 8, 0},
    {D3DFMT_R8G8_B8G8, K::Rgb, 16, 0, 0, 8, 8, 8, 0},
    {D3DFMT_YUY2, K::Rgb, 16, 0, 0, 8, 8, 8, 0},
    {D3DFMT_G8R8_G8B8, K::Rgb, 16, 0, 0, 8, 8, 8, 0},
    {D3DFMT_DXT1, K::Rgb, 16, 0, 1, 5, 6, 5, 0},
    {D3DFMT_DXT2, K::Rgb, 16, 0, 4, 5, 6, 5, 0},
    {D3DFMT_DXT3, K::Rgb, 16, 0, 4, 5, 6, 5, 0},
    {D3DFMT_DXT4, K::Rgb, 16, 0, 8, 5, 6, 5, 0},
    {D3DFMT_DXT5, K::Rgb, 16, 0, 8, 5, 6, 5, 0},
    {D3DFMT_D16_LOCKABLE, K::Depth, 16, 1, 0, 0, 0, 16, 1},
    {D3DFMT_D32F_LOCKABLE, K::Depth, 32, 1, 0, 0, 0, 32, 0},
    {D3DFMT_D32, K::Depth, 32, 0, 0, 0, 0, 32, 1},
    {D3DFMT_D15S1, K::Depth, 16, 0, 0, 0, 1, 15, 1},
    {D3DFMT_D24S8, K::Depth, 32, 0, 0, 0, 8, 24, 1},
    {D3DFMT_D16, K::Depth, 16, 0, 0, 0, 0, 16, 1},
    {D3DFMT_D24X8, K::Depth, 32, 0, 0, 0, 0, 24, 1},
    {D3DFMT_D24X4S4, K::Depth, 32, 0, 0, 0, 4, 24, 1},
    {D3DFMT_D24FS8, K::Depth, 32, 0, 0, 0, 8, 24, 0},
    {D3DFMT_R16F, K::Rgb, 16, 0, 0, 16, 0, 0, 0},
    {D3DFMT_G16R16F, K::Rgb, 32, 0, 0, 16, 16, 0, 0},
    {D3DFMT_A16B16G16R16F, K::Rgb, 64, 0, 16, 16, 16, 16, 0},
    {D3DFMT_R32F, K::Rgb, 32, 0, 0, 32, 0, 0, 0},
    {D3DFMT_G32R32F, K::Rgb, 64, 0, 0, 32, 32, 0, 0},
    {D3DFMT_A32B32G32R32F, K::Rgb, 128, 0, 32, 32, 32, 32, 0},
    {FORMAT_AL16, K::Luminance, 32, 0, 16, 16, 16, 16, 0},
    {FORMAT_R16, K::Rgb, 48, 0, 0, 16, 16, 16, 0},
};
static_assert(sizeof kCatalogue / sizeof kCatalogue[0] == 57);

constexpr FormatInfo kFallback = {D3DFMT_UNKNOWN, K::Rgb, 32, 0, 8, 8, 8, 8, 0};

// May a format of the row's kind be replaced by one of the column's kind? Palette and
// luminance formats may fall back to colour formats, never the other way round; bump and
// depth formats stay within their kind.
constexpr bool kCompatible[5][5] = {
    //  Rgb   Palette Lum    Bump   Depth
    {true, false, false, false, false},  // Rgb
    {true, true, false, false, false},   // Palette
    {true, false, true, false, false},   // Luminance
    {false, false, false, true, false},  // Bump
    {false, false, false, false, true},  // Depth
};

}  // namespace

const FormatInfo& LookupFormatInfo(D3DFORMAT format) {
  for (const FormatInfo& row : kCatalogue) {
    if (row.Format == format) return row;
  }
  return kFallback;
}

const FormatInfo* FormatCatalogue() { return kCatalogue; }
UINT FormatCatalogueSize() { return static_cast<UINT>(sizeof kCatalogue / sizeof kCatalogue[0]); }

DWORD ScoreFormatMatch(const FormatInfo& requested, const FormatInfo& candidate) {
  const auto requestedKind = static_cast<DWORD>(requested.Kind);
  const auto candidateKind = static_cast<DWORD>(candidate.Kind);
  if (requestedKind > 4 || candidateKind > 4 || !kCompatible[requestedKind][candidateKind]) return kFormatRejected;

  const UINT wanted[5] = {requested.ExtraBits, requested.AlphaBits, requested.RedBits, requested.GreenBits,
                          requested.BlueBits};
  const UINT offered[5] = {candidate.ExtraBits, candidate.AlphaBits, candidate.RedBits, candidate.GreenBits,
                           candidate.BlueBits};
  DWORD score = 0;
  DWORD sourceChannels = 0;
  for (int i = 0; i < 5; ++i) {
    const UINT r = wanted[i], c = offered[i];
    if (r > 0) ++sourceChannels;
    if (r < c) {
      score += r == 0 ? 0x100u : c - r;  // a channel the source lacks, or bits gained
    } else if (r > c) {
      score += c == 0 ? 0x1000000u : (r - c) * 0x10000u;  // a channel lost, or bits lost
    }
  }
  // A candidate that keeps none of the source's channels is never chosen.
  if ((score >> 24) == sourceChannels) return kFormatRejected;
  return score;
}

D3DFORMAT ChooseDeviceFormat(IDirect3DDevice9* device, DWORD usage, D3DRESOURCETYPE resourceType,
                             const FormatInfo& requested) {
  // Rejected format queries are expected here; keep the runtime quiet about them.
  MuteDebugOutput(true);

  ComPtr<IDirect3D9> direct3d;
  D3DCAPS9 caps{};
  D3DDISPLAYMODE mode{};
  if (device) {
    device->GetDirect3D(direct3d.ReleaseAndGetAddressOf());
    device->GetDeviceCaps(&caps);
    device->GetDisplayMode(0, &mode);
    if (usage & D3DUSAGE_QUERY_VERTEXTEXTURE) {
      D3DDEVICE_CREATION_PARAMETERS parameters{};
      device->GetCreationParameters(&parameters);
      if (parameters.BehaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) usage |= D3DUSAGE_SOFTWAREPROCESSING;
    }
  }

  DWORD bestScore = kFormatRejected;
  const FormatInfo* best = &kFallback;
  for (const FormatInfo& row : kCatalogue) {
    if (direct3d && FAILED(direct3d->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType, mode.Format, usage,
                                                       resourceType, row.Format))) {
      continue;
    }
    if (row.Format == requested.Format) {
      best = &row;
      break;
    }
    if (!row.Convertible) continue;
    const DWORD score = ScoreFormatMatch(requested, row);
    if (score == kFormatRejected || score > bestScore) continue;
    if (score == bestScore && row.BitsPerPixel >= best->BitsPerPixel) continue;
    bestScore = score;
    best = &row;
  }

  direct3d.Reset();
  MuteDebugOutput(false);
  return best->Format;
}

D3DFORMAT ToPublicFormat(D3DFORMAT format) {
  if (format == FORMAT_AL16) return D3DFMT_A8L8;
  if (format == FORMAT_R16) return D3DFMT_R8G8B8;
  return format;
}

}  // namespace rastro
