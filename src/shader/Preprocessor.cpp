#include "Preprocessor.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "DirectiveParser.h"
#include "d3d9types.h"

namespace rastro {

namespace {

// The part of a full path up to and including its last '/'.
std::string_view DirectoryOf(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

}  // namespace

Preprocessor::Preprocessor() {
  // Number scanning and formatting must not depend on the caller's locale; only this thread's
  // locale changes, and only until destruction.
  if (locale_t base = duplocale(uselocale(static_cast<locale_t>(nullptr)))) {
    numericLocale_ = newlocale(LC_NUMERIC_MASK, "C", base);
    if (!numericLocale_) freelocale(base);
  }
  if (numericLocale_) previousLocale_ = uselocale(numericLocale_);
}

Preprocessor::~Preprocessor() {
  while (!files_.empty()) CloseInnermost();
  if (numericLocale_) {
    uselocale(previousLocale_);
    freelocale(numericLocale_);
  }
}

HRESULT Preprocessor::Fail(HRESULT result) {
  fatal_ = true;
  fatalResult_ = FAILED(result) ? result : E_FAIL;
  return fatalResult_;
}

HRESULT Preprocessor::AddIncludeDirectory(const char* directory) {
  if (!directory) return D3DERR_INVALIDCALL;
  try {
    std::string path = directory;
    if (path.empty() || path.back() != '/') path += '/';
    includeDirectories_.push_back(std::move(path));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT Preprocessor::OpenSource(const char* fileName, const D3DXMACRO* defines, ID3DXInclude* include) {
  return OpenTopLevel(fileName, nullptr, 0, false, defines, include);
}

HRESULT Preprocessor::OpenMemorySource(const char* text, std::size_t length, const char* name, const D3DXMACRO* defines,
                                       ID3DXInclude* include) {
  if (!text && length) return D3DERR_INVALIDCALL;
  return OpenTopLevel(name, text, length, true, defines, include);
}

HRESULT Preprocessor::OpenTopLevel(const char* fileName, const char* text, std::size_t length, bool fromMemory,
                                   const D3DXMACRO* defines, ID3DXInclude* include) {
  if (!files_.empty() || fatal_) return D3DERR_INVALIDCALL;
  if (!fromMemory && !fileName) return D3DERR_INVALIDCALL;
  try {
    include_ = include;
    if (fromMemory) {
      const char* name = fileName ? store_.Copy(fileName) : nullptr;
      if (fileName && !name) return Fail(E_OUTOFMEMORY);
      auto file = std::make_unique<SourceFile>();
      if (HRESULT hr = file->tokenizer.Initialise(text, length, name, 1, &store_, &diagnostics_); FAILED(hr))
        return Fail(hr);
      files_.push_back(std::move(file));
    } else if (include) {
      const char* name = store_.Copy(fileName);
      if (!name) return Fail(E_OUTOFMEMORY);
      const void* data = nullptr;
      UINT bytes = 0;
      HRESULT hr = include->Open(D3DXINC_LOCAL, name, nullptr, &data, &bytes);
      auto file = std::make_unique<SourceFile>();
      if (SUCCEEDED(hr)) {
        file->handler = include;
        file->handlerData = data;
        hr = file->tokenizer.Initialise(static_cast<const char*>(data), bytes, name, 1, &store_, &diagnostics_);
        files_.push_back(std::move(file));
      }
      if (FAILED(hr)) {
        REPORT_DIAGNOSTIC(diagnostics_, nullptr, CannotOpenSource, fileName);
        return Fail(hr);
      }
    } else if (HRESULT hr = OpenFromDisk(fileName, fileName, nullptr); FAILED(hr)) {
      return hr;
    }
    if (HRESULT hr = DefinePredefinedAndCallerMacros(defines); FAILED(hr)) return Fail(hr);
    current_ = &CurrentFile().tokenizer;
  } catch (const std::bad_alloc&) {
    REPORT_DIAGNOSTIC(diagnostics_, nullptr, OutOfMemory);
    return Fail(E_OUTOFMEMORY);
  }
  return S_OK;
}

HRESULT Preprocessor::OpenFromDisk(const char* path, const char* nameForMessage, const Token* position) {
  char fullPath[PATH_MAX];
  HRESULT hr = D3DXERR_INVALIDDATA;
  auto file = std::make_unique<SourceFile>();
  if (::realpath(path, fullPath)) hr = file->mapped.Open(fullPath);
  if (FAILED(hr)) {
    REPORT_DIAGNOSTIC(diagnostics_, position, CannotOpenSource, nameForMessage);
    return Fail(hr);
  }
  std::string_view full = fullPath;
  const char* name = store_.Copy(full);
  const char* directory = store_.Copy(DirectoryOf(full));
  if (!name || !directory) return Fail(E_OUTOFMEMORY);
  file->directory = directory;
  hr = file->tokenizer.Initialise(reinterpret_cast<const char*>(file->mapped.View()), file->mapped.Size(), name, 1,
                                  &store_, &diagnostics_);
  if (FAILED(hr)) return Fail(hr);
  files_.push_back(std::move(file));
  return S_OK;
}

HRESULT Preprocessor::OpenInclude(const Token& nameToken, D3DXINCLUDE_TYPE type) {
  const char* name = nameToken.value.text;
  if (!include_ && !CurrentFile().directory) {
    REPORT_DIAGNOSTIC(diagnostics_, &nameToken, IncludeNeedsHandler);
    return Fail(E_FAIL);
  }
  if (files_.size() >= kMaxOpenFiles) {
    REPORT_DIAGNOSTIC(diagnostics_, &nameToken, IncludesTooDeep);
    return Fail(E_FAIL);
  }

  if (include_) {
    const void* parentData = CurrentFile().handler ? CurrentFile().handlerData : nullptr;
    const void* data = nullptr;
    UINT bytes = 0;
    HRESULT hr = include_->Open(type, name, parentData, &data, &bytes);
    if (SUCCEEDED(hr)) {
      auto file = std::make_unique<SourceFile>();
      file->handler = include_;
      file->handlerData = data;
      hr = file->tokenizer.Initialise(static_cast<const char*>(data), bytes, name, 1, &store_, &diagnostics_);
      files_.push_back(std::move(file));
    }
    if (FAILED(hr)) {
      REPORT_DIAGNOSTIC(diagnostics_, &nameToken, CannotOpenSource, name);
      return Fail(hr);
    }
    return S_OK;
  }

  // On disk: an absolute name as it stands; otherwise beside the including file, then in the
  // include directories.
  std::vector<std::string> candidates;
  if (name[0] == '/') {
    candidates.emplace_back(name);
  } else {
    candidates.push_back(std::string(CurrentFile().directory) + name);
    for (const std::string& directory : includeDirectories_) candidates.push_back(directory + name);
  }
  char fullPath[PATH_MAX];
  for (std::size_t i = 0; i + 1 < candidates.size(); ++i) {
    if (::realpath(candidates[i].c_str(), fullPath)) return OpenFromDisk(candidates[i].c_str(), name, &nameToken);
  }
  return OpenFromDisk(candidates.back().c_str(), name, &nameToken);
}

void Preprocessor::CloseInnermost() {
  SourceFile& file = *files_.back();
  if (file.handler) file.handler->Close(file.handlerData);
  files_.pop_back();
  current_ = files_.empty() ? nullptr : &CurrentFile().tokenizer;
}

HRESULT Preprocessor::DefinePredefinedAndCallerMacros(const D3DXMACRO* defines) {
  static constexpr D3DXMACRO kPredefined[] = {
      {"DIRECT3D", ""}, {"D3DX", ""}, {"DIRECT3D_VERSION", "0x900"}, {"D3DX_VERSION", "0x901"}};
  for (const D3DXMACRO& macro : kPredefined)
    if (HRESULT hr = DefineFromText(macro.Name, macro.Definition); FAILED(hr)) return hr;
  for (; defines && defines->Name; ++defines)
    if (HRESULT hr = DefineFromText(defines->Name, defines->Definition); FAILED(hr)) return hr;
  return S_OK;
}

HRESULT Preprocessor::DefineFromText(const char* name, const char* definition) {
  std::string_view text = definition ? definition : "";
  const char* nameCopy = store_.Copy(name);
  const char* textCopy = store_.Copy(text);
  if (!nameCopy || !textCopy) return E_OUTOFMEMORY;
  ShaderTokenizer tokenizer;
  if (HRESULT hr = tokenizer.Initialise(textCopy, text.size(), nullptr, 0, &store_, &diagnostics_); FAILED(hr))
    return hr;
  Macro& macro = macros_.Define(nameCopy);
  for (Token token;;) {
    tokenizer.NextToken(Mode(), token);
    if (token.kind == TokenKind::EndOfFile) break;
    macro.body.push_back(token);
  }
  macros_.Finish(macro);
  return S_OK;
}

HRESULT Preprocessor::PushMode(DWORD mode) {
  try {
    modes_.push_back(mode);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT Preprocessor::PopMode() {
  if (modes_.empty()) return D3DERR_INVALIDCALL;
  // The rest of the input is still read, so that its messages are recorded.
  Token token;
  while (SUCCEEDED(ReadToken(token)) && token.kind != TokenKind::EndOfFile) {
  }
  modes_.pop_back();
  return S_OK;
}

void Preprocessor::CurrentPosition(const char** fileName, DWORD* line) const {
  if (fileName) *fileName = current_ ? current_->FileName() : nullptr;
  if (line) *line = current_ ? current_->Line() : 0;
}

void Preprocessor::TopLevelSource(const char** text, DWORD* remaining) const {
  const ShaderTokenizer* top = files_.empty() ? nullptr : &files_.front()->tokenizer;
  if (text) *text = top ? top->ReadPosition() : nullptr;
  if (remaining) *remaining = top ? static_cast<DWORD>(top->Remaining()) : 0;
}

HRESULT Preprocessor::ReadToken(Token& token) {
  try {
    return ReadTokenUnchecked(token);
  } catch (const std::bad_alloc&) {
    REPORT_DIAGNOSTIC(diagnostics_, nullptr, OutOfMemory);
    Fail(E_OUTOFMEMORY);
    token = Token{};
    CurrentPosition(&token.fileName, &token.line);
    return fatalResult_;
  }
}

HRESULT Preprocessor::ReadTokenUnchecked(Token& token) {
  for (;;) {
    if (fatal_ || !current_) {
      token = Token{};
      CurrentPosition(&token.fileName, &token.line);
      return fatal_ ? fatalResult_ : E_FAIL;
    }

    PendingToken next;
    const bool fromQueue = expander_.HasPending();
    if (fromQueue) {
      next = expander_.TakePending();
      next.token.fileName = current_->FileName();
      next.token.line = current_->Line();
      atLineStart_ = false;
    } else {
      current_->NextToken(Mode(), next.token);
    }
    Token& t = next.token;

    // Only a '#' that the source itself puts first on a line starts a directive.
    if (!fromQueue && atLineStart_ && t.IsOperator('#')) {
      DirectiveParser directive(*this);
      directive.Run();
      if (!files_.empty()) current_ = &CurrentFile().tokenizer;
      active_ = nextActive_;
      atLineStart_ = true;
      if (fatal_ || !active_) continue;
      token = lookahead_;
      return S_OK;
    }

    if (t.kind == TokenKind::EndOfFile) {
      SourceFile& file = CurrentFile();
      if (!file.conditionals.empty()) {
        REPORT_DIAGNOSTIC(diagnostics_, &t, EndOfFileInConditional);
        file.conditionals.clear();
      }
      if (files_.size() == 1) {
        atLineStart_ = true;
        token = t;
        return S_OK;
      }
      CloseInnermost();
      t.kind = TokenKind::EndOfLine;
      t.fileName = current_->FileName();
      t.line = current_->Line();
    } else if (t.kind == TokenKind::Identifier) {
      if (const Macro* macro = macros_.Resolve(t.Name())) {
        switch (expander_.Expand(next, *macro, callSource_, Mode())) {
          case MacroExpander::Outcome::Expanded: continue;
          case MacroExpander::Outcome::Fatal: Fail(expander_.FatalResult()); continue;
          case MacroExpander::Outcome::NotExpanded: break;
        }
      } else if (t.value.text[0] == '_' && !DeliverSpecialName(t)) {
        continue;  // out of memory; the loop reports it
      }
    }

    atLineStart_ = t.kind == TokenKind::EndOfLine;
    if (!active_) continue;
    token = t;
    return S_OK;
  }
}

bool Preprocessor::DeliverSpecialName(Token& token) {
  char text[16];
  if (std::strcmp(token.value.text, "__LINE__") == 0) {
    token.kind = TokenKind::Integer;
    token.value.integer = current_->Line();
    int length = std::snprintf(text, sizeof text, "%u", token.value.integer);
    token.start = store_.Copy({text, static_cast<std::size_t>(length)});
    token.length = static_cast<DWORD>(length);
  } else if (std::strcmp(token.value.text, "__FILE__") == 0) {
    const char* name = current_->FileName() ? current_->FileName() : "";
    std::string quoted = std::string("\"") + name + "\"";
    token.kind = TokenKind::String;
    token.value.text = name;
    token.start = store_.Copy(quoted);
    token.length = static_cast<DWORD>(quoted.size());
  } else {
    return true;
  }
  if (!token.start) {
    REPORT_DIAGNOSTIC(diagnostics_, &token, OutOfMemory);
    Fail(E_OUTOFMEMORY);
    return false;
  }
  return true;
}

}  // namespace rastro
