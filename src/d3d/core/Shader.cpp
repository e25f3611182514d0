#include "Shader.h"

#include <cstring>

#include "DebugOutput.h"

namespace rastro {

namespace {

constexpr DWORD kEndToken = 0x0000FFFF;
constexpr DWORD kCommentOpcode = 0xFFFE;
constexpr DWORD kDefOpcode = 0x51;
constexpr DWORD kDefIOpcode = 0x30;
constexpr DWORD kDefBOpcode = 0x2F;

}  // namespace

UINT MeasureShaderTokens(const DWORD* tokens) {
  UINT major = (tokens[0] >> 8) & 0xFF;
  UINT at = 1;
  while (at < kMaxShaderTokens) {
    DWORD token = tokens[at];
    if (token == kEndToken) return at + 1;
    DWORD opcode = token & 0xFFFF;
    if (opcode == kCommentOpcode) {
      at += 1 + ((token >> 16) & 0x7FFF);
      continue;
    }
    ++at;
    if (major >= 2) {
      // From version 2 on every instruction says how many tokens follow it.
      at += (token >> 24) & 0xF;
      continue;
    }
    // Before version 2 parameter tokens are told apart by their top bit, except the constants
    // of a def, which are raw values.
    if (opcode == kDefOpcode) {
      at += 5;
    } else if (opcode == kDefIOpcode) {
      at += 5;
    } else if (opcode == kDefBOpcode) {
      at += 2;
    } else {
      while (at < kMaxShaderTokens && (tokens[at] & 0x80000000u)) ++at;
    }
  }
  return 0;
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
