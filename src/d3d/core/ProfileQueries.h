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
// Why the adapter takes no device with this display and back-buffer format, or null when it
// does. Beyond what the profile offers, the published rules hold whatever a profile says: the
// display formats are X8R8G8B8, R5G6B5, X1R5G5B5 and, full screen only, A2R10G10B10; full
// screen, the back buffer has the display's format, with alpha or without.
const char* DeviceTypeRefusal(const DeviceProfile& profile, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                              BOOL windowed);
// One of the four formats a display can be in.
bool IsDisplayFormat(D3DFORMAT format);
// A display format the profile offers devices on.
bool IsDisplayFormatOf(const DeviceProfile& profile, D3DFORMAT format);
// The display format a full-screen back buffer of this format shows in (alpha dropped).
D3DFORMAT DisplayFormatFor(D3DFORMAT backBufferFormat);

}  // namespace rastro
