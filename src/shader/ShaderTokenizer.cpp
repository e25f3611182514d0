#include "ShaderTokenizer.h"

#include <array>
#include <cassert>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ShaderVersion.h"

namespace rastro {

namespace {

// Character classes of the C locale, independent of the process locale, as one table lookup.
enum CharFlag : unsigned char {
  kDigitFlag = 1,
  kHexDigitFlag = 2,
  kLetterFlag = 4,
  kIdentifierStartFlag = 8,  // letters and '_'
  kIdentifierFlag = 16,      // letters, digits and '_'
  kBlankFlag = 32,           // white space other than the line feed
  kSkipStartFlag = 64,       // may start something skipped between tokens
};

constexpr std::array<unsigned char, 256> kCharFlags = [] {
  std::array<unsigned char, 256> flags{};
  for (int c = '0'; c <= '9'; ++c) flags[c] = kDigitFlag | kHexDigitFlag | kIdentifierFlag;
  for (int c = 'a'; c <= 'z'; ++c) flags[c] = kLetterFlag | kIdentifierStartFlag | kIdentifierFlag;
  for (int c = 'A'; c <= 'Z'; ++c) flags[c] = kLetterFlag | kIdentifierStartFlag | kIdentifierFlag;
  for (int c : {'a', 'b', 'c', 'd', 'e', 'f', 'A', 'B', 'C', 'D', 'E', 'F'}) flags[c] |= kHexDigitFlag;
  flags['_'] = kIdentifierStartFlag | kIdentifierFlag;
  for (int c : {' ', '\t', '\v', '\f', '\r'}) flags[c] = kBlankFlag;
  for (int c : {' ', '\t', '\v', '\f', '\r', '\n', '\\', '/', ';'}) flags[c] |= kSkipStartFlag;
  return flags;
}();

constexpr bool Has(char c, unsigned char flag) { return (kCharFlags[static_cast<unsigned char>(c)] & flag) != 0; }
constexpr bool IsDigit(char c) { return Has(c, kDigitFlag); }
constexpr bool IsOctalDigit(char c) { return c >= '0' && c <= '7'; }
constexpr bool IsHexDigit(char c) { return Has(c, kHexDigitFlag); }
constexpr bool IsLetter(char c) { return Has(c, kLetterFlag); }
constexpr bool IsIdentifierStart(char c) { return Has(c, kIdentifierStartFlag); }
constexpr bool IsIdentifierChar(char c) { return Has(c, kIdentifierFlag); }
constexpr bool IsBlank(char c) { return Has(c, kBlankFlag); }
constexpr DWORD HexValue(char c) {
  return IsDigit(c) ? DWORD(c - '0') : (c >= 'a' && c <= 'f') ? DWORD(c - 'a' + 10) : DWORD(c - 'A' + 10);
}

// A line continuation at p: a backslash and a line feed, or a backslash, carriage return and
// line feed. Returns its length, or 0.
std::size_t ContinuationAt(const char* p, const char* end) {
  if (p[0] != '\\') return 0;
  if (end - p >= 2 && p[1] == '\n') return 2;
  if (end - p >= 3 && p[1] == '\r' && p[2] == '\n') return 3;
  return 0;
}

DWORD CountLineFeeds(const char* p, std::size_t length) {
  DWORD count = 0;
  for (const char* end = p + length; (p = static_cast<const char*>(std::memchr(p, '\n', end - p))); ++p) ++count;
  return count;
}

}  // namespace

HRESULT ShaderTokenizer::Initialise(const char* text, std::size_t length, const char* fileName, DWORD firstLine,
                                    StringStore* store, DiagnosticList* diagnostics) {
  if (!store || !diagnostics) return E_FAIL;
  if (length == kMeasureText) length = text ? std::strlen(text) : 0;
  if (!text && length != 0) return E_FAIL;
  cursor_ = text;
  end_ = text ? text + length : text;
  fileName_ = fileName;
  line_ = firstLine;
  store_ = store;
  diagnostics_ = diagnostics;
  return S_OK;
}

void ShaderTokenizer::NextToken(DWORD mode, Token& token) {
  token.value.real = 0;
  token.fileName = fileName_;
  token.line = line_;
  token.length = 0;
  if (cursor_ != end_ && Has(*cursor_, kSkipStartFlag) && SkipBlanksAndComments(mode, token)) {
    token.kind = TokenKind::EndOfLine;
    token.start = cursor_;
    return;
  }
  token.line = line_;
  token.start = cursor_;
  if (cursor_ == end_) {
    token.kind = TokenKind::EndOfFile;
    return;
  }

  // Only the lexers that can match the first character are tried, in their fixed order; the
  // operator lexer matches whatever is left.
  std::size_t length = 0;
  char first = *cursor_;
  if (IsIdentifierStart(first)) {
    if ((mode & kAssemblyMode) && end_ - cursor_ >= 5 && cursor_[2] == '.') length = LexVersion(token);
    if (!length) length = LexIdentifier(token);
  } else if (IsDigit(first)) {
    length = LexFloat(token);
    if (!length) length = LexInteger(token);
  } else if (first == '.') {
    length = LexFloat(token);
  } else if (first == '\'') {
    length = LexCharacter(mode, token);
  } else if (first == '"' || (first == '<' && (mode & kAngleStrings))) {
    length = LexString(mode, token);
  }
  if (!length) length = LexOperator(token);

  token.length = static_cast<DWORD>(length);
  // Strings and character constants may run across escaped line feeds.
  if (token.kind == TokenKind::String || token.kind == TokenKind::AngleString ||
      (token.kind == TokenKind::Integer && *cursor_ == '\''))
    line_ += CountLineFeeds(cursor_, length);
  cursor_ += length;
}

bool ShaderTokenizer::SkipBlanksAndComments(DWORD mode, const Token& position) {
  bool lineEnded = false;
  while (cursor_ != end_) {
    char c = *cursor_;
    if (IsBlank(c)) {
      ++cursor_;
    } else if (c == '\n') {
      ++line_;
      ++cursor_;
      lineEnded = true;
    } else if (std::size_t continuation = ContinuationAt(cursor_, end_)) {
      ++line_;
      cursor_ += continuation;
    } else if ((c == '/' && end_ - cursor_ >= 2 && cursor_[1] == '/') || (c == ';' && (mode & kAssemblyMode))) {
      SkipToLineEnd();
    } else if (c == '/' && end_ - cursor_ >= 2 && cursor_[1] == '*') {
      const char* p = cursor_ + 2;
      while (p != end_ && !(p[0] == '*' && end_ - p >= 2 && p[1] == '/')) {
        if (*p == '\n') ++line_;
        ++p;
      }
      if (p == end_) {
        cursor_ = end_;
        REPORT_DIAGNOSTIC(*diagnostics_, &position, CommentPastEndOfFile);
      } else {
        cursor_ = p + 2;
      }
    } else {
      break;
    }
  }
  return lineEnded;
}

bool ShaderTokenizer::SkipToLineEnd() {
  while (cursor_ != end_) {
    if (*cursor_ == '\n') return true;
    if (std::size_t continuation = ContinuationAt(cursor_, end_)) {
      ++line_;
      cursor_ += continuation;
    } else {
      ++cursor_;
    }
  }
  return false;
}

std::size_t ShaderTokenizer::LexFloat(Token& token) const {
  const char* p = cursor_;
  const char* q = p;
  while (q != end_ && IsDigit(*q)) ++q;
  bool point = false;
  if (q != p) {
    if (q != end_ && *q == '.') {
      point = true;
      for (++q; q != end_ && IsDigit(*q);) ++q;
    }
  } else {
    if (!(*q == '.' && end_ - q >= 2 && IsDigit(q[1]))) return 0;
    point = true;
    for (++q; q != end_ && IsDigit(*q);) ++q;
  }
  bool exponent = false;
  if (q != end_ && (*q == 'e' || *q == 'E')) {
    const char* r = q + 1;
    if (r != end_ && *r == '-') ++r;
    if (r != end_ && IsDigit(*r)) {
      while (r != end_ && IsDigit(*r)) ++r;
      q = r;
      exponent = true;
    }
  }
  if (!point && !exponent) return 0;

  double value = 0;
  auto [last, error] = std::from_chars(p, q, value);
  if (error == std::errc::result_out_of_range || last != q) {
    // Out of range: the C library's answer (HUGE_VAL or a denormal/zero), locale-free text.
    std::string text(p, q);
    value = std::strtod(text.c_str(), nullptr);
  }
  token.value.real = value;
  token.kind = TokenKind::Float;
  if (q != end_ && (*q == 'f' || *q == 'F')) {
    token.kind = TokenKind::FloatSingle;
    ++q;
  } else if (q != end_ && (*q == 'h' || *q == 'H')) {
    token.kind = TokenKind::FloatHalf;
    ++q;
  }
  return static_cast<std::size_t>(q - p);
}

DWORD ShaderTokenizer::DecodeEscape(const char*& p, const char* end) const {
  char c = *p++;
  switch (c) {
    case 'a': return 7;
    case 'b': return 8;
    case 'f': return 12;
    case 'n': return 10;
    case 'r': return 13;
    case 't': return 9;
    case 'v': return 11;
    case 'x': {
      if (p == end || !IsHexDigit(*p)) return 'x';
      DWORD value = 0;
      while (p != end && IsHexDigit(*p)) value = value * 16 + HexValue(*p++);
      return value;
    }
    default:
      if (IsOctalDigit(c)) {
        DWORD value = DWORD(c - '0');
        for (int digits = 1; digits < 3 && p != end && IsOctalDigit(*p); ++digits)
          value = value * 8 + DWORD(*p++ - '0');
        return value;
      }
      return static_cast<unsigned char>(c);
  }
}

std::size_t ShaderTokenizer::LexCharacter(DWORD mode, Token& token) {
  const char* p = cursor_;
  if (*p != '\'' || end_ - p < 2) return 0;
  const char* q = p + 1;
  DWORD value = 0;
  if (*q == '\\' && !(mode & kRawStrings)) {
    if (end_ - q < 2) {
      REPORT_DIAGNOSTIC(*diagnostics_, &token, CharacterPastEndOfFile);
      return 0;
    }
    ++q;
    value = DecodeEscape(q, end_) & 0xFF;
  } else {
    value = static_cast<unsigned char>(*q++);
  }
  if (q == end_ || *q != '\'') return 0;
  token.kind = TokenKind::Integer;
  token.value.integer = value;
  return static_cast<std::size_t>(q + 1 - p);
}

std::size_t ShaderTokenizer::LexInteger(Token& token) {
  const char* p = cursor_;
  const char* q = p;
  DWORD value = 0;
  if (*p == '0' && end_ - p >= 3 && p[1] == 'x' && IsHexDigit(p[2])) {
    for (q = p + 2; q != end_ && IsHexDigit(*q); ++q) value = value * 16 + HexValue(*q);
    if (q - p > 10) REPORT_DIAGNOSTIC(*diagnostics_, &token, HexValueTruncated);
  } else if (*p == '0') {
    bool truncated = false;
    for (q = p + 1; q != end_ && IsOctalDigit(*q); ++q) {
      if (value > 0x1FFFFFFF) truncated = true;
      value = value * 8 + DWORD(*q - '0');
    }
    if (truncated) REPORT_DIAGNOSTIC(*diagnostics_, &token, OctalValueTruncated);
  } else if (IsDigit(*p)) {
    bool truncated = false;
    for (; q != end_ && IsDigit(*q); ++q) {
      DWORD digit = DWORD(*q - '0');
      if (value > 429496729 || (value == 429496729 && digit > 5)) truncated = true;
      value = value * 10 + digit;
    }
    if (truncated) REPORT_DIAGNOSTIC(*diagnostics_, &token, DecimalValueTruncated);
  } else {
    return 0;
  }

  bool isUnsigned = false, isLong = false;
  for (int i = 0; i < 2 && q != end_; ++i) {
    if ((*q == 'u' || *q == 'U') && !isUnsigned) {
      isUnsigned = true;
    } else if ((*q == 'l' || *q == 'L') && !isLong) {
      isLong = true;
    } else {
      break;
    }
    ++q;
  }
  token.kind = isUnsigned ? TokenKind::IntegerUnsigned : isLong ? TokenKind::IntegerLong : TokenKind::Integer;
  token.value.integer = value;
  return static_cast<std::size_t>(q - p);
}

std::size_t ShaderTokenizer::LexString(DWORD mode, Token& token) {
  const char* p = cursor_;
  char close;
  if (*p == '"')
    close = '"';
  else if (*p == '<' && (mode & kAngleStrings))
    close = '>';
  else
    return 0;
  bool raw = (mode & kRawStrings) != 0;

  const char* q = p + 1;
  while (q != end_ && *q != close && *q != '\n') {
    if (*q == '\\' && !raw && end_ - q >= 2)
      q += 2;
    else
      ++q;
  }
  const char* contentEnd = q;

  char* text = store_->Allocate(static_cast<std::size_t>(contentEnd - (p + 1)) + 1);
  if (!text) return 0;
  char* out = text;
  for (const char* s = p + 1; s != contentEnd;) {
    if (*s == '\\' && !raw) {
      if (s + 1 == end_) {
        REPORT_DIAGNOSTIC(*diagnostics_, &token, CharacterPastEndOfFile);
        ++s;
        continue;
      }
      ++s;
      *out++ = static_cast<char>(DecodeEscape(s, contentEnd));
    } else {
      *out++ = *s++;
    }
  }
  *out = '\0';

  if (q == end_)
    REPORT_DIAGNOSTIC(*diagnostics_, &token, StringPastEndOfFile);
  else if (*q == '\n')
    REPORT_DIAGNOSTIC(*diagnostics_, &token, StringPastEndOfLine);
  else
    ++q;  // the closing character
  token.kind = close == '"' ? TokenKind::String : TokenKind::AngleString;
  token.value.text = text;
  return static_cast<std::size_t>(q - p);
}

std::size_t ShaderTokenizer::LexVersion(Token& token) const {
  constexpr std::size_t kMaxLength = 31;
  const char* p = cursor_;
  if (end_ - p < 5 || !IsLetter(p[0]) || !IsLetter(p[1]) || p[2] != '.') return 0;
  const char* q = p + 3;
  auto number = [&] {
    const char* start = q;
    DWORD value = 0;
    while (q != end_ && IsDigit(*q) && value <= 255) value = value * 10 + DWORD(*q++ - '0');
    return q != start && value <= 255 && (q == end_ || !IsDigit(*q));
  };
  if (!number() || q == end_ || *q != '.') return 0;
  ++q;
  if (q == end_) return 0;
  if (IsIdentifierStart(*q)) {
    while (q != end_ && IsIdentifierChar(*q)) ++q;
  } else if (!number()) {
    return 0;
  }
  std::size_t length = static_cast<std::size_t>(q - p);
  if (length > kMaxLength) return 0;
  char name[kMaxLength + 1];
  std::memcpy(name, p, length);
  name[length] = '\0';
  ShaderVersionEntry entry{};
  if (FAILED(LookupShaderVersion(name, kShaderVersionAssemblerName, &entry))) return 0;
  token.kind = TokenKind::Version;
  token.value.integer = entry.Version;
  return length;
}

std::size_t ShaderTokenizer::LexIdentifier(Token& token) {
  const char* p = cursor_;
  if (!IsIdentifierStart(*p)) return 0;
  const char* q = p + 1;
  while (q != end_ && IsIdentifierChar(*q)) ++q;
  const char* text = store_->Copy({p, static_cast<std::size_t>(q - p)});
  if (!text) return 0;
  token.kind = TokenKind::Identifier;
  token.value.text = text;
  return static_cast<std::size_t>(q - p);
}

std::size_t ShaderTokenizer::LexOperator(Token& token) const {
  token.kind = TokenKind::Operator;
  token.value.integer = 0;
  const char* p = cursor_;
  std::size_t available = static_cast<std::size_t>(end_ - p);
  std::size_t length = 1;
  if (available >= 2) {
    char c = p[0], d = p[1];
    switch (c) {
      case '#': length = (d == '#' || d == '@') ? 2 : 1; break;
      case '&': length = (d == '&' || d == '=') ? 2 : 1; break;
      case '+': length = (d == '+' || d == '=') ? 2 : 1; break;
      case '-': length = (d == '-' || d == '=' || d == '>') ? 2 : 1; break;
      case ':': length = d == ':' ? 2 : 1; break;
      case '=':
      case '!':
      case '%':
      case '*':
      case '/':
      case '^': length = d == '=' ? 2 : 1; break;
      case '|': length = (d == '|' || d == '=') ? 2 : 1; break;
      case '<':
      case '>':
        if (d == c)
          length = available >= 3 && p[2] == '=' ? 3 : 2;
        else
          length = d == '=' ? 2 : 1;
        break;
      case '.': length = available >= 3 && d == '.' && p[2] == '.' ? 3 : 1; break;
      default: break;
    }
  }
  // value.integer was cleared above, so the characters end in a NUL.
  for (std::size_t i = 0; i < length; ++i) token.value.op[i] = p[i];
  return length;
}

void ShaderTokenizer::ReadRawLine(char* out, std::size_t capacity) {
  std::size_t used = 0;
  while (cursor_ != end_ && (*cursor_ == ' ' || *cursor_ == '\t')) ++cursor_;
  while (cursor_ != end_ && *cursor_ != '\n') {
    if (std::size_t continuation = ContinuationAt(cursor_, end_)) {
      ++line_;
      cursor_ += continuation;
      continue;
    }
    char c = *cursor_++;
    if (c == '\r') continue;
    if (used + 1 < capacity) out[used++] = c;
  }
  if (capacity) out[used] = '\0';
}

void ShaderTokenizer::DescribeToken(DiagnosticList& diagnostics, DiagnosticMessage id, const Token& token) {
  char description[256];
  switch (token.kind) {
    case TokenKind::Version: std::snprintf(description, sizeof description, "version token"); break;
    case TokenKind::Operator: std::snprintf(description, sizeof description, "token '%.4s'", token.value.op); break;
    case TokenKind::Integer: std::snprintf(description, sizeof description, "integer '%u'", token.value.integer); break;
    case TokenKind::IntegerLong:
      std::snprintf(description, sizeof description, "integer '%dl'", static_cast<int>(token.value.integer));
      break;
    case TokenKind::IntegerUnsigned:
      std::snprintf(description, sizeof description, "integer '%uul'", token.value.integer);
      break;
    case TokenKind::Float: std::snprintf(description, sizeof description, "float '%g'", token.value.real); break;
    case TokenKind::FloatHalf: std::snprintf(description, sizeof description, "float '%gh'", token.value.real); break;
    case TokenKind::FloatSingle: std::snprintf(description, sizeof description, "float '%gf'", token.value.real); break;
    case TokenKind::FloatLong: std::snprintf(description, sizeof description, "float '%gl'", token.value.real); break;
    case TokenKind::Identifier: std::snprintf(description, sizeof description, "token '%s'", token.value.text); break;
    case TokenKind::String: std::snprintf(description, sizeof description, "string constant"); break;
    case TokenKind::EndOfLine: std::snprintf(description, sizeof description, "end of line"); break;
    case TokenKind::EndOfFile: std::snprintf(description, sizeof description, "end of file"); break;
    default: std::snprintf(description, sizeof description, "token"); break;
  }
  const char* format = DescribeMessage(id).format;
  assert(std::string_view(format) == diagnostic_format::SyntaxError);
  diagnostics.Report(&token, id, 0, format, description);
}

}  // namespace rastro
