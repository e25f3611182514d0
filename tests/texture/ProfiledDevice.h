// A device of the resource-only renderer with a profile of the test's choosing, for the tests
// of the loader's device-facing parts.
#pragma once

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "ComPtr.h"
#include "DeviceProfile.h"

namespace rastro::testing {

struct ProfiledTestDevice {
  ComPtr<IDirect3D9> direct3d;
  ComPtr<IDirect3DDevice9> device;

  explicit ProfiledTestDevice(DeviceProfile profile = CapableProfile()) {
    std::vector<Adapter> adapters;
    adapters.push_back(ResourceOnlyAdapter(std::move(profile)));
    direct3d = ComPtr<IDirect3D9>::Adopt(CreateDirect3D(std::move(adapters)));
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = 640;
    parameters.BackBufferHeight = 480;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.BackBufferCount = 1;
    parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
    parameters.Windowed = FALSE;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    EXPECT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                                     device.ReleaseAndGetAddressOf()),
              D3D_OK);
  }
  IDirect3DDevice9* Get() const { return device.Get(); }
  IDirect3DDevice9* operator->() const { return device.Get(); }
};

// The capable profile with its texture caps and size limits edited.
inline DeviceProfile ProfileWithCaps(DWORD addTextureCaps, DWORD removeTextureCaps = 0, UINT maxWidth = 4096,
                                     UINT maxHeight = 4096, UINT maxAspect = 4096, UINT maxVolume = 512) {
  DeviceProfile profile = CapableProfile();
  profile.caps.TextureCaps = (profile.caps.TextureCaps | addTextureCaps) & ~removeTextureCaps;
  profile.caps.MaxTextureWidth = maxWidth;
  profile.caps.MaxTextureHeight = maxHeight;
  profile.caps.MaxTextureAspectRatio = maxAspect;
  profile.caps.MaxVolumeExtent = maxVolume;
  return profile;
}

}  // namespace rastro::testing
