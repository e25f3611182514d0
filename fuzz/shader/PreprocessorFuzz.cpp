// Feeds arbitrary bytes as the top-level source through the preprocessor and reads every
// token. Includes are served from memory: "self" is the input again (so include depth is
// reached), a few fixed headers exist, every other name fails to open.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "MemoryInclude.h"
#include "Preprocessor.h"

namespace {

constexpr std::string_view kHeaderA =
    "#ifndef A_H\n#define A_H\n#define INC(x) ((x) + 1)\n#define CAT(a, b) a##b\n#define STR(s) #s\n#endif\n";
constexpr std::string_view kHeaderB = "#include \"a.h\"\n#if INC(1)\n#endif\nmov r0, CAT(c, 1) STR(x \"y\\n\")\n";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte picks the tokenizer mode; the whole input is the source.
  DWORD mode = size ? (data[0] & 0x0E) : 0;
  MemoryInclude include(reinterpret_cast<const char*>(data), size, {{"a.h", kHeaderA}, {"b.h", kHeaderB}});
  {
    static const D3DXMACRO kDefines[] = {{"FUZZ", "1"}, {"TWO", "FUZZ + FUZZ"}, {"F", "F"}, {nullptr, nullptr}};
    rastro::Preprocessor preprocessor;
    // Expansion is exponential in the input at worst; keep each run short.
    rastro::ExpansionLimits limits;
    limits.maxDepth = 256;
    limits.maxExpansions = 20000;
    limits.maxQueuedTokens = 1 << 16;
    limits.maxRescannedTokens = 1 << 20;
    preprocessor.SetExpansionLimits(limits);
    if (SUCCEEDED(preprocessor.OpenSource("main.psh", kDefines, &include))) {
      if (mode) preprocessor.PushMode(mode);
      rastro::DiagnosticList scratch;
      rastro::Token token;
      for (int count = 0; count < 200000; ++count) {
        if (FAILED(preprocessor.ReadToken(token)) || token.kind == rastro::TokenKind::EndOfFile) break;
        if (token.length) (void)std::memchr(token.start, 0, token.length);  // the text must be readable
        if ((count & 15) == 0)
          rastro::ShaderTokenizer::DescribeToken(scratch, rastro::DiagnosticMessage::DirectiveSyntaxError, token);
      }
      if (mode) preprocessor.PopMode();
    }
    ID3DXBuffer* text = nullptr;
    if (SUCCEEDED(preprocessor.Diagnostics().MakeErrorText(&text)) && text) {
      const char* chars = static_cast<const char*>(text->GetBufferPointer());
      if (chars[text->GetBufferSize() - 1] != '\0') __builtin_trap();
      text->Release();
    }
  }
  if (include.OpenCount() != 0) __builtin_trap();  // every opened file is closed again
  return 0;
}
