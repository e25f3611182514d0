#include "TexturedTests.h"

#include <string>
#include <vector>

namespace rastro {

namespace {

constexpr const char* kTextureFiles[kMaxTestTextures] = {"texture1.jpg", "texture2.jpg", "texture3.jpg",
                                                         "texture4.jpg"};

// Every texture must be at least this large for the test to mean what it says.
constexpr DWORD kMinTextureSize = 512;

// The quad with every coordinate set running (0, 0) to (1, 1) across the screen, as floats:
// x, y, z, rhw, then u, v per set.
std::vector<float> TexturedQuad(ScreenSize screen, UINT textureCount) {
  const auto w = static_cast<float>(screen.width);
  const auto h = static_cast<float>(screen.height);
  const float corners[4][4] = {
      {0.0f, 0.0f, 0.0f, 0.0f}, {w, 0.0f, 1.0f, 0.0f}, {0.0f, h, 0.0f, 1.0f}, {w, h, 1.0f, 1.0f}};
  std::vector<float> vertices;
  for (const auto& corner : corners) {
    vertices.insert(vertices.end(), {corner[0], corner[1], 0.0f, 1.0f});
    for (UINT set = 0; set < textureCount; ++set) vertices.insert(vertices.end(), {corner[2], corner[3]});
  }
  return vertices;
}

// How stage k combines its texture with the stages before it.
constexpr DWORD kStageOps[kMaxTestTextures] = {D3DTOP_SELECTARG1, D3DTOP_MODULATE, D3DTOP_ADD, D3DTOP_MODULATE};

}  // namespace

DWORD TexturedFvf(UINT textureCount) { return D3DFVF_XYZRHW | (textureCount << D3DFVF_TEXCOUNT_SHIFT); }
UINT TexturedStride(UINT textureCount) { return 16 + 8 * textureCount; }

const char* TexturedTest::Name() const {
  static constexpr const char* kNames[kMaxTestTextures] = {"FFP - Single texture", "FFP - Dual texture",
                                                           "FFP - Triple texture", "FFP - Quad texture"};
  return kNames[textureCount_ - 1];
}

bool TexturedTest::Init(IDirect3DDevice9* device) {
  BeginInit(device);
  vertexBuffer_.Reset();
  for (auto& texture : textures_) texture.Reset();

  D3DCAPS9 caps{};
  device->GetDeviceCaps(&caps);
  if (caps.MaxSimultaneousTextures < textureCount_) {
    return Fail("the device offers " + std::to_string(caps.MaxSimultaneousTextures) +
                " texture stages, the test needs " + std::to_string(textureCount_));
  }
  if (caps.MaxTextureWidth < kMinTextureSize || caps.MaxTextureHeight < kMinTextureSize) {
    return Fail("the device's textures are at most " + std::to_string(caps.MaxTextureWidth) + "x" +
                std::to_string(caps.MaxTextureHeight) + ", the test needs " + std::to_string(kMinTextureSize) + "x" +
                std::to_string(kMinTextureSize));
  }

  const std::vector<float> vertices = TexturedQuad(screen_, textureCount_);
  const DWORD fvf = TexturedFvf(textureCount_);
  if (!MakeVertexBuffer(*device, vertices.data(), static_cast<UINT>(vertices.size() * sizeof(float)), fvf,
                        vertexBuffer_, failure_)) {
    return false;
  }
  device->SetStreamSource(0, vertexBuffer_.Get(), 0, TexturedStride(textureCount_));
  device->SetFVF(fvf);

  // Every file is tried before any is judged, so a missing one costs the same loads each time.
  bool loaded = true;
  for (UINT k = 0; k < textureCount_; ++k)
    loaded &= LoadTexture(*device, files_, kTextureFiles[k], textures_[k], failure_);
  if (!loaded) return false;
  for (UINT k = 0; k < textureCount_; ++k) device->SetTexture(k, textures_[k].Get());

  SetColourWrites(*device, 15);
  SetDepthOff(*device);
  for (UINT stage = 0; stage < textureCount_; ++stage) {
    device->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(stage, D3DTSS_COLOROP, kStageOps[stage]);
    if (stage > 0) device->SetTextureStageState(stage, D3DTSS_COLORARG2, D3DTA_CURRENT);
  }
  return true;
}

bool TexturedTest::Destroy() {
  vertexBuffer_.Reset();
  for (auto& texture : textures_) texture.Reset();
  return true;
}

}  // namespace rastro
