#include "FillTest.h"

#include <cstring>

#include "ResultText.h"

namespace rastro {

bool FillTest::Render() {
  const unsigned draws = PixelFactor();
  for (unsigned i = 0; i < draws; ++i) device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  return true;
}

std::array<ColouredVertex, 4> ScreenQuad(ScreenSize screen, const std::array<D3DCOLOR, 4>& colours) {
  const auto w = static_cast<float>(screen.width);
  const auto h = static_cast<float>(screen.height);
  return {{
      {0.0f, 0.0f, 0.0f, 1.0f, colours[0]},
      {w, 0.0f, 0.0f, 1.0f, colours[1]},
      {0.0f, h, 0.0f, 1.0f, colours[2]},
      {w, h, 0.0f, 1.0f, colours[3]},
  }};
}

std::string CallFailure(const char* call, HRESULT result) {
  std::string text = std::string(call) + " returned " + ResultText(result);
  if (SUCCEEDED(result)) text += " but no object";
  return text;
}

bool MakeVertexBuffer(IDirect3DDevice9& device, const void* data, UINT bytes, DWORD fvf,
                      ComPtr<IDirect3DVertexBuffer9>& slot, std::string& failure) {
  const HRESULT created = device.CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED,
                                                    slot.ReleaseAndGetAddressOf(), nullptr);
  if (created == D3D_OK && slot) {
    void* target = nullptr;
    // A buffer that will not lock keeps whatever it holds; the test still runs, as it would
    // on the platform's runtime.
    if (SUCCEEDED(slot->Lock(0, bytes, &target, 0)) && target) {
      std::memcpy(target, data, bytes);
      slot->Unlock();
    }
  }
  if (!slot) failure = CallFailure("CreateVertexBuffer", created);
  return static_cast<bool>(slot);
}

bool MakeDeclaration(IDirect3DDevice9& device, const D3DVERTEXELEMENT9* elements,
                     ComPtr<IDirect3DVertexDeclaration9>& slot, std::string& failure) {
  const HRESULT created = device.CreateVertexDeclaration(elements, slot.ReleaseAndGetAddressOf());
  if (!slot) failure = CallFailure("CreateVertexDeclaration", created);
  return static_cast<bool>(slot);
}

void SetColourWrites(IDirect3DDevice9& device, DWORD mask) {
  D3DCAPS9 caps{};
  device.GetDeviceCaps(&caps);
  if (caps.PrimitiveMiscCaps & D3DPMISCCAPS_COLORWRITEENABLE) device.SetRenderState(D3DRS_COLORWRITEENABLE, mask);
}

void SetDepthOff(IDirect3DDevice9& device) {
  device.SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  device.SetRenderState(D3DRS_ZENABLE, FALSE);
}

}  // namespace rastro
