// One token of shader source, as the tokenizer produces it and the preprocessor delivers it.
#pragma once

#include <cstring>
#include <string_view>

#include "WindowsTypes.h"

namespace rastro {

// The numbers are shared by the preprocessor and the statement parser, which switch on them.
enum class TokenKind : DWORD {
  Version = 0,          // value.integer: the version token
  Operator = 1,         // value.op: one to three characters, NUL-terminated
  Integer = 2,          // no suffix, or a character constant
  IntegerLong = 3,      // suffix l
  IntegerUnsigned = 4,  // suffix u (with or without l)
  Float = 5,            // value.real
  FloatHalf = 6,        // suffix h
  FloatSingle = 7,      // suffix f
  FloatLong = 8,        // described, never produced
  Identifier = 9,       // value.text, in the string store
  String = 10,          // value.text with escapes resolved
  AngleString = 11,     // <...>, only when asked for
  EndOfLine = 12,
  EndOfFile = 13,
};

struct Token {
  TokenKind kind = TokenKind::EndOfFile;
  union Value {
    DWORD integer;
    double real;
    const char* text;
    char op[4];
  } value{};
  const char* fileName = nullptr;  // the "position" messages carry: file name and line
  DWORD line = 0;                  // for an end of line: the line that ended
  const char* start = nullptr;     // the token's characters in its source text
  DWORD length = 0;

  std::string_view Source() const { return {start, length}; }
  // An identifier's text; its length is the token's.
  std::string_view Name() const { return {value.text, length}; }
  bool IsOperator(const char* op) const {
    if (kind != TokenKind::Operator) return false;
    char pattern[4] = {};
    for (std::size_t i = 0; i < 3 && op[i]; ++i) pattern[i] = op[i];
    return std::memcmp(value.op, pattern, sizeof pattern) == 0;
  }
  bool IsOperator(char c) const { return kind == TokenKind::Operator && value.op[0] == c && value.op[1] == 0; }
  bool IsInteger() const {
    return kind == TokenKind::Integer || kind == TokenKind::IntegerLong || kind == TokenKind::IntegerUnsigned;
  }
  bool IsFloat() const { return kind >= TokenKind::Float && kind <= TokenKind::FloatLong; }
  bool IsIdentifier(std::string_view name) const { return kind == TokenKind::Identifier && value.text == name; }
  bool IsLineEnd() const { return kind == TokenKind::EndOfLine || kind == TokenKind::EndOfFile; }
};

}  // namespace rastro
