#include "Shader.h"

#include <cstring>

#include "DebugOutput.h"
#include "ShaderInstruction.h"

namespace rastro {

UINT MeasureShaderTokens(const DWORD* tokens) {
  DecodedShader shader;
  if (FAILED(DecodeShader(tokens, kMaxShaderTokens, shader))) return 0;
  return static_cast<UINT>(shader.tokenCount);
}

template <typename Interface, const IID& kInterfaceId>
HRESULT ShaderObject<Interface, kInterfaceId>::GetFunction(void* data, UINT* size) {
  if (!size) return ReportFailure(D3DERR_INVALIDCALL, "GetFunction", "null size pointer");
  UINT bytes = static_cast<UINT>(tokens_.size() * sizeof(DWORD));
  if (!data) {
    *size = bytes;
    return D3D_OK;
  }
  if (*size < bytes) {
    *size = bytes;
    return ReportFailure(D3DERR_INVALIDCALL, "GetFunction", "the buffer is smaller than the function");
  }
  std::memcpy(data, tokens_.data(), bytes);
  *size = bytes;
  return D3D_OK;
}

template class ShaderObject<IDirect3DPixelShader9, IID_IDirect3DPixelShader9>;
template class ShaderObject<IDirect3DVertexShader9, IID_IDirect3DVertexShader9>;

}  // namespace rastro
