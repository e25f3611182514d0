#include "Direct3D.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "AllocationGuard.h"
#include "DebugOutput.h"
#include "Device.h"
#include "ProfileQueries.h"

namespace rastro {

Direct3D::Direct3D(std::vector<Adapter> adapters, std::function<void()> onDestroy)
    : adapters_(std::move(adapters)), onDestroy_(std::move(onDestroy)) {
  for (UINT i = 0; i < adapters_.size(); ++i) {
    adapters_[i].profile.caps.AdapterOrdinal = i;
    adapters_[i].profile.caps.MasterAdapterOrdinal = i;
    adapters_[i].profile.caps.AdapterOrdinalInGroup = 0;
    adapters_[i].profile.caps.NumberOfAdaptersInGroup = 1;
    adapters_[i].profile.caps.DeviceType = D3DDEVTYPE_HAL;
  }
}

Direct3D::~Direct3D() {
  adapters_.clear();
  if (onDestroy_) onDestroy_();
}

HRESULT Direct3D::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDirect3D9) {
    AddRef();
    *object = static_cast<IDirect3D9*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG Direct3D::AddRef() { return ++refs_; }

ULONG Direct3D::Release() {
  if (refs_ == 0) return 0;
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Direct3D::CheckAdapter(UINT adapter, D3DDEVTYPE deviceType, const char* call) {
  if (adapter >= adapters_.size()) return ReportFailure(D3DERR_INVALIDCALL, call, "no such adapter");
  if (deviceType == D3DDEVTYPE_REF || deviceType == D3DDEVTYPE_SW || deviceType == D3DDEVTYPE_NULLREF) {
    return ReportFailure(D3DERR_NOTAVAILABLE, call, "only D3DDEVTYPE_HAL devices exist here");
  }
  if (deviceType != D3DDEVTYPE_HAL) return ReportFailure(D3DERR_INVALIDCALL, call, "not a device type");
  return D3D_OK;
}

UINT Direct3D::GetAdapterCount() { return static_cast<UINT>(adapters_.size()); }

HRESULT Direct3D::GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) {
  constexpr const char* kCall = "IDirect3D9::GetAdapterIdentifier";
  if (adapter >= adapters_.size()) return ReportFailure(D3DERR_INVALIDCALL, kCall, "no such adapter");
  if (!identifier) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null identifier");
  if (flags & ~D3DENUM_WHQL_LEVEL) return ReportFailure(D3DERR_INVALIDCALL, kCall, "unknown flags");
  const DeviceProfile& profile = adapters_[adapter].profile;
  std::memset(identifier, 0, sizeof *identifier);
  std::snprintf(identifier->Driver, sizeof identifier->Driver, "%s", profile.driver.c_str());
  std::snprintf(identifier->Description, sizeof identifier->Description, "%s", profile.description.c_str());
  std::snprintf(identifier->DeviceName, sizeof identifier->DeviceName, "\\\\.\\DISPLAY%u", adapter + 1);
  identifier->DriverVersion.QuadPart = static_cast<LONGLONG>(profile.driverVersion);
  identifier->VendorId = profile.vendorId;
  identifier->DeviceId = profile.deviceId;
  // A stable identity per adapter: derived from what tells adapters apart.
  DWORD hash = 2166136261u;
  for (char c : profile.description) hash = (hash ^ static_cast<BYTE>(c)) * 16777619u;
  identifier->DeviceIdentifier = GUID{hash,
                                      static_cast<WORD>(profile.vendorId),
                                      static_cast<WORD>(profile.deviceId),
                                      {0x52, 0x41, 0x53, 0x54, static_cast<BYTE>(adapter), 0, 0, 0}};
  identifier->WHQLLevel = 0;
  return D3D_OK;
}

UINT Direct3D::GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
  if (adapter >= adapters_.size() || !IsDisplayFormat(format)) return 0;
  const auto& modes = adapters_[adapter].profile.displayModes;
  return static_cast<UINT>(std::count_if(modes.begin(), modes.end(),
                                         [format](const D3DDISPLAYMODE& mode) { return mode.Format == format; }));
}

HRESULT Direct3D::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* displayMode) {
  constexpr const char* kCall = "IDirect3D9::EnumAdapterModes";
  if (adapter >= adapters_.size()) return ReportFailure(D3DERR_INVALIDCALL, kCall, "no such adapter");
  if (!displayMode) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null mode");
  if (!IsDisplayFormat(format)) {
    return ReportFailure(D3DERR_NOTAVAILABLE, kCall, "not a display format (X8R8G8B8, R5G6B5, X1R5G5B5, A2R10G10B10)");
  }
  UINT index = 0;
  for (const D3DDISPLAYMODE& candidate : adapters_[adapter].profile.displayModes) {
    if (candidate.Format != format) continue;
    if (index++ == mode) {
      *displayMode = candidate;
      return D3D_OK;
    }
  }
  return ReportFailure(D3DERR_INVALIDCALL, kCall, "no mode of that number in that format");
}

HRESULT Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
  constexpr const char* kCall = "IDirect3D9::GetAdapterDisplayMode";
  if (adapter >= adapters_.size()) return ReportFailure(D3DERR_INVALIDCALL, kCall, "no such adapter");
  if (!mode) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null mode");
  *mode = adapters_[adapter].profile.desktopMode;
  return D3D_OK;
}

