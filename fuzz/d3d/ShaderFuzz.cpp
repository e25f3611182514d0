// Arbitrary bytes as the things a device reads from its callers without a length: shader
// token streams (read up to their end token, within a bound, and validated; a first byte from
// 0xF0 up puts a version token the device knows in front), vertex declarations (read up to
// their end marker), and as lock rectangles of a DXT level.
#include <cstdint>
#include <cstring>
#include <vector>

#include "ComPtr.h"
#include "DeviceProfile.h"

namespace {

IDirect3DDevice9* Device() {
  static IDirect3DDevice9* device = [] {
    std::vector<rastro::Adapter> adapters;
    rastro::DeviceProfile profile = rastro::CapableProfile();
    profile.caps.PixelShaderVersion = D3DPS_VERSION(3, 0);
    profile.caps.VertexShaderVersion = D3DVS_VERSION(3, 0);
    adapters.push_back(rastro::ResourceOnlyAdapter(profile));
    IDirect3D9* direct3d = rastro::CreateDirect3D(std::move(adapters));
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = 640;
    parameters.BackBufferHeight = 480;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
    IDirect3DDevice9* created = nullptr;
    direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, &created);
    direct3d->Release();
    return created;
  }();
  return device;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  IDirect3DDevice9* device = Device();
  if (!device || size < 1) return 0;
  const std::uint8_t mode = data[0];
  ++data;
  --size;
  if (mode >= 0xF0) {
    // A version token the device knows, then the input: streams that reach the validator.
    static constexpr DWORD kVersions[] = {D3DVS_VERSION(1, 1), D3DVS_VERSION(2, 0), D3DVS_VERSION(2, 1),
                                          D3DVS_VERSION(3, 0), D3DPS_VERSION(1, 1), D3DPS_VERSION(1, 2),
                                          D3DPS_VERSION(1, 3), D3DPS_VERSION(1, 4), D3DPS_VERSION(2, 0),
                                          D3DPS_VERSION(2, 1), D3DPS_VERSION(3, 0)};
    DWORD version = kVersions[(mode & 0xF) % (sizeof kVersions / sizeof kVersions[0])];
    std::vector<DWORD> tokens(65536 + 16, 0);
    tokens[0] = version;
    std::memcpy(tokens.data() + 1, data, std::min(size, (tokens.size() - 1) * sizeof(DWORD)));
    if (version >= D3DPS_VERSION(0, 0)) {
      IDirect3DPixelShader9* pixel = nullptr;
      if (SUCCEEDED(device->CreatePixelShader(tokens.data(), &pixel))) pixel->Release();
    } else {
      IDirect3DVertexShader9* vertex = nullptr;
      if (SUCCEEDED(device->CreateVertexShader(tokens.data(), &vertex))) vertex->Release();
    }
  } else if (mode % 3 == 0) {
    // A token stream: the input, then zeros up to the longest stream a shader may have, so
    // that every read the device may make lies inside the buffer.
    std::vector<DWORD> tokens(65536 + 16, 0);
    std::memcpy(tokens.data(), data, std::min(size, tokens.size() * sizeof(DWORD)));
    IDirect3DPixelShader9* pixel = nullptr;
    if (SUCCEEDED(device->CreatePixelShader(tokens.data(), &pixel))) {
      UINT bytes = 0;
      pixel->GetFunction(nullptr, &bytes);
      std::vector<BYTE> copy(bytes);
      pixel->GetFunction(copy.data(), &bytes);
      pixel->Release();
    }
    IDirect3DVertexShader9* vertex = nullptr;
    if (SUCCEEDED(device->CreateVertexShader(tokens.data(), &vertex))) vertex->Release();
  } else if (mode % 3 == 1) {
    std::vector<D3DVERTEXELEMENT9> elements(65);
    std::memset(elements.data(), 0xFF, elements.size() * sizeof(D3DVERTEXELEMENT9));  // end markers after the input
    for (D3DVERTEXELEMENT9& element : elements) element.Type = D3DDECLTYPE_UNUSED;
    std::memcpy(elements.data(), data, std::min(size, elements.size() * sizeof(D3DVERTEXELEMENT9)));
    IDirect3DVertexDeclaration9* declaration = nullptr;
    if (SUCCEEDED(device->CreateVertexDeclaration(elements.data(), &declaration))) declaration->Release();
  } else if (size >= 16) {
    static IDirect3DTexture9* texture = [device] {
      IDirect3DTexture9* created = nullptr;
      device->CreateTexture(12, 8, 0, 0, D3DFMT_DXT1, D3DPOOL_SCRATCH, &created, nullptr);
      return created;
    }();
    RECT rect;
    std::memcpy(&rect, data, sizeof rect);
    UINT level = data[0] % 5;
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(texture->LockRect(level, &locked, &rect, 0))) {
      // Touch the locked area's first and last bytes: any bad address shows under ASan.
      D3DSURFACE_DESC desc{};
      texture->GetLevelDesc(level, &desc);
      auto* first = static_cast<volatile BYTE*>(locked.pBits);
      UINT rows = (static_cast<UINT>(rect.bottom - rect.top) + 3) / 4;
      UINT blocks = (static_cast<UINT>(rect.right - rect.left) + 3) / 4;
      if (rows && blocks) first[static_cast<size_t>(rows - 1) * locked.Pitch + blocks * 8 - 1] = 1;
      texture->UnlockRect(level);
    }
  }
  return 0;
}
