// Cuts one source text into tokens: C-like lexical rules plus the assembly-language switches.
// Lexical problems are recorded (codes 1001-1007) and the token is still delivered.
#pragma once

#include <cstddef>

#include "DiagnosticList.h"
#include "StringStore.h"
#include "Token.h"

namespace rastro {

class ShaderTokenizer {
 public:
  // Mode bits passed with every request.
  static constexpr DWORD kAssemblyMode = 2;  // ';' comments, dotted version tokens
  static constexpr DWORD kRawStrings = 4;    // backslash is an ordinary character in strings
  static constexpr DWORD kAngleStrings = 8;  // <...> is a string
  static constexpr std::size_t kMeasureText = static_cast<std::size_t>(-1);

  // `length` kMeasureText means `text` is NUL-terminated (a null text is then empty). E_FAIL
  // without a store or diagnostics, or for a null text of non-zero length.
  HRESULT Initialise(const char* text, std::size_t length, const char* fileName, DWORD firstLine, StringStore* store,
                     DiagnosticList* diagnostics);

  void NextToken(DWORD mode, Token& token);

  // Moves to the next line feed (not past it), following line continuations. True when a line
  // feed was reached, false at the end of the text.
  bool SkipToLineEnd();

  // Records "syntax error : unexpected <description of token>" at the token; `id` is one of
  // the syntax-error messages (DirectiveSyntaxError, SyntaxError), which differ in code only.
  static void DescribeToken(DiagnosticList& diagnostics, DiagnosticMessage id, const Token& token);

  // Reads the rest of the line as raw text for "#error": leading blanks skipped, line
  // continuations and carriage returns dropped, at most `capacity - 1` characters kept.
  // Stops before the line feed.
  void ReadRawLine(char* out, std::size_t capacity);

  const char* FileName() const { return fileName_; }
  void SetFileName(const char* fileName) { fileName_ = fileName; }
  DWORD Line() const { return line_; }
  void SetLine(DWORD line) { line_ = line; }
  const char* ReadPosition() const { return cursor_; }
  std::size_t Remaining() const { return static_cast<std::size_t>(end_ - cursor_); }
  bool AtEnd() const { return cursor_ == end_; }
  // The next source character, or -1 at the end.
  int PeekChar() const { return cursor_ == end_ ? -1 : static_cast<unsigned char>(*cursor_); }

 private:
  bool SkipBlanksAndComments(DWORD mode, const Token& position);
  std::size_t LexFloat(Token& token) const;
  std::size_t LexCharacter(DWORD mode, Token& token);
  std::size_t LexInteger(Token& token);
  std::size_t LexString(DWORD mode, Token& token);
  std::size_t LexVersion(Token& token) const;
  std::size_t LexIdentifier(Token& token);
  std::size_t LexOperator(Token& token) const;
  // Decodes the escape whose backslash is at p[-1]; advances p.
  DWORD DecodeEscape(const char*& p, const char* end) const;

  const char* cursor_ = nullptr;
  const char* end_ = nullptr;
  const char* fileName_ = nullptr;
  DWORD line_ = 0;
  StringStore* store_ = nullptr;
  DiagnosticList* diagnostics_ = nullptr;
};

}  // namespace rastro
