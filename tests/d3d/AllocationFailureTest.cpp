// Running out of memory anywhere below a Direct3D method gives E_OUTOFMEMORY from the method;
// no exception reaches the caller, and the device keeps working once memory is back.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TestDevice.h"

namespace rastro::testing {
namespace {

struct Vertex {
  float x, y, z, rhw;
  D3DCOLOR color;
};

TEST(AllocationFailure, EveryRenderingCallAnswersOutOfMemory) {
  TestDevice device;
  ASSERT_EQ(device.created, D3D_OK);
  ComPtr<IDirect3DVertexBuffer9> quad;
  ASSERT_EQ(device->CreateVertexBuffer(4 * sizeof(Vertex), D3DUSAGE_WRITEONLY, D3DFVF_XYZRHW | D3DFVF_DIFFUSE,
                                       D3DPOOL_MANAGED, quad.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ComPtr<IDirect3DSurface9> target, target2, backBuffer;
  for (auto* surface : {&target, &target2}) {
    ASSERT_EQ(device->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                         surface->ReleaseAndGetAddressOf(), nullptr),
              D3D_OK);
  }
  ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf()), D3D_OK);
  const Vertex vertices[4] = {{0, 0, 0, 1, 0}, {16, 0, 0, 1, 0}, {0, 16, 0, 1, 0}, {16, 16, 0, 1, 0}};
  device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device->SetStreamSource(0, quad.Get(), 0, sizeof(Vertex));
  D3DLOCKED_RECT locked{};

  device.probe->outOfMemory = true;
  EXPECT_EQ(device->BeginScene(), E_OUTOFMEMORY);
  device.probe->outOfMemory = false;
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  device.probe->outOfMemory = true;
  const std::vector<std::pair<const char*, std::function<HRESULT()>>> calls{
      {"Clear", [&] { return device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0); }},
      {"DrawPrimitive", [&] { return device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2); }},
      {"DrawPrimitiveUP", [&] { return device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, sizeof(Vertex)); }},
      {"ColorFill", [&] { return device->ColorFill(target.Get(), nullptr, 0xFF0000FF); }},
      {"StretchRect", [&] { return device->StretchRect(target.Get(), nullptr, target2.Get(), nullptr, D3DTEXF_NONE); }},
      {"LockRect", [&] { return target->LockRect(&locked, nullptr, D3DLOCK_READONLY); }},
      {"EndScene", [&] { return device->EndScene(); }},
      {"Present", [&] { return device->Present(nullptr, nullptr, nullptr, nullptr); }},
  };
  for (const auto& [name, call] : calls) {
    HRESULT result = D3D_OK;
    EXPECT_NO_THROW(result = call()) << name;
    EXPECT_EQ(result, E_OUTOFMEMORY) << name;
  }
  D3DPRESENT_PARAMETERS parameters = FullScreenParameters();
  backBuffer.Reset();
  target.Reset();
  target2.Reset();  // a device resets only without resources of the default pool
  EXPECT_EQ(device->Reset(&parameters), E_OUTOFMEMORY);

  // DrawPrimitiveUP leaves stream 0 unset even when it failed, and the device works again.
  device.probe->outOfMemory = false;
  ComPtr<IDirect3DVertexBuffer9> stream;
  UINT offset = 1, stride = 1;
  ASSERT_EQ(device->GetStreamSource(0, stream.ReleaseAndGetAddressOf(), &offset, &stride), D3D_OK);
  EXPECT_EQ(stream.Get(), nullptr);
  ASSERT_EQ(device->Reset(&parameters), D3D_OK);
  device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);  // Reset restored the default state
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, sizeof(Vertex)), D3D_OK);
  EXPECT_EQ(device->EndScene(), D3D_OK);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

// UpdateTexture tells the renderer of what it wrote and has it build the levels of an
// automatically mip-mapped destination; either may run out of memory. The update is then done
// again in full by the next call, since the destination may be left half written.
TEST(AllocationFailure, UpdateTextureAnswersOutOfMemoryAndCopiesAgainAfterwards) {
  TestDevice device;
  ASSERT_EQ(device.created, D3D_OK);
  ComPtr<IDirect3DTexture9> source, mipmapped, renderTarget;
  ASSERT_EQ(
      device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, source.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ASSERT_EQ(device->CreateTexture(8, 8, 0, D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                  mipmapped.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                  renderTarget.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
  auto firstTexel = [](IDirect3DTexture9* texture, DWORD* write) {
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(0, &locked, nullptr, write ? 0 : D3DLOCK_READONLY))) return DWORD{0xDEADBEEF};
    auto* texel = static_cast<DWORD*>(locked.pBits);
    if (write) *texel = *write;
    DWORD value = *texel;
    texture->UnlockRect(0);
    return value;
  };
  DWORD sourceValue = 0x11223344;
  ASSERT_EQ(firstTexel(source.Get(), &sourceValue), sourceValue);

  for (IDirect3DTexture9* destination : {mipmapped.Get(), renderTarget.Get()}) {
    device.probe->outOfMemory = true;
    HRESULT result = D3D_OK;
    EXPECT_NO_THROW(result = device->UpdateTexture(source.Get(), destination));
    EXPECT_EQ(result, E_OUTOFMEMORY);
    device.probe->outOfMemory = false;
  }
  // The source still counts as changed: with memory back, the next update copies it.
  DWORD cleared = 0;
  ASSERT_EQ(firstTexel(mipmapped.Get(), &cleared), 0u);
  ASSERT_EQ(device->UpdateTexture(source.Get(), mipmapped.Get()), D3D_OK);
  EXPECT_EQ(firstTexel(mipmapped.Get(), nullptr), sourceValue);
}

TEST(AllocationFailure, CreatingADeviceAnswersOutOfMemory) {
  auto probe = std::make_shared<ResourceOnlyProbe>();
  probe->outOfMemory = true;
  std::vector<Adapter> adapters;
  adapters.push_back(ResourceOnlyAdapter(CapableProfile(), probe));
  auto direct3d = ComPtr<IDirect3D9>::Adopt(CreateDirect3D(std::move(adapters)));
  D3DPRESENT_PARAMETERS parameters = FullScreenParameters();
  ComPtr<IDirect3DDevice9> device;
  HRESULT result = D3D_OK;
  EXPECT_NO_THROW(result = direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                                  &parameters, device.ReleaseAndGetAddressOf()));
  EXPECT_EQ(result, E_OUTOFMEMORY);
  EXPECT_EQ(device.Get(), nullptr);
}

}  // namespace
}  // namespace rastro::testing
