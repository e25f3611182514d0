// Devices over the resource-only renderer for the layer's own tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "ComPtr.h"
#include "DeviceProfile.h"
#include "PresentParameters.h"

namespace rastro::testing {

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
