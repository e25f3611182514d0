// What the device core itself costs per call, with a renderer that does nothing.
#include <benchmark/benchmark.h>

#include "ComPtr.h"
#include "DeviceProfile.h"

namespace {

struct Fixture {
  ComPtr<IDirect3D9> direct3d;
  ComPtr<IDirect3DDevice9> device;
  ComPtr<IDirect3DVertexBuffer9> quad;
  Fixture() {
    std::vector<rastro::Adapter> adapters;
    adapters.push_back(rastro::ResourceOnlyAdapter(rastro::CapableProfile()));
    direct3d = ComPtr<IDirect3D9>::Adopt(rastro::CreateDirect3D(std::move(adapters)));
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = 1024;
    parameters.BackBufferHeight = 768;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D24S8;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_MIXED_VERTEXPROCESSING, &parameters,
                           device.ReleaseAndGetAddressOf());
    device->CreateVertexBuffer(80, D3DUSAGE_WRITEONLY, 0x44, D3DPOOL_MANAGED, quad.ReleaseAndGetAddressOf(), nullptr);
    device->SetStreamSource(0, quad.Get(), 0, 20);
    device->SetFVF(0x44);
  }
};

void BM_DrawPrimitive(benchmark::State& state) {
  Fixture f;
  f.device->BeginScene();
  for (auto _ : state) benchmark::DoNotOptimize(f.device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2));
  f.device->EndScene();
}
BENCHMARK(BM_DrawPrimitive);

void BM_SetRenderStateUnchanged(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) benchmark::DoNotOptimize(f.device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE));
}
BENCHMARK(BM_SetRenderStateUnchanged);

void BM_LockUnlockTextureLevel(benchmark::State& state) {
  Fixture f;
  ComPtr<IDirect3DTexture9> texture;
  f.device->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(), nullptr);
  D3DLOCKED_RECT locked{};
  for (auto _ : state) {
    texture->LockRect(0, &locked, nullptr, 0);
    texture->UnlockRect(0);
  }
}
BENCHMARK(BM_LockUnlockTextureLevel);

}  // namespace
