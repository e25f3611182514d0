#include "UntexturedTests.h"

namespace rastro {

bool UntexturedTest::Init(IDirect3DDevice9* device) {
  BeginInit(device);
  vertexBuffer_.Reset();

  const bool pure = kind_ == Kind::kPureFillrate;
  const auto vertices = ScreenQuad(screen_, pure ? kColourRamp : kOpaqueRamp);
  if (!MakeVertexBuffer(*device, vertices.data(), sizeof vertices, kColouredFvf, vertexBuffer_, failure_)) return false;

  device->SetStreamSource(0, vertexBuffer_.Get(), 0, sizeof(ColouredVertex));
  device->SetFVF(kColouredFvf);
  if (pure) {
    SetColourWrites(*device, 15);
    SetDepthOff(*device);
  } else {
    // Colour writes off and the depth test on: only depth traffic is left to measure.
    SetColourWrites(*device, 0);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  }
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  return true;
}

bool UntexturedTest::Destroy() {
  vertexBuffer_.Reset();
  return true;
}

}  // namespace rastro
