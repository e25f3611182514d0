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

bool IsDisplayFormatOf(const DeviceProfile& profile, D3DFORMAT format) {
  return std::any_of(profile.deviceTypes.begin(), profile.deviceTypes.end(),
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
  for (const DeviceTypeMatch& match : profile.deviceTypes) {
    if (match.displayFormat != displayFormat || match.backBufferFormat != backBufferFormat) continue;
    if (windowed ? match.windowed : match.fullScreen) return D3D_OK;
  }
  return D3DERR_NOTAVAILABLE;
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
