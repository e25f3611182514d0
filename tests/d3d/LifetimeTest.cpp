// Reference counting: levels count on their container, objects keep their device, bound
// objects are kept by the device, and any release order is safe. Run under AddressSanitizer,
// a fault here shows as a use after free or a leak.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>

#include "TestDevice.h"

namespace rastro::testing {
namespace {

TEST(Lifetime, ResourcesHoldTheirDevice) {
  TestDevice device;
  IDirect3DDevice9* raw = device.device.Get();
  EXPECT_EQ(RefCount(raw), 1u);
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(raw->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  EXPECT_EQ(RefCount(raw), 2u);
  device.device.Reset();  // the caller's last device reference
  IDirect3DDevice9* fromTexture = nullptr;
  ASSERT_EQ(texture->GetDevice(&fromTexture), D3D_OK);
  EXPECT_EQ(fromTexture, raw);
  EXPECT_EQ(fromTexture->Release(), 1u);  // only the texture's reference is left
  EXPECT_EQ(texture->Release(), 0u);      // and the device goes with the texture
}

TEST(Lifetime, LevelsCountOnTheirTexture) {
  TestDevice device;
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(
      device->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  IDirect3DSurface9* level = nullptr;
  ASSERT_EQ(texture->GetSurfaceLevel(1, &level), D3D_OK);
  EXPECT_EQ(RefCount(texture.Get()), 2u);
  level->AddRef();
  EXPECT_EQ(RefCount(texture.Get()), 3u);
  level->Release();
  IDirect3DTexture9* raw = texture.Detach();
  EXPECT_EQ(raw->Release(), 1u);  // the level's reference keeps the texture
  IDirect3DTexture9* container = nullptr;
  ASSERT_EQ(level->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container)), D3D_OK);
  EXPECT_EQ(container, raw);
  container->Release();
  void* wrong = reinterpret_cast<void*>(1);
  EXPECT_EQ(level->GetContainer(IID_IDirect3DCubeTexture9, &wrong), E_NOINTERFACE);
  EXPECT_EQ(wrong, nullptr);
  D3DSURFACE_DESC desc{};
  EXPECT_EQ(level->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Width, 4u);
  EXPECT_EQ(level->Release(), 0u);
}

TEST(Lifetime, VolumeAndCubeLevelsCountOnTheirContainer) {
  TestDevice device;
  IDirect3DVolumeTexture9* volumeTexture = nullptr;
  IDirect3DCubeTexture9* cube = nullptr;
  ASSERT_EQ(device->CreateVolumeTexture(4, 4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &volumeTexture, nullptr),
            D3D_OK);
  ASSERT_EQ(device->CreateCubeTexture(4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
  IDirect3DVolume9* volume = nullptr;
  IDirect3DSurface9* face = nullptr;
  ASSERT_EQ(volumeTexture->GetVolumeLevel(2, &volume), D3D_OK);
  ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Z, 1, &face), D3D_OK);
  EXPECT_EQ(cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(6), 0, &face), D3DERR_INVALIDCALL);
  EXPECT_EQ(volumeTexture->Release(), 1u);
  EXPECT_EQ(cube->Release(), 1u);
  IDirect3DVolumeTexture9* container = nullptr;
  ASSERT_EQ(volume->GetContainer(IID_IDirect3DVolumeTexture9, reinterpret_cast<void**>(&container)), D3D_OK);
  EXPECT_EQ(container, volumeTexture);
  container->Release();
  D3DVOLUME_DESC desc{};
  EXPECT_EQ(volume->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Depth, 1u);
  EXPECT_EQ(volume->Release(), 0u);
  EXPECT_EQ(face->Release(), 0u);
}

TEST(Lifetime, BoundObjectsStayAliveUntilUnboundOrTheDeviceGoes) {
  TestDevice device;
  IDirect3DTexture9* texture = nullptr;
  IDirect3DVertexBuffer9* buffer = nullptr;
  ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  ASSERT_EQ(device->CreateVertexBuffer(80, 0, 0x44, D3DPOOL_MANAGED, &buffer, nullptr), D3D_OK);
  ASSERT_EQ(device->SetTexture(3, texture), D3D_OK);
  ASSERT_EQ(device->SetStreamSource(0, buffer, 0, 20), D3D_OK);
  EXPECT_EQ(texture->Release(), 0u);
  EXPECT_EQ(buffer->Release(), 0u);
  // Still there for the device, and handed out again on request.
  IDirect3DBaseTexture9* bound = nullptr;
  ASSERT_EQ(device->GetTexture(3, &bound), D3D_OK);
  ASSERT_EQ(bound, texture);
  EXPECT_EQ(bound->GetLevelCount(), 1u);
  EXPECT_EQ(bound->Release(), 0u);
  ASSERT_EQ(device->SetTexture(3, nullptr), D3D_OK);  // the texture goes now
  IDirect3DBaseTexture9* none = reinterpret_cast<IDirect3DBaseTexture9*>(1);
  EXPECT_EQ(device->GetTexture(3, &none), D3D_OK);
  EXPECT_EQ(none, nullptr);
  // The buffer goes with the device.
}

// Every order of releasing a device and what it made, some of it bound, must be safe.
TEST(Lifetime, AnyReleaseOrderIsSafe) {
  std::array<int, 6> order{0, 1, 2, 3, 4, 5};
  int permutations = 0;
  do {
    TestDevice device;
    IUnknown* objects[6] = {};
    IDirect3DTexture9* texture = nullptr;
    IDirect3DVertexBuffer9* buffer = nullptr;
    IDirect3DSurface9* level = nullptr;
    IDirect3DSurface9* renderTarget = nullptr;
    IDirect3DPixelShader9* shader = nullptr;
    const DWORD function[] = {D3DPS_VERSION(1, 1), 0x00000001, 0x800F0000, 0xA0E40000, 0x0000FFFF};
    ASSERT_EQ(device->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateVertexBuffer(80, 0, 0x44, D3DPOOL_DEFAULT, &buffer, nullptr), D3D_OK);
    ASSERT_EQ(texture->GetSurfaceLevel(1, &level), D3D_OK);
    ASSERT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &renderTarget, nullptr),
              D3D_OK);
    ASSERT_EQ(device->CreatePixelShader(function, &shader), D3D_OK);
    device->SetTexture(0, texture);
    device->SetStreamSource(0, buffer, 0, 20);
    device->SetRenderTarget(1, renderTarget);
    device->SetPixelShader(shader);
    objects[0] = device.device.Detach();
    objects[1] = texture;
    objects[2] = buffer;
    objects[3] = level;
    objects[4] = renderTarget;
    objects[5] = shader;
    for (int index : order) objects[index]->Release();
    ++permutations;
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(permutations, 720);
}

