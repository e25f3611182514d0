// Stands between the source files and the statement parser: the stack of open files, the
// macro table, conditional compilation and the diagnostics of one assembly. Delivers tokens
// one at a time through ReadToken.
#pragma once

#include <locale.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "DiagnosticList.h"
#include "MacroExpander.h"
#include "MacroTable.h"
#include "MappedFile.h"
#include "ShaderTokenizer.h"
#include "StringStore.h"
#include "d3dx9shader.h"

namespace rastro {

class DirectiveParser;

// One "#pragma def(name, name, value, value, value, value)".
struct PragmaDef {
  const char* first;
  const char* second;
  double values[4];
};

class Preprocessor {
 public:
  static constexpr std::size_t kMaxOpenFiles = 32;
  static constexpr DWORD kMatrixRowMajor = 0x400;
  static constexpr DWORD kMatrixColumnMajor = 0x800;

  // Switches this thread's numeric locale to "C" until destruction.
  Preprocessor();
  ~Preprocessor();
  Preprocessor(const Preprocessor&) = delete;
  Preprocessor& operator=(const Preprocessor&) = delete;

  // Opens the top-level file (through `include` when given, else from disk), then defines the
  // predefined macros and the caller's definitions (an array ended by a null Name, or null).
  HRESULT OpenSource(const char* fileName, const D3DXMACRO* defines, ID3DXInclude* include);
  // The same for a source held in memory; `name` (may be null) is the name messages carry.
  // Without an include handler such a source cannot #include.
  HRESULT OpenMemorySource(const char* text, std::size_t length, const char* name, const D3DXMACRO* defines,
                           ID3DXInclude* include);
  // Directories searched, in order, for disk includes not found beside the including file.
  HRESULT AddIncludeDirectory(const char* directory);

  // Tokenizer mode bits for every later read (ShaderTokenizer::kAssemblyMode, ...).
  HRESULT PushMode(DWORD mode);
  // Reads and discards the rest of the input, then restores the previous mode.
  // D3DERR_INVALIDCALL when nothing was pushed.
  HRESULT PopMode();

  // The next token for the parser; at the end, an end-of-file token (again on every call).
  // Fails, with an end-of-file token, once a fatal error has been recorded.
  HRESULT ReadToken(Token& token);

  void CurrentPosition(const char** fileName, DWORD* line) const;
  // The read position in the top-level source and the number of characters after it.
  void TopLevelSource(const char** text, DWORD* remaining) const;

  DiagnosticList& Diagnostics() { return diagnostics_; }
  const DiagnosticList& Diagnostics() const { return diagnostics_; }
  DWORD MatrixPacking() const { return matrixPacking_; }
  const std::vector<PragmaDef>& PragmaDefs() const { return pragmaDefs_; }

  // Bounds on macro expansion, so that hostile input cannot run away with time or memory.
  // Passing one is a fatal error.
  void SetExpansionLimits(const ExpansionLimits& limits) { expander_.SetLimits(limits); }

 private:
  friend class DirectiveParser;

  struct Conditional {
    bool taken;
    bool parentActive;
    bool elseSeen;
  };

  struct SourceFile {
    ShaderTokenizer tokenizer;
    MappedFile mapped;                // disk files
    ID3DXInclude* handler = nullptr;  // files from the caller's handler
    const void* handlerData = nullptr;
    const char* directory = nullptr;  // disk files: the full path up to its last '/'
    std::vector<Conditional> conditionals;
  };

  HRESULT OpenTopLevel(const char* fileName, const char* text, std::size_t length, bool fromMemory,
                       const D3DXMACRO* defines, ID3DXInclude* include);
  HRESULT DefinePredefinedAndCallerMacros(const D3DXMACRO* defines);
  HRESULT DefineFromText(const char* name, const char* definition);
  HRESULT OpenFromDisk(const char* path, const char* nameForMessage, const Token* position);
  HRESULT OpenInclude(const Token& name, D3DXINCLUDE_TYPE type);
  void CloseInnermost();
  HRESULT Fail(HRESULT result);

  DWORD Mode() const { return modes_.empty() ? 1u : modes_.back(); }
  SourceFile& CurrentFile() { return *files_.back(); }

  HRESULT ReadTokenUnchecked(Token& token);
  bool DeliverSpecialName(Token& token);

  // Where macro calls read their arguments from once the pending queue is empty.
  class CallSource final : public MacroExpander::Source {
   public:
    explicit CallSource(Preprocessor& preprocessor) : pp_(preprocessor) {}
    void NextToken(Token& token) override { pp_.current_->NextToken(pp_.Mode(), token); }
    int PeekChar() const override { return pp_.current_->PeekChar(); }

   private:
    Preprocessor& pp_;
  };

  StringStore store_;
  DiagnosticList diagnostics_;
  MacroTable macros_;
  MacroExpander expander_{diagnostics_, store_};
  CallSource callSource_{*this};
  std::vector<std::unique_ptr<SourceFile>> files_;  // innermost last
  ShaderTokenizer* current_ = nullptr;
  ID3DXInclude* include_ = nullptr;
  std::vector<std::string> includeDirectories_;
  std::vector<DWORD> modes_;

  // Reused by every directive line, so that parsing one allocates nothing once warm.
  std::vector<Token> directiveTokens_;
  std::vector<Token> directiveParameters_;
  std::vector<Token> directiveBody_;

  std::vector<PragmaDef> pragmaDefs_;
  DWORD matrixPacking_ = 0;
  bool atLineStart_ = true;
  bool active_ = true;
  bool nextActive_ = true;
  bool fatal_ = false;
  HRESULT fatalResult_ = S_OK;
  Token lookahead_{};

  locale_t numericLocale_ = nullptr;
  locale_t previousLocale_ = nullptr;
};

}  // namespace rastro
