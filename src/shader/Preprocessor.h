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
#include "MacroTable.h"
#include "MappedFile.h"
#include "ScratchPool.h"
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

  // Bounds on macro expansion, so that hostile input cannot run away with time or memory:
  // expansions in the whole run, and tokens waiting in expansion results at once. Exceeding
  // either is a fatal error.
  void SetExpansionLimits(std::uint64_t maxExpansions, std::size_t maxQueuedTokens);

 private:
  friend class DirectiveParser;

  // A token waiting in the expansion queue, with the macros it may no longer expand.
  struct QueuedToken {
    Token token;
    const HideSet* hidden = nullptr;
    // An identifier already found not to expand (not a macro, or hidden); the macro table
    // cannot change while tokens wait in the queue.
    bool settled = false;
  };
  using TokenList = std::vector<QueuedToken>;
  using TokenSpan = std::span<QueuedToken>;

  // The arguments of one macro call: all their tokens in order, and where each one ends.
  struct CallArguments {
    TokenList tokens;
    std::vector<std::size_t> ends;

    std::size_t Count() const { return ends.size(); }
    TokenSpan operator[](std::size_t index) {
      std::size_t begin = index == 0 ? 0 : ends[index - 1];
      return TokenSpan(tokens).subspan(begin, ends[index] - begin);
    }
    void clear() {
      tokens.clear();
      ends.clear();
    }
    std::size_t capacity() const { return tokens.capacity(); }
  };

  // Working storage of one substitution of a macro's body.
  struct Substitution {
    // Where a parameter's fully expanded argument lies, once it has been made.
    struct ExpandedArgument {
      enum class Place { NotYet, InArguments, InExpanded } place = Place::NotYet;
      std::size_t begin = 0;
      std::size_t end = 0;
    };
    TokenList list;                   // the body with its arguments in place, before pasting
    std::vector<std::size_t> pastes;  // where the body's own '##' operators are in `list`
    TokenList expandedTokens;         // arguments that contained macros, fully expanded
    std::vector<ExpandedArgument> expandedArguments;  // per parameter

    void clear() {
      list.clear();
      pastes.clear();
      expandedTokens.clear();
      expandedArguments.clear();
    }
    std::size_t capacity() const { return list.capacity() + expandedTokens.capacity(); }
  };

  struct Conditional {
    bool taken;
    bool parentActive;
    bool elseSeen;
  };

  struct SourceFile {
    ShaderTokenizer tokenizer;
    MappedFile mapped;                  // disk files
    ID3DXInclude* handler = nullptr;    // files from the caller's handler
    const void* handlerData = nullptr;
    const char* directory = nullptr;    // disk files: the full path up to its last '/'
    std::vector<Conditional> conditionals;
  };

  enum class Expansion { Done, NotExpanded };

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

  // Macro expansion.
  Expansion ExpandFromInput(const QueuedToken& name, const Macro& macro);
  bool CollectArgumentsFromInput(CallArguments& arguments, const Token& name);
  bool PairArguments(const Macro& macro, const CallArguments& arguments, const Token& name);
  bool Substitute(const Macro& macro, CallArguments& arguments, const HideSet* hidden, unsigned depth,
                  TokenList& result);
  // Appends the full expansion of `tokens` to `out`; when nothing in them expands, leaves
  // `out` alone and clears `changed`. Identifiers found not to expand are settled in place.
  bool ExpandList(TokenSpan tokens, unsigned depth, TokenList& out, bool& changed);
  bool Stringize(std::span<const QueuedToken> tokens, bool charize, const Token& operatorToken,
                 const HideSet* hidden, TokenList& result);
  bool Paste(const QueuedToken& left, const QueuedToken& right, const HideSet* hidden, TokenList& result);
  bool TokenizeText(std::string_view text, const Token& position, bool firstOnly, const HideSet* hidden,
                    TokenList& result);
  bool CountExpansion(const Token& position);
  bool CheckQueueSize(std::size_t extra, const Token& position);
  void PushFront(const TokenList& tokens);
  void PushBodyFront(const Macro& macro, const HideSet* hidden);

  StringStore store_;
  DiagnosticList diagnostics_;
  MacroTable macros_;
  HideSets hideSets_;
  std::vector<std::unique_ptr<SourceFile>> files_;  // innermost last
  ShaderTokenizer* current_ = nullptr;
  ID3DXInclude* include_ = nullptr;
  std::vector<std::string> includeDirectories_;
  std::vector<DWORD> modes_;
  TokenList pending_;  // the queue's front is the back of the vector
  ScratchPool<TokenList> tokenLists_;
  ScratchPool<CallArguments> callArguments_;
  ScratchPool<Substitution> substitutions_;
  std::string stringizeText_;

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

  std::uint64_t expansions_ = 0;
  std::uint64_t maxExpansions_ = std::uint64_t(1) << 24;
  std::size_t maxQueuedTokens_ = std::size_t(1) << 22;

  locale_t numericLocale_ = nullptr;
  locale_t previousLocale_ = nullptr;
};

}  // namespace rastro
