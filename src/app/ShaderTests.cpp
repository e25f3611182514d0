#include "ShaderTests.h"

#include "ResultText.h"
#include "d3dx9shader.h"

namespace rastro {

namespace {

template <typename Shader>
HRESULT CreateShader(IDirect3DDevice9& device, const DWORD* tokens, Shader** shader);
template <>
HRESULT CreateShader(IDirect3DDevice9& device, const DWORD* tokens, IDirect3DPixelShader9** shader) {
  return device.CreatePixelShader(tokens, shader);
}
template <>
HRESULT CreateShader(IDirect3DDevice9& device, const DWORD* tokens, IDirect3DVertexShader9** shader) {
  return device.CreateVertexShader(tokens, shader);
}

void BindShader(IDirect3DDevice9& device, IDirect3DPixelShader9* shader) { device.SetPixelShader(shader); }
void BindShader(IDirect3DDevice9& device, IDirect3DVertexShader9* shader) { device.SetVertexShader(shader); }

template <typename Shader>
constexpr const char* kCreateCall = "CreatePixelShader";
template <>
constexpr const char* kCreateCall<IDirect3DVertexShader9> = "CreateVertexShader";

// Assembles `fileName`, creates the shader from the tokens into `slot` and sets it; false, with
// the reason in `failure`, when the file did not assemble or the device refused the shader.
template <typename Shader>
bool MakeShader(IDirect3DDevice9& device, const TestFiles& files, const char* fileName, ComPtr<Shader>& slot,
                std::string& failure) {
  ComPtr<ID3DXBuffer> tokens = AssembleShader(files, fileName, failure);
  if (!tokens) return false;
  const HRESULT created =
      CreateShader(device, static_cast<const DWORD*>(tokens->GetBufferPointer()), slot.ReleaseAndGetAddressOf());
  tokens.Reset();
  if (!slot) {
    failure = std::string(kCreateCall<Shader>) + " refused " + fileName + ": " + ResultText(created);
    return false;
  }
  BindShader(device, slot.Get());
  return true;
}

std::array<TwoColourVertex, 4> TwoColourQuad(const float corners[4][2]) {
  std::array<TwoColourVertex, 4> vertices{};
  for (int i = 0; i < 4; ++i) {
    vertices[i] = {corners[i][0], corners[i][1], 0.0f, 1.0f, kShaderDiffuseRamp[i], kShaderSpecularRamp[i]};
  }
  return vertices;
}

constexpr float kClipCorners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};

}  // namespace

bool PixelShaderTest::Init(IDirect3DDevice9* device) {
  BeginInit(device);
  vertexBuffer_.Reset();
  pixelShader_.Reset();

  const auto w = static_cast<float>(screen_.width);
  const auto h = static_cast<float>(screen_.height);
  const float corners[4][2] = {{0, 0}, {w, 0}, {0, h}, {w, h}};
  const auto vertices = TwoColourQuad(corners);
  if (!MakeVertexBuffer(*device, vertices.data(), sizeof vertices, kTwoColourFvf, vertexBuffer_, failure_))
    return false;
  device->SetStreamSource(0, vertexBuffer_.Get(), 0, sizeof(TwoColourVertex));
  device->SetFVF(kTwoColourFvf);
  SetColourWrites(*device, 15);
  SetDepthOff(*device);
  return MakeShader(*device, files_, shaderFile_, pixelShader_, failure_);
}

bool PixelShaderTest::Destroy() {
  vertexBuffer_.Reset();
  pixelShader_.Reset();
  return true;
}

bool Ps14Test::Init(IDirect3DDevice9* device) {
  BeginInit(device);
  vertexBuffer_.Reset();
  pixelShader_.Reset();
  vertexShader_.Reset();
  declaration_.Reset();

  const auto vertices = TwoColourQuad(kClipCorners);
  if (!MakeVertexBuffer(*device, vertices.data(), sizeof vertices, kTwoColourFvf, vertexBuffer_, failure_))
    return false;
  SetColourWrites(*device, 15);
  SetDepthOff(*device);
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                        {0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
                                        {0, 20, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 1},
                                        D3DDECL_END()};
  if (!MakeDeclaration(*device, elements, declaration_, failure_)) return false;
  if (!MakeShader(*device, files_, "SimplePS14.psh", pixelShader_, failure_)) return false;
  if (!MakeShader(*device, files_, "SimplePS14.vsh", vertexShader_, failure_)) return false;
  device->SetStreamSource(0, vertexBuffer_.Get(), 0, sizeof(TwoColourVertex));
  device->SetVertexDeclaration(declaration_.Get());
  return true;
}

bool Ps14Test::Destroy() {
  vertexBuffer_.Reset();
  pixelShader_.Reset();
  vertexShader_.Reset();
  declaration_.Reset();
  return true;
}

const char* LightingTest::Name() const {
  return partialPrecision_ ? "PS 2.0 PP - Per Pixel Lighting" : "PS 2.0 - Per Pixel Lighting";
}

bool LightingTest::Init(IDirect3DDevice9* device) {
  BeginInit(device);
  vertexBuffer_.Reset();
  pixelShader_.Reset();
  declaration_.Reset();
  vertexShader_.Reset();
  normalMap_.Reset();
  colourTexture_.Reset();

  std::array<TexturedVertex, 4> vertices{};
  const float coordinates[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  for (int i = 0; i < 4; ++i) {
    vertices[i] = {kClipCorners[i][0], kClipCorners[i][1], 0.0f, 1.0f, coordinates[i][0], coordinates[i][1]};
  }
  if (!MakeVertexBuffer(*device, vertices.data(), sizeof vertices, kOneTextureFvf, vertexBuffer_, failure_))
    return false;
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                        {0, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
                                        D3DDECL_END()};
  if (!MakeDeclaration(*device, elements, declaration_, failure_)) return false;
  device->SetStreamSource(0, vertexBuffer_.Get(), 0, sizeof(TexturedVertex));
  device->SetVertexDeclaration(declaration_.Get());
  SetColourWrites(*device, 15);
  SetDepthOff(*device);
  // Both textures are loaded before either is judged.
  LoadTexture(*device, files_, "normal.jpg", normalMap_, failure_);
  LoadTexture(*device, files_, "texture3.jpg", colourTexture_, failure_);
  if (!normalMap_ || !colourTexture_) return false;
  device->SetTexture(0, normalMap_.Get());
  device->SetTexture(1, colourTexture_.Get());
  const char* pixelFile = partialPrecision_ ? "PerPixelLightingPS20PP.psh" : "PerPixelLightingPS20.psh";
  if (!MakeShader(*device, files_, pixelFile, pixelShader_, failure_)) return false;
  return MakeShader(*device, files_, "PerPixelLightingVS11.vsh", vertexShader_, failure_);
}

bool LightingTest::Destroy() {
  vertexBuffer_.Reset();
  pixelShader_.Reset();
  declaration_.Reset();
  vertexShader_.Reset();
  normalMap_.Reset();
  colourTexture_.Reset();
  return true;
}

}  // namespace rastro
