// Drives a device the way the benchmark's first six tests do and prints their rates in the
// results file's format, for comparison with a native OpenGL program run alongside:
//
//   d3d_fill_bench [width height seconds [names [windowless]]]
//
// With `names`, only the tests whose name (after "FFP - ") it contains run. With a fifth
// argument the device has no window and presents nothing, which shows what presenting costs.
//
// "FFP - Pure fillrate": 32 screen-covering quads of the colour ramp per frame, depth off.
// "FFP - Z pixel rate": the same with colour writes off and the depth test and writes on.
// "FFP - Single texture" ... "FFP - Quad texture": one to four textures on stages 0-3 combined
// as select, modulate, add, modulate; the textures are made here (512 x 512 X8R8G8B8 noise
// with a full mip chain in the managed pool, as the texture loader makes them from the JPEG
// files), so these rates do not depend on the loader.
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ComPtr.h"
#include "SteadyClock.h"
#include "d3d9.h"

namespace {

struct Vertex {
  float x, y, z, rhw;
  D3DCOLOR color;
};

// Frames as the benchmark times them: 19 warm-up frames, then frames until more than `seconds`.
bool Measure(IDirect3DDevice9* device, const char* name, UINT width, UINT height, double seconds);

// A 512 x 512 X8R8G8B8 managed texture of noise with a full mip chain.
ComPtr<IDirect3DTexture9> NoiseTexture(IDirect3DDevice9* device, unsigned seed) {
  ComPtr<IDirect3DTexture9> texture;
  if (FAILED(device->CreateTexture(512, 512, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(),
                                   nullptr))) {
    return {};
  }
  for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(level, &desc);
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(level, &locked, nullptr, 0))) return {};
    for (UINT y = 0; y < desc.Height; ++y) {
      auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
      for (UINT x = 0; x < desc.Width; ++x) {
        seed = seed * 1664525u + 1013904223u;
        row[x] = 0xFF000000u | (seed >> 8);
      }
    }
    texture->UnlockRect(level);
  }
  return texture;
}

bool RunTexturedTest(IDirect3DDevice9* device, const char* name, UINT width, UINT height, double seconds,
                     UINT textures) {
  struct TexturedVertex {
    float x, y, z, rhw;
    float uv[4][2];
  };
  float w = static_cast<float>(width), h = static_cast<float>(height);
  TexturedVertex vertices[4] = {};
  const float corners[4][4] = {{0, 0, 0, 0}, {w, 0, 1, 0}, {0, h, 0, 1}, {w, h, 1, 1}};
  const UINT stride = 16 + 8 * textures;
  std::vector<BYTE> bytes(stride * 4);
  for (int i = 0; i < 4; ++i) {
    vertices[i] = {corners[i][0], corners[i][1], 0, 1, {}};
    for (UINT set = 0; set < textures; ++set) {
      vertices[i].uv[set][0] = corners[i][2];
      vertices[i].uv[set][1] = corners[i][3];
    }
    std::memcpy(bytes.data() + i * stride, &vertices[i], stride);
  }
  const DWORD fvf = D3DFVF_XYZRHW | (textures << D3DFVF_TEXCOUNT_SHIFT);
  ComPtr<IDirect3DVertexBuffer9> buffer;
  if (FAILED(device->CreateVertexBuffer(stride * 4, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED,
                                        buffer.ReleaseAndGetAddressOf(), nullptr))) {
    return false;
  }
  void* data = nullptr;
  buffer->Lock(0, 0, &data, 0);
  std::memcpy(data, bytes.data(), bytes.size());
  buffer->Unlock();
  device->SetStreamSource(0, buffer.Get(), 0, stride);
  device->SetFVF(fvf);
  ComPtr<IDirect3DTexture9> stages[4];
  for (UINT stage = 0; stage < textures; ++stage) {
    stages[stage] = NoiseTexture(device, stage + 1);
    if (!stages[stage]) return false;
    device->SetTexture(stage, stages[stage].Get());
  }
  device->SetRenderState(D3DRS_COLORWRITEENABLE, 15);
  device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  const DWORD ops[4] = {D3DTOP_SELECTARG1, D3DTOP_MODULATE, D3DTOP_ADD, D3DTOP_MODULATE};
  for (UINT stage = 0; stage < textures; ++stage) {
    device->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(stage, D3DTSS_COLOROP, ops[stage]);
    if (stage > 0) device->SetTextureStageState(stage, D3DTSS_COLORARG2, D3DTA_CURRENT);
  }
  bool ok = Measure(device, name, width, height, seconds);
  for (UINT stage = 0; stage < 4; ++stage) {
    device->SetTexture(stage, nullptr);
    device->SetTextureStageState(stage, D3DTSS_COLOROP, stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE);
  }
  return ok;
}