HRESULT Direct3D::CheckDeviceType(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT displayFormat,
                                  D3DFORMAT backBufferFormat, BOOL windowed) {
  constexpr const char* kCall = "IDirect3D9::CheckDeviceType";
  if (HRESULT hr = CheckAdapter(adapter, deviceType, kCall); FAILED(hr)) return hr;
  // A windowed device may leave the back-buffer format to the display's.
  if (windowed && backBufferFormat == D3DFMT_UNKNOWN) backBufferFormat = displayFormat;
  if (const char* refusal = DeviceTypeRefusal(adapters_[adapter].profile, displayFormat, backBufferFormat, windowed)) {
    return ReportDeclined(D3DERR_NOTAVAILABLE, kCall, refusal);
  }
  return D3D_OK;
}

HRESULT Direct3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE resourceType, D3DFORMAT format) {
  constexpr const char* kCall = "IDirect3D9::CheckDeviceFormat";
  if (HRESULT hr = CheckAdapter(adapter, deviceType, kCall); FAILED(hr)) return hr;
  if ((usage & D3DUSAGE_RENDERTARGET) && (usage & D3DUSAGE_DEPTHSTENCIL)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "D3DUSAGE_RENDERTARGET and D3DUSAGE_DEPTHSTENCIL together");
  }
  HRESULT hr = QueryDeviceFormat(adapters_[adapter].profile, adapterFormat, usage, resourceType, format);
  if (FAILED(hr)) return ReportDeclined(hr, kCall, "the format is not supported for that usage and resource type");
  return hr;
}

HRESULT Direct3D::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT surfaceFormat, BOOL,
                                             D3DMULTISAMPLE_TYPE multiSampleType, DWORD* qualityLevels) {
  constexpr const char* kCall = "IDirect3D9::CheckDeviceMultiSampleType";
  if (HRESULT hr = CheckAdapter(adapter, deviceType, kCall); FAILED(hr)) return hr;
  if (static_cast<DWORD>(multiSampleType) > D3DMULTISAMPLE_16_SAMPLES) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "not a multisample type");
  }
  if (surfaceFormat == D3DFMT_UNKNOWN) return ReportFailure(D3DERR_INVALIDCALL, kCall, "no format");
  // Devices here render without multisampling.
  if (multiSampleType != D3DMULTISAMPLE_NONE) return ReportDeclined(D3DERR_NOTAVAILABLE, kCall, "no multisampling");
  if (qualityLevels) *qualityLevels = 1;
  return D3D_OK;
}

HRESULT Direct3D::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                         D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) {
  constexpr const char* kCall = "IDirect3D9::CheckDepthStencilMatch";
  if (HRESULT hr = CheckAdapter(adapter, deviceType, kCall); FAILED(hr)) return hr;
  HRESULT hr =
      QueryDepthStencilMatch(adapters_[adapter].profile, adapterFormat, renderTargetFormat, depthStencilFormat);
  if (FAILED(hr)) return ReportDeclined(hr, kCall, "the depth format does not go with that render-target format");
  return hr;
}

HRESULT Direct3D::CheckDeviceFormatConversion(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT sourceFormat,
                                              D3DFORMAT targetFormat) {
  constexpr const char* kCall = "IDirect3D9::CheckDeviceFormatConversion";
  if (HRESULT hr = CheckAdapter(adapter, deviceType, kCall); FAILED(hr)) return hr;
  // StretchRect copies without converting: only a format to itself, for formats a surface can have.
  const DeviceProfile& profile = adapters_[adapter].profile;
  if (sourceFormat == targetFormat && profile.FindFormat(D3DRTYPE_SURFACE, targetFormat)) return D3D_OK;
  return ReportDeclined(D3DERR_NOTAVAILABLE, kCall, "no conversion between different formats");
}

HRESULT Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) {
  constexpr const char* kCall = "IDirect3D9::GetDeviceCaps";
  if (HRESULT hr = CheckAdapter(adapter, deviceType, kCall); FAILED(hr)) return hr;
  if (!caps) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null caps");
  *caps = adapters_[adapter].profile.caps;
  return D3D_OK;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                               D3DPRESENT_PARAMETERS* presentation, IDirect3DDevice9** device) {
  constexpr const char* kCall = "IDirect3D9::CreateDevice";
  if (!device) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null device pointer");
  *device = nullptr;
  if (HRESULT hr = CheckAdapter(adapter, deviceType, kCall); FAILED(hr)) return hr;
  return GuardAllocation(kCall, [&] {
    return Device::Create(*this, adapter, deviceType, focusWindow, behaviorFlags, presentation, device);
  });
}

// ---------------------------------------------------------------------------------------------

void DeviceProfile::Support(D3DRESOURCETYPE resourceType, D3DFORMAT format, DWORD usage) {
  for (FormatSupport& support : formats) {
    if (support.resourceType == resourceType && support.format == format) {
      support.usage |= usage;
      return;
    }
  }
  formats.push_back({resourceType, format, usage});
}

void DeviceProfile::Withdraw(D3DFORMAT format) {
  std::erase_if(formats, [format](const FormatSupport& s) { return s.format == format; });
  std::erase_if(displayModes, [format](const D3DDISPLAYMODE& m) { return m.Format == format; });
  std::erase_if(deviceTypes, [format](const DeviceTypeMatch& m) {
    return m.displayFormat == format || m.backBufferFormat == format;
  });
  std::erase_if(depthStencilMatches, [format](const DepthStencilMatch& m) {
    return m.renderTargetFormat == format || m.depthStencilFormat == format;
  });
}

const FormatSupport* DeviceProfile::FindFormat(D3DRESOURCETYPE resourceType, D3DFORMAT format) const {
  for (const FormatSupport& support : formats) {
    if (support.resourceType == resourceType && support.format == format) return &support;
  }
  return nullptr;
}

IDirect3D9* CreateDirect3D(std::vector<Adapter> adapters) { return new Direct3D(std::move(adapters)); }

}  // namespace rastro
