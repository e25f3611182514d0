// Arbitrary tokens after a real version token, through the shader validator (fed in chunks of
// a size the input picks, as the assembler feeds it) and through the disassembler. Neither may
// crash, hang or read outside the tokens it is given.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ModuleExports.h"
#include "ShaderDisassembler.h"
#include "ShaderValidator.h"

namespace {

constexpr DWORD kVersions[] = {0xFFFE0101, 0xFFFE0200, 0xFFFE0201, 0xFFFE02FF, 0xFFFE0300, 0xFFFE03FF,
                               0xFFFF0101, 0xFFFF0102, 0xFFFF0103, 0xFFFF0104, 0xFFFF0200, 0xFFFF0201,
                               0xFFFF02FF, 0xFFFF0300, 0xFFFF03FF, 0xFFFE0100};

HRESULT Ignore(const char*, UINT, DWORD, DWORD, const char* text, void*) {
  // Touch the whole text: a message built from bad data must still be a terminated string.
  volatile size_t length = std::strlen(text);
  (void)length;
  return S_OK;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::uint8_t versionPick = data[0];
  const UINT chunk = 1 + data[1] % 8;
  data += 2;
  size -= 2;
  // The exact number of tokens, on the heap, so that any read past them shows under ASan.
  size_t count = 1 + size / 4;
  std::vector<DWORD> tokens(count);
  tokens[0] = kVersions[versionPick % (sizeof kVersions / sizeof kVersions[0])];
  if (size >= 4) std::memcpy(tokens.data() + 1, data, (count - 1) * 4);

  static const rastro::RuntimeModule* module = rastro::FindLoadedModule("d3d9.dll");
  Direct3DShaderValidatorCreate9Function create = module ? module->Direct3DShaderValidatorCreate9 : nullptr;
  if (IDirect3DShaderValidator9* validator = create ? create() : nullptr) {
    validator->Begin(&Ignore, nullptr, 0);
    for (size_t at = 0; at < count; at += chunk) {
      UINT n = static_cast<UINT>(count - at < chunk ? count - at : chunk);
      std::vector<DWORD> piece(tokens.begin() + at, tokens.begin() + at + n);
      if (FAILED(validator->Instruction("fuzz.psh", static_cast<UINT>(at), piece.data(), n))) break;
    }
    validator->End();
    validator->Release();
  }
  std::string text;
  rastro::DisassembleShader(tokens.data(), tokens.size(), text);
  return 0;
}
