// How long the first draw with a new shader pair takes on the OpenGL device: the per-pixel
// lighting pair of tests 15 and 16, made new each round (one constant changed, so the token
// stream and with it the program are new), drawn once into a small target and read back,
// against the same draw once the program exists.
//
//   shader_first_draw [ROUNDS [PIXEL-SHADER-FILE VERTEX-SHADER-FILE]]
//
// Prints the median of each, and their difference: what translating, compiling and linking the
// program costs the first draw.
#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "d3d9.h"
#include "d3dx9shader.h"
#include "shader/ShaderTranslator.h"

#ifndef RASTRO_SOURCE_DATA_DIR
#define RASTRO_SOURCE_DATA_DIR "data"
#endif

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::vector<DWORD> Assemble(const std::string& file) {
  std::string path = std::string(RASTRO_SOURCE_DATA_DIR) + "/" + file;
  ID3DXBuffer* tokens = nullptr;
  if (FAILED(D3DXAssembleShaderFromFileA(path.c_str(), nullptr, nullptr, 0, &tokens, nullptr)) || !tokens) {
    std::fprintf(stderr, "%s does not assemble\n", path.c_str());
    std::exit(1);
  }
  const auto* words = static_cast<const DWORD*>(tokens->GetBufferPointer());
  std::vector<DWORD> out(words, words + tokens->GetBufferSize() / 4);
  tokens->Release();
  return out;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
  std::string pixelFile = argc > 3 ? argv[2] : "PerPixelLightingPS20.psh";
  std::string vertexFile = argc > 3 ? argv[3] : "PerPixelLightingVS11.vsh";
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  ComPtr<IDirect3D9> direct3d = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
  if (!direct3d) return 1;
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = parameters.BackBufferHeight = 64;
  parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters.Windowed = TRUE;
  parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  ComPtr<IDirect3DDevice9> device;
  if (FAILED(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                                    device.ReleaseAndGetAddressOf()))) {
    return 1;
  }
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_ZENABLE, FALSE);
  struct Vertex {
    float x, y, z, w, u, v;
  };
  const Vertex quad[4] = {{-1, 1, 0, 1, 0, 0}, {1, 1, 0, 1, 1, 0}, {-1, -1, 0, 1, 0, 1}, {1, -1, 0, 1, 1, 1}};
  ComPtr<IDirect3DVertexBuffer9> buffer;
  device->CreateVertexBuffer(sizeof quad, D3DUSAGE_WRITEONLY, 0x104, D3DPOOL_MANAGED, buffer.ReleaseAndGetAddressOf(),
                             nullptr);
  void* target = nullptr;
  buffer->Lock(0, sizeof quad, &target, 0);
  std::memcpy(target, quad, sizeof quad);
  buffer->Unlock();
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
                                        {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                        D3DDECL_END()};
  ComPtr<IDirect3DVertexDeclaration9> declaration;
  device->CreateVertexDeclaration(elements, declaration.ReleaseAndGetAddressOf());
  device->SetStreamSource(0, buffer.Get(), 0, sizeof(Vertex));
  device->SetVertexDeclaration(declaration.Get());
  ComPtr<IDirect3DTexture9> textures[2];
  for (int t = 0; t < 2; ++t) {
    device->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, textures[t].ReleaseAndGetAddressOf(), nullptr);
    device->SetTexture(t, textures[t].Get());
  }
  ComPtr<IDirect3DSurface9> backBuffer, copy;
  device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf());
  device->CreateOffscreenPlainSurface(64, 64, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, copy.ReleaseAndGetAddressOf(), nullptr);
  auto frame = [&] {
    device->BeginScene();
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    device->EndScene();
    device->GetRenderTargetData(backBuffer.Get(), copy.Get());  // waits for the draw
  };

  std::vector<DWORD> pixelTokens = Assemble(pixelFile), vertexTokens = Assemble(vertexFile);
  // The first def's w (its fourth value) changes each round: a new stream, a new program.
  auto def = std::find_if(pixelTokens.begin() + 1, pixelTokens.end(), [](DWORD t) { return (t & 0xFFFF) == 0x51; });
  if (def == pixelTokens.end()) return 1;
  std::vector<double> first, again;
  for (int round = 0; round < rounds; ++round) {
    float value = 1.0f / static_cast<float>(round + 2);
    std::memcpy(&*(def + 5), &value, 4);
    ComPtr<IDirect3DPixelShader9> pixel;
    ComPtr<IDirect3DVertexShader9> vertex;
    frame();  // whatever the previous round left is finished
    double start = Now();
    device->CreatePixelShader(pixelTokens.data(), pixel.ReleaseAndGetAddressOf());
    device->CreateVertexShader(vertexTokens.data(), vertex.ReleaseAndGetAddressOf());
    device->SetPixelShader(pixel.Get());
    device->SetVertexShader(vertex.Get());
    frame();
    double middle = Now();
    frame();
    double end = Now();
    first.push_back(middle - start);
    again.push_back(end - middle);
  }
  // The translation alone: decoding and GLSL generation of both shaders, on the CPU.
  std::vector<double> translation;
  for (int round = 0; round < rounds; ++round) {
    double start = Now();
    for (const std::vector<DWORD>* tokens : {&pixelTokens, &vertexTokens}) {
      rastro::DecodedShader decoded;
      rastro::GlslShader glsl;
      rastro::DecodeShader(tokens->data(), tokens->size(), decoded);
      rastro::TranslateShader(decoded, rastro::ShaderTranslationOptions{}, glsl);
    }
    translation.push_back(Now() - start);
  }
  std::printf("translation of both shaders: %.3f ms (median)\n", Median(translation) * 1e3);
  double firstMs = Median(first) * 1e3, againMs = Median(again) * 1e3;
  std::printf("%s + %s, %d rounds: first draw %.3f ms, again %.3f ms, new program %.3f ms (medians)\n",
              pixelFile.c_str(), vertexFile.c_str(), rounds, firstMs, againMs, firstMs - againMs);
  return 0;
}
