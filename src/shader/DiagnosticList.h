// Every error and warning of one assembly, as finished text lines, with the per-code warning
// rules that "#pragma warning" sets.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>
#include <vector>

#include "DiagnosticMessage.h"
#include "Token.h"
#include "d3dx9shader.h"

namespace rastro {

class DiagnosticList {
 public:
  // Values of SetWarningRule besides a level 0-14.
  static constexpr DWORD kRuleError = 15;
  static constexpr DWORD kRuleOnce = 16;
  static constexpr DWORD kRuleDefault = 255;

  // A line reads "file(line): error X1005: text\n"; the position (file name and line of a
  // token) may be null, and code 0 drops the "error X%u: " part. A line is cut to 4094
  // characters before its line feed. Returns E_OUTOFMEMORY when the line could not be kept.
  HRESULT RecordError(const Token* position, DWORD code, const char* format, ...) __attribute__((format(printf, 4, 5)));
  // Recorded only when the warning level and the code's rule let it through; a code at level
  // 15 is recorded as an error.
  HRESULT RecordWarning(const Token* position, DWORD code, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  HRESULT RecordErrorV(const Token* position, DWORD code, const char* format, va_list args);
  HRESULT RecordWarningV(const Token* position, DWORD code, const char* format, va_list args);

  // Records the table's message `id` with its code (plus `codeOffset`) as an error or a
  // warning, as the table says. `format` must be the message's format from the table; it is
  // there so that the compiler checks the arguments. Call through REPORT_DIAGNOSTIC.
  HRESULT Report(const Token* position, DiagnosticMessage id, DWORD codeOffset, const char* format, ...)
      __attribute__((format(printf, 5, 6)));

  // 0 disables the code, 1-14 sets its level, 15 turns it into an error, 16 shows it once,
  // 255 restores level 1 (keeping whether it was shown).
  HRESULT SetWarningRule(DWORD code, DWORD value);

  DWORD ErrorCount() const { return errorCount_; }
  DWORD WarningCount() const { return warningCount_; }
  DWORD WarningLevel() const { return warningLevel_; }
  void SetWarningLevel(DWORD level) { warningLevel_ = level; }

  // All lines in the order they were recorded.
  std::string_view Text() const { return text_; }
  // A buffer holding Text() and a NUL, or null when nothing was recorded. A null `out` does
  // nothing.
  HRESULT MakeErrorText(ID3DXBuffer** out) const;

 private:
  static constexpr DWORD kLevelMask = 0x0F;
  static constexpr DWORD kShowOnce = 0x10;
  static constexpr DWORD kShown = 0x20;

  HRESULT Record(const Token* position, DWORD code, const char* kind, bool isError, const char* format, va_list args);
  // Index of the code's rule, inserting a level-1 rule when it has none.
  HRESULT FindOrInsertRule(DWORD code, std::size_t& index);

  std::string text_;
  DWORD errorCount_ = 0;
  DWORD warningCount_ = 0;
  DWORD warningLevel_ = 1;
  std::vector<DWORD> ruleCodes_;  // ascending
  std::vector<DWORD> ruleFlags_;  // level in bits 0-3, kShowOnce, kShown
};

}  // namespace rastro