bool RunTest(IDirect3DDevice9* device, const char* name, UINT width, UINT height, double seconds, bool depthOnly) {
  float w = static_cast<float>(width), h = static_cast<float>(height);
  const D3DCOLOR ramp[4] = {0x00000000, 0x00FF0000, 0x0000FF00, 0x000000FF};
  const D3DCOLOR opaque[4] = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
  const D3DCOLOR* colors = depthOnly ? opaque : ramp;
  const Vertex vertices[4] = {
      {0, 0, 0, 1, colors[0]}, {w, 0, 0, 1, colors[1]}, {0, h, 0, 1, colors[2]}, {w, h, 0, 1, colors[3]}};
  ComPtr<IDirect3DVertexBuffer9> buffer;
  if (FAILED(device->CreateVertexBuffer(sizeof vertices, D3DUSAGE_WRITEONLY, 0x44, D3DPOOL_MANAGED,
                                        buffer.ReleaseAndGetAddressOf(), nullptr))) {
    return false;
  }
  void* data = nullptr;
  buffer->Lock(0, sizeof vertices, &data, 0);
  std::memcpy(data, vertices, sizeof vertices);
  buffer->Unlock();
  device->SetStreamSource(0, buffer.Get(), 0, sizeof(Vertex));
  device->SetFVF(0x44);
  device->SetRenderState(D3DRS_COLORWRITEENABLE, depthOnly ? 0 : 15);
  if (depthOnly) {
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  } else {
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  }
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);

  return Measure(device, name, width, height, seconds);
}

bool Measure(IDirect3DDevice9* device, const char* name, UINT width, UINT height, double seconds) {
  rastro::SteadyClock& clock = rastro::SystemClock();
  std::int64_t ticks = 0;
  unsigned frames = 0, counted = 0;
  for (;;) {
    if (device->BeginScene() < 0) continue;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0);
    std::int64_t start = clock.Ticks();
    for (int quad = 0; quad < 32; ++quad) device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    ticks += clock.Ticks() - start;
    ++counted;
    if (++frames < 20) {
      counted = 0;
      ticks = 0;
      continue;
    }
    double elapsed = static_cast<double>(ticks) / static_cast<double>(clock.Frequency());
    if (elapsed > seconds) {
      double rate = 32.0 * (width * static_cast<double>(height) * 1e-6) * counted / elapsed;
      std::printf("%s - %fM pixels/sec\n", name, rate);
      std::fflush(stdout);
      return true;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  UINT width = argc > 1 ? static_cast<UINT>(std::atoi(argv[1])) : 1024;
  UINT height = argc > 2 ? static_cast<UINT>(std::atoi(argv[2])) : 768;
  double seconds = argc > 3 ? std::atof(argv[3]) : 5.0;
  const char* only = argc > 4 ? argv[4] : nullptr;
  auto wanted = [only](const char* name) { return !only || std::strstr(only, name + 6); };

  auto direct3d = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
  if (!direct3d) {
    std::fprintf(stderr, "no Direct3D adapter\n");
    return 1;
  }
  // The window the benchmark program makes: OpenGL, hidden until shown.
  bool windowless = argc > 5;
  SDL_Window* window = windowless ? nullptr
                                  : SDL_CreateWindow("Rastrometer", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                                     static_cast<int>(width), static_cast<int>(height),
                                                     SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = width;
  parameters.BackBufferHeight = height;
  parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
  parameters.hDeviceWindow = window;
  parameters.EnableAutoDepthStencil = TRUE;
  parameters.AutoDepthStencilFormat = D3DFMT_D24S8;
  parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  ComPtr<IDirect3DDevice9> device;
  if (FAILED(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_MIXED_VERTEXPROCESSING, &parameters,
                                    device.ReleaseAndGetAddressOf()))) {
    std::fprintf(stderr, "no %ux%u device\n", width, height);
    return 1;
  }
  D3DADAPTER_IDENTIFIER9 identifier{};
  direct3d->GetAdapterIdentifier(0, 0, &identifier);
  std::printf("renderer: %s, %ux%u, T=%.2fs\n", identifier.Description, width, height, seconds);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  bool ok = true;
  if (wanted("FFP - Pure fillrate")) ok = RunTest(device.Get(), "FFP - Pure fillrate", width, height, seconds, false);
  if (ok && wanted("FFP - Z pixel rate"))
    ok = RunTest(device.Get(), "FFP - Z pixel rate", width, height, seconds, true);
  const char* textured[4] = {"FFP - Single texture", "FFP - Dual texture", "FFP - Triple texture",
                             "FFP - Quad texture"};
  for (UINT n = 1; n <= 4; ++n) {
    if (ok && wanted(textured[n - 1])) ok = RunTexturedTest(device.Get(), textured[n - 1], width, height, seconds, n);
  }
  device.Reset();
  if (window) SDL_DestroyWindow(window);
  return ok ? 0 : 1;
}
