#include "ProfileQueries.h"

#include <algorithm>

namespace rastro {

D3DFORMAT DisplayFormatFor(D3DFORMAT backBufferFormat) {
  switch (backBufferFormat) {
    case D3DFMT_A8R8G8B8: return D3DFMT_X8R8G8B8;
    case D3DFMT_A1R5G5B5: return D3DFMT_X1R5G5B5;
    default: return backBufferFormat;
  }
}

bool IsDisplayFormat(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_X8R8G8B8:
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A2R10G10B10: return true;
    default: return false;
  }
}

const char* DeviceTypeRefusal(const DeviceProfile& profile, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                              BOOL windowed) {
  if (!IsDisplayFormat(displayFormat)) {
    return "not a display format (X8R8G8B8, R5G6B5, X1R5G5B5 or, full screen, A2R10G10B10)";
  }
  if (windowed) {
    if (displayFormat == D3DFMT_A2R10G10B10) return "A2R10G10B10 is a display format for full screen only";
    const bool presentable =
        IsDisplayFormat(backBufferFormat) || backBufferFormat == D3DFMT_A8R8G8B8 || backBufferFormat == D3DFMT_A1R5G5B5;
    if (!presentable || backBufferFormat == D3DFMT_A2R10G10B10) return "not a back-buffer format for a window";
  } else if (DisplayFormatFor(backBufferFormat) != displayFormat) {
    // Full screen there is no conversion: the back buffer is the display's format, at most
    // with alpha in its unused bits.
    return "a full-screen back buffer must have the display's format";
  }
  for (const DeviceTypeMatch& match : profile.deviceTypes) {
    if (match.displayFormat != displayFormat || match.backBufferFormat != backBufferFormat) continue;
    if (windowed ? match.windowed : match.fullScreen) return nullptr;
  }
  return "the adapter offers no such display/back-buffer pair";
}

bool IsDisplayFormatOf(const DeviceProfile& profile, D3DFORMAT format) {
  return IsDisplayFormat(format) &&
         std::any_of(profile.deviceTypes.begin(), profile.deviceTypes.end(),
                     [format](const DeviceTypeMatch& match) { return match.displayFormat == format; });
}

HRESULT QueryDeviceFormat(const DeviceProfile& profile, D3DFORMAT adapterFormat, DWORD usage,
                          D3DRESOURCETYPE resourceType, D3DFORMAT format) {
  if (!IsDisplayFormatOf(profile, adapterFormat)) return D3DERR_NOTAVAILABLE;
  const FormatSupport* support = profile.FindFormat(resourceType, format);
  if (!support) return D3DERR_NOTAVAILABLE;
  if ((support->usage & usage) == usage) return D3D_OK;
  // Everything but automatic mip-map generation: usable, but the caller must make its levels.
  DWORD withoutAutoGen = usage & ~D3DUSAGE_AUTOGENMIPMAP;
  if ((usage & D3DUSAGE_AUTOGENMIPMAP) && (support->usage & withoutAutoGen) == withoutAutoGen) return D3DOK_NOAUTOGEN;
  return D3DERR_NOTAVAILABLE;
}

HRESULT QueryDeviceType(const DeviceProfile& profile, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                        BOOL windowed) {
  return DeviceTypeRefusal(profile, displayFormat, backBufferFormat, windowed) ? D3DERR_NOTAVAILABLE : D3D_OK;
}

HRESULT QueryDepthStencilMatch(const DeviceProfile& profile, D3DFORMAT adapterFormat, D3DFORMAT renderTargetFormat,
                               D3DFORMAT depthStencilFormat) {
  if (!IsDisplayFormatOf(profile, adapterFormat)) return D3DERR_NOTAVAILABLE;
  for (const DepthStencilMatch& match : profile.depthStencilMatches) {
    if (match.renderTargetFormat == renderTargetFormat && match.depthStencilFormat == depthStencilFormat) return D3D_OK;
  }
  return D3DERR_NOTAVAILABLE;
}

}  // namespace rastro
