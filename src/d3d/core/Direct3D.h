// The Direct3D object: the adapters, their modes and capabilities, the Check* answers and
// device creation, all from the adapters' profiles.
#pragma once

#include <functional>
#include <vector>

#include "DeviceProfile.h"

namespace rastro {

class Direct3D final : public IDirect3D9 {
 public:
  // `onDestroy` runs when the last reference goes (the GL adapters shut their video down).
  explicit Direct3D(std::vector<Adapter> adapters, std::function<void()> onDestroy = {});

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  UINT GetAdapterCount() override;
  HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) override;
  UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override;
  HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* displayMode) override;
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
  HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                          BOOL windowed) override;
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat, DWORD usage,
                            D3DRESOURCETYPE resourceType, D3DFORMAT format) override;
  HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT surfaceFormat, BOOL windowed,
                                     D3DMULTISAMPLE_TYPE multiSampleType, DWORD* qualityLevels) override;
  HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                 D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) override;
  HRESULT CheckDeviceFormatConversion(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT sourceFormat,
                                      D3DFORMAT targetFormat) override;
  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) override;
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                       D3DPRESENT_PARAMETERS* presentation, IDirect3DDevice9** device) override;

  const Adapter& AdapterAt(UINT adapter) const { return adapters_[adapter]; }

 private:
  ~Direct3D();
  // D3D_OK for an adapter and device type that exist here; the reason otherwise.
  HRESULT CheckAdapter(UINT adapter, D3DDEVTYPE deviceType, const char* call);

  ULONG refs_ = 1;
  std::vector<Adapter> adapters_;
  std::function<void()> onDestroy_;
};

}  // namespace rastro
