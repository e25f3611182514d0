// Feeds arbitrary bytes through the assembler's public entry point. The first byte chooses
// the flags (including refused ones); the rest is the source file "main.psh", served from
// memory together with a few headers, so #include works.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "MemoryInclude.h"
#include "d3d9types.h"
#include "d3dx9shader.h"

namespace {

constexpr std::string_view kRegisters = "#define DEST r0\n#define SRC(n) c##n\n";
constexpr std::string_view kBody = "ps_2_0\ndcl t0\ndcl_2d s0\ntexld r0, t0, s0\nmov oC0, r0\n";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  DWORD flags = data[0] % 5;  // 4 is refused
  MemoryInclude include(reinterpret_cast<const char*>(data + 1), size - 1, {{"regs.h", kRegisters}, {"body.h", kBody}});
  static const D3DXMACRO kDefines[] = {{"FUZZ", "1"}, {"ZERO", "0"}, {nullptr, nullptr}};
  ID3DXBuffer* shader = nullptr;
  ID3DXBuffer* errors = nullptr;
  HRESULT hr =
      D3DXAssembleShaderFromFileA("main.psh", (data[0] & 8) ? kDefines : nullptr, &include, flags, &shader, &errors);
  // What the entry point promises, checked on every input.
  if (SUCCEEDED(hr)) {
    if (!shader) __builtin_trap();
    DWORD bytes = shader->GetBufferSize();
    const auto* tokens = static_cast<const DWORD*>(shader->GetBufferPointer());
    if (bytes < 8 || bytes % 4 != 0) __builtin_trap();
    if ((tokens[0] & 0xFFFE0000) != 0xFFFE0000) __builtin_trap();
    if (tokens[bytes / 4 - 1] != 0x0000FFFF) __builtin_trap();
    shader->Release();
  } else if (shader) {
    __builtin_trap();
  }
  if (flags > 3 && (hr != D3DERR_INVALIDCALL || errors)) __builtin_trap();
  if (errors) {
    DWORD bytes = errors->GetBufferSize();
    const char* text = static_cast<const char*>(errors->GetBufferPointer());
    if (bytes == 0 || text[bytes - 1] != '\0' || std::strlen(text) != bytes - 1) __builtin_trap();
    errors->Release();
  }
  if (include.OpenCount() != 0) __builtin_trap();
  return 0;
}
