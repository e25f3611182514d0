// A program from outside the project that uses Rastrometer's shared libraries as a Direct3D 9
// program ported to Linux would: a device from Direct3DCreate9, a texture loaded from an image
// file onto it, and shaders assembled from source.
//
//   rastrometer-consumer IMAGE
//
// prints the texture's size, level count and format, the first token of an assembled pixel
// shader, and what the shader validator said about a shader that reads a register it never
// wrote. Exit status 0 when every step did what it should, 1 otherwise. The lines
// "consumer: loading IMAGE" and "consumer: loaded" on stderr bracket the texture load, so
// that the Direct3D layer's debug output during the load can be told apart.
#include <d3dx9shader.h>
#include <d3dx9tex.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

template <typename T>
void Release(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

bool LoadTexture(IDirect3DDevice9* device, const char* image) {
  std::fprintf(stderr, "consumer: loading %s\n", image);
  IDirect3DTexture9* texture = nullptr;
  const HRESULT hr = D3DXCreateTextureFromFileA(device, image, &texture);
  std::fprintf(stderr, "consumer: loaded\n");
  if (FAILED(hr) || !texture) {
    std::printf("texture: D3DXCreateTextureFromFileA failed (0x%08X)\n", static_cast<unsigned>(hr));
    return false;
  }
  D3DSURFACE_DESC level0{};
  texture->GetLevelDesc(0, &level0);
  std::printf("texture: %ux%u, %u levels, format %u\n", level0.Width, level0.Height, texture->GetLevelCount(),
              static_cast<unsigned>(level0.Format));
  Release(texture);
  return true;
}

// Assembles `source`; on success prints its first token under `label` and returns true.
bool Assemble(const char* label, const char* source, std::string* errors = nullptr) {
  ID3DXBuffer* shader = nullptr;
  ID3DXBuffer* messages = nullptr;
  const HRESULT hr =
      D3DXAssembleShader(source, static_cast<UINT>(std::strlen(source)), nullptr, nullptr, 0, &shader, &messages);
  if (messages && errors) errors->assign(static_cast<const char*>(messages->GetBufferPointer()));
  Release(messages);
  if (FAILED(hr) || !shader) {
    Release(shader);
    return false;
  }
  DWORD first = 0;
  if (shader->GetBufferSize() >= sizeof first) std::memcpy(&first, shader->GetBufferPointer(), sizeof first);
  std::printf("%s: first token 0x%08X, %u bytes\n", label, static_cast<unsigned>(first),
              static_cast<unsigned>(shader->GetBufferSize()));
  Release(shader);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: rastrometer-consumer IMAGE\n");
    return 2;
  }
  IDirect3D9* direct3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (!direct3d) {
    std::printf("Direct3DCreate9: no adapter\n");
    return 1;
  }
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = 64;
  parameters.BackBufferHeight = 64;
  parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters.Windowed = TRUE;
  IDirect3DDevice9* device = nullptr;
  const HRESULT created = direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                                 D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, &device);
  if (FAILED(created) || !device) {
    std::printf("CreateDevice failed (0x%08X)\n", static_cast<unsigned>(created));
    Release(direct3d);
    return 1;
  }

  bool ok = LoadTexture(device, argv[1]);
  ok = Assemble("shader", "ps_2_0\ndef c0, 1, 0.5, 0, 1\nmov oC0, c0\n") && ok;

  // Only the Direct3D library's validator knows this rule; the assembler alone accepts it.
  std::string errors;
  if (Assemble("unvalidated shader", "ps_2_0\nmov oC0, r0\n", &errors)) {
    std::printf("validator: not reached\n");
    ok = false;
  } else {
    std::printf("validator: %s\n", errors.substr(0, errors.find('\n')).c_str());
  }

  Release(device);
  Release(direct3d);
  return ok ? 0 : 1;
}
