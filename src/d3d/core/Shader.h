// Pixel and vertex shader objects: a checked copy of the caller's token stream.
#pragma once

#include <vector>

#include "Resource.h"

namespace rastro {

// Longest token stream a shader may have; a stream without an end token by then is refused.
constexpr UINT kMaxShaderTokens = 65536;

// Decodes a token stream from its version token to the end token (0x0000FFFF), reading no
// further than kMaxShaderTokens. Gives the stream's length in tokens (end token included), or 0
// when the stream is malformed or has no end within the bound.
UINT MeasureShaderTokens(const DWORD* tokens);

template <typename Interface, const IID& kInterfaceId>
class ShaderObject final : public Interface, public Resource {
 public:
  ShaderObject(Device& device, std::vector<DWORD> tokens)
      : Resource(device, Ownership::Standalone), tokens_(std::move(tokens)) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == kInterfaceId) {
      AddRef();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return AddRefPublic(); }
  ULONG Release() override { return ReleasePublic(); }
  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceInterface(device); }
  HRESULT GetFunction(void* data, UINT* size) override;

  const std::vector<DWORD>& Tokens() const { return tokens_; }
  DWORD Version() const { return tokens_[0]; }

 private:
  std::vector<DWORD> tokens_;
};

using PixelShader = ShaderObject<IDirect3DPixelShader9, IID_IDirect3DPixelShader9>;
using VertexShader = ShaderObject<IDirect3DVertexShader9, IID_IDirect3DVertexShader9>;

}  // namespace rastro