TEST(Lifetime, ImplicitSurfacesHoldTheDevice) {
  TestDevice device;
  IDirect3DSurface9* backBuffer = nullptr;
  IDirect3DSurface9* depth = nullptr;
  ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer), D3D_OK);
  ASSERT_EQ(device->GetDepthStencilSurface(&depth), D3D_OK);
  device.device.Reset();
  IDirect3DDevice9* owner = nullptr;
  ASSERT_EQ(backBuffer->GetContainer(IID_IDirect3DDevice9, reinterpret_cast<void**>(&owner)), D3D_OK);
  owner->Release();
  D3DSURFACE_DESC desc{};
  EXPECT_EQ(depth->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Format, D3DFMT_D24S8);
  EXPECT_EQ(backBuffer->Release(), 1u);
  EXPECT_EQ(depth->Release(), 0u);
}

TEST(Lifetime, DeviceKeepsItsDirect3DObject) {
  TestDevice device;
  IDirect3D9* direct3d = device.direct3d.Detach();
  EXPECT_EQ(direct3d->Release(), 1u);  // the device's reference
  IDirect3D9* fromDevice = nullptr;
  ASSERT_EQ(device->GetDirect3D(&fromDevice), D3D_OK);
  EXPECT_EQ(fromDevice, direct3d);
  EXPECT_EQ(fromDevice->GetAdapterCount(), 1u);
  fromDevice->Release();
}

}  // namespace
}  // namespace rastro::testing
