// Devices over the resource-only renderer for the layer's own tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "ComPtr.h"
#include "DeviceProfile.h"

namespace rastro::testing {

inline D3DPRESENT_PARAMETERS FullScreenParameters(UINT width = 640, UINT height = 480,
                                                  D3DFORMAT backBuffer = D3DFMT_X8R8G8B8,
                                                  D3DFORMAT depth = D3DFMT_D24S8) {
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = width;
  parameters.BackBufferHeight = height;
  parameters.BackBufferFormat = backBuffer;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
  parameters.Windowed = FALSE;
  parameters.EnableAutoDepthStencil = depth != D3DFMT_UNKNOWN;
  parameters.AutoDepthStencilFormat = depth;
  parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  return parameters;
}

struct TestDevice {
  std::shared_ptr<ResourceOnlyProbe> probe = std::make_shared<ResourceOnlyProbe>();
  ComPtr<IDirect3D9> direct3d;
  ComPtr<IDirect3DDevice9> device;
  HRESULT created = E_FAIL;

  explicit TestDevice(DeviceProfile profile = CapableProfile(),
                      D3DPRESENT_PARAMETERS parameters = FullScreenParameters(),
                      DWORD behavior = D3DCREATE_HARDWARE_VERTEXPROCESSING) {
    std::vector<Adapter> adapters;
    adapters.push_back(ResourceOnlyAdapter(std::move(profile), probe));
    direct3d = ComPtr<IDirect3D9>::Adopt(CreateDirect3D(std::move(adapters)));
    created =
        direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, behavior, &parameters, device.ReleaseAndGetAddressOf());
  }
  IDirect3DDevice9* operator->() const { return device.Get(); }
};

// References an interface holds: the count after one more AddRef, less that AddRef.
inline ULONG RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

}  // namespace rastro::testing
