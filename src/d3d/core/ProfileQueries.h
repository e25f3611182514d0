// The answers an adapter's profile gives, without debug output; shared by the Direct3D object
// (which reports failures) and devices (which check their own creation calls).
#pragma once

#include "DeviceProfile.h"

namespace rastro {

HRESULT QueryDeviceFormat(const DeviceProfile& profile, D3DFORMAT adapterFormat, DWORD usage,
                          D3DRESOURCETYPE resourceType, D3DFORMAT format);
HRESULT QueryDeviceType(const DeviceProfile& profile, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                        BOOL windowed);
HRESULT QueryDepthStencilMatch(const DeviceProfile& profile, D3DFORMAT adapterFormat, D3DFORMAT renderTargetFormat,
                               D3DFORMAT depthStencilFormat);
bool IsDisplayFormatOf(const DeviceProfile& profile, D3DFORMAT format);
// The display format a full-screen back buffer of this format shows in (alpha dropped).
D3DFORMAT DisplayFormatFor(D3DFORMAT backBufferFormat);

}  // namespace rastro
