#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ShaderTokenizer.h"

namespace rastro {
namespace {

constexpr DWORD kAsm = ShaderTokenizer::kAssemblyMode;

struct Lexed {
  std::vector<Token> tokens;  // up to and without the end of file
  std::string messages;
};

// Keeps the store and the diagnostics alive for the tokens' texts.
class Lexer {
 public:
  Lexed Lex(const std::string& text, DWORD mode = 1) {
    source_ = text;
    ShaderTokenizer tokenizer;
    EXPECT_EQ(tokenizer.Initialise(source_.data(), source_.size(), "t.psh", 1, &store_, &diagnostics_), S_OK);
    Lexed result;
    for (int guard = 0; guard < 1000; ++guard) {
      Token token;
      tokenizer.NextToken(mode, token);
      if (token.kind == TokenKind::EndOfFile) break;
      result.tokens.push_back(token);
    }
    result.messages = std::string(diagnostics_.Text());
    return result;
  }
  StringStore& Store() { return store_; }

 private:
  std::string source_;
  StringStore store_;
  DiagnosticList diagnostics_;
};

// A compact picture of a token: kind number and what it carries.
std::string Describe(const Token& token) {
  char text[64];
  switch (token.kind) {
    case TokenKind::Version: std::snprintf(text, sizeof text, "V%08X", token.value.integer); return text;
    case TokenKind::Operator: return std::string("O") + token.value.op;
    case TokenKind::Integer:
    case TokenKind::IntegerLong:
    case TokenKind::IntegerUnsigned:
      std::snprintf(text, sizeof text, "I%u:%u", static_cast<unsigned>(token.kind), token.value.integer);
      return text;
    case TokenKind::Float:
    case TokenKind::FloatHalf:
    case TokenKind::FloatSingle:
      std::snprintf(text, sizeof text, "F%u:%g", static_cast<unsigned>(token.kind), token.value.real);
      return text;
    case TokenKind::Identifier: return std::string("N") + token.value.text;
    case TokenKind::String: return std::string("S") + token.value.text;
    case TokenKind::AngleString: return std::string("A") + token.value.text;
    case TokenKind::EndOfLine: return "EOL";
    default: return "?";
  }
}

std::string DescribeAll(const Lexed& lexed) {
  std::string all;
  for (const Token& token : lexed.tokens) all += (all.empty() ? "" : " ") + Describe(token);
  return all;
}

struct LexCase {
  const char* source;
  DWORD mode;
  const char* tokens;
  const char* messages;
};

class TokenizerLexes : public testing::TestWithParam<LexCase> {};

TEST_P(TokenizerLexes, TokensAndMessages) {
  const LexCase& c = GetParam();
  Lexer lexer;
  Lexed lexed = lexer.Lex(c.source, c.mode);
  EXPECT_EQ(DescribeAll(lexed), c.tokens) << "source: " << c.source;
  EXPECT_EQ(lexed.messages, c.messages) << "source: " << c.source;
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, TokenizerLexes,
    testing::Values(LexCase{"0x", 1, "I2:0 Nx", ""}, LexCase{"0X10", 1, "I2:0 NX10", ""},
                    LexCase{"0x1F 0xffffffff", 1, "I2:31 I2:4294967295", ""},
                    LexCase{"0x000000001", 1, "I2:1", "t.psh(1): error X1002: hex value truncated to 32bits\n"},
                    LexCase{"0x123456789", 1, "I2:591751049", "t.psh(1): error X1002: hex value truncated to 32bits\n"},
                    LexCase{"017 037777777777", 1, "I2:15 I2:4294967295", ""},
                    LexCase{"040000000001", 1, "I2:1", "t.psh(1): error X1003: octal value truncated to 32bits\n"},
                    LexCase{"08", 1, "I2:0 I2:8", ""}, LexCase{"4294967295", 1, "I2:4294967295", ""},
                    LexCase{"4294967296", 1, "I2:0", "t.psh(1): error X1004: decimal value truncated to 32bits\n"},
                    LexCase{"2u 2ul 2lu 2L 2Ul 2ll", 1, "I4:2 I4:2 I4:2 I3:2 I4:2 I3:2 Nl", ""},
                    LexCase{"0x10u 010l", 1, "I4:16 I3:8", ""},
                    LexCase{"1e-3 1E2 .5 1. 2.5e1", 1, "F5:0.001 F5:100 F5:0.5 F5:1 F5:25", ""},
                    LexCase{"1e+3", 1, "I2:1 Ne O+ I2:3", ""},
                    LexCase{"1.5f 1.5h 1.5F 2e1H 3.0x", 1, "F7:1.5 F6:1.5 F7:1.5 F6:20 F5:3 Nx", ""},
                    LexCase{"1.5e 1e", 1, "F5:1.5 Ne I2:1 Ne", ""},
                    LexCase{"'a' '\\n' '\\x41' '\\101' '\\q' '''", 1, "I2:97 I2:10 I2:65 I2:65 I2:113 I2:39", ""},
                    LexCase{"'ab'", 1, "O' Nab O'", ""}));

INSTANTIATE_TEST_SUITE_P(
    StringsAndEscapes, TokenizerLexes,
    testing::Values(LexCase{"\"a\\tb\\\"c\"", 1, "Sa\tb\"c", ""},
                    LexCase{"\"\\a\\b\\f\\n\\r\\v\\q\\\\\"", 1, "S\a\b\f\n\r\vq\\", ""},
                    LexCase{"\"\\x41g\\xg\\1010\"", 1,
                            "SAgxg\x41"
                            "0",
                            ""},
                    LexCase{"\"a\\nb\"", ShaderTokenizer::kRawStrings, "Sa\\nb", ""},
                    LexCase{"\"abc\nx", 1, "Sabc EOL Nx", "t.psh(1): error X1005: string continues past end of line\n"},
                    LexCase{"\"abc", 1, "Sabc", "t.psh(1): error X1006: string continues past end of file\n"},
                    LexCase{"\"ab\\", 1, "Sab",
                            "t.psh(1): error X1007: character continues past end of file\n"
                            "t.psh(1): error X1006: string continues past end of file\n"},
                    LexCase{"'\\", 1, "O' O\\", "t.psh(1): error X1007: character continues past end of file\n"},
                    LexCase{"<a.h> x", 1, "O< Na O. Nh O> Nx", ""},
                    LexCase{"<a.h> x", ShaderTokenizer::kAngleStrings, "Aa.h Nx", ""}));

INSTANTIATE_TEST_SUITE_P(
    CommentsAndLineEnds, TokenizerLexes,
    testing::Values(LexCase{"a ; comment\nb", kAsm, "Na EOL Nb", ""},
                    LexCase{"a ; comment\nb", 1, "Na O; Ncomment EOL Nb", ""},
                    LexCase{"a // c\n\n\n/* c\n c */\n// d\nb", 1, "Na EOL Nb", ""},
                    LexCase{"a /* one\n line */ b", 1, "Na Nb", ""}, LexCase{"a\\\nb", 1, "Na Nb", ""},
                    LexCase{"a\\\r\nb \r\n c", 1, "Na Nb EOL Nc", ""},
                    LexCase{"// c \\\n still comment\nb", 1, "EOL Nb", ""},
                    LexCase{"a /* open", 1, "Na", "t.psh(1): error X1001: comment continues past end of file\n"}));

INSTANTIATE_TEST_SUITE_P(
    VersionsAndOperators, TokenizerLexes,
    testing::Values(LexCase{"vs.1.1 ps.2.x ps.2.sw", kAsm, "VFFFE0101 VFFFF0201 VFFFF02FF", ""},
                    LexCase{"vs.9.9", kAsm, "Nvs F5:0.9 F5:0.9", ""}, LexCase{"vs.1.1", 1, "Nvs F5:0.1 F5:0.1", ""},
                    LexCase{"ps.2.a", kAsm, "Nps F5:0.2 O. Na", ""},
                    LexCase{"ps_2_0 vs.1.1a", kAsm, "Nps_2_0 VFFFE0101 Na", ""},
                    LexCase{"a<<=b>>=c...d..e", 1, "Na O<<= Nb O>>= Nc O... Nd O. O. Ne", ""},
                    LexCase{"## #@ && ++ -- :: == || << >> != %= &= *= += -= /= <= >= ^= |= ->", 1,
                            "O## O#@ O&& O++ O-- O:: O== O|| O<< O>> O!= O%= O&= O*= O+= O-= O/= O<= O>= O^= O|= O->",
                            ""},
                    LexCase{"$ @ `", 1, "O$ O@ O`", ""}));

TEST(ShaderTokenizer, PositionsLinesAndLengths) {
  Lexer lexer;
  Lexed lexed = lexer.Lex("ab  0x10\n\n\n  \"s\"\ncd", 1);
  ASSERT_EQ(lexed.tokens.size(), 6u);
  EXPECT_EQ(lexed.tokens[0].line, 1u);
  EXPECT_EQ(lexed.tokens[0].Source(), "ab");
  EXPECT_EQ(lexed.tokens[1].Source(), "0x10");
  EXPECT_EQ(lexed.tokens[2].kind, TokenKind::EndOfLine);
  EXPECT_EQ(lexed.tokens[2].line, 1u);  // the line that ended
  EXPECT_EQ(lexed.tokens[2].length, 0u);
  EXPECT_EQ(lexed.tokens[3].line, 4u);
  EXPECT_EQ(lexed.tokens[3].Source(), "\"s\"");
  EXPECT_EQ(lexed.tokens[5].line, 5u);
  EXPECT_STREQ(lexed.tokens[5].fileName, "t.psh");
}

TEST(ShaderTokenizer, InitialiseChecksItsArguments) {
  StringStore store;
  DiagnosticList diagnostics;
  ShaderTokenizer tokenizer;
  EXPECT_EQ(tokenizer.Initialise("x", 1, nullptr, 1, nullptr, &diagnostics), E_FAIL);
  EXPECT_EQ(tokenizer.Initialise("x", 1, nullptr, 1, &store, nullptr), E_FAIL);
  EXPECT_EQ(tokenizer.Initialise(nullptr, 3, nullptr, 1, &store, &diagnostics), E_FAIL);
  ASSERT_EQ(tokenizer.Initialise(nullptr, ShaderTokenizer::kMeasureText, nullptr, 1, &store, &diagnostics), S_OK);
  Token token;
  tokenizer.NextToken(1, token);
  EXPECT_EQ(token.kind, TokenKind::EndOfFile);
  // Text need not be NUL-terminated: only the given length is read.
  ASSERT_EQ(tokenizer.Initialise("abc", 2, nullptr, 1, &store, &diagnostics), S_OK);
  tokenizer.NextToken(1, token);
  EXPECT_STREQ(token.value.text, "ab");
}

TEST(ShaderTokenizer, ExhaustedStoreTurnsIdentifiersIntoOperators) {
  Lexer lexer;
  lexer.Store().SetLimit(0);
  Lexed lexed = lexer.Lex("ab \"c\"", 1);
  EXPECT_EQ(DescribeAll(lexed), "Oa Ob O\" Oc O\"");
}

TEST(ShaderTokenizer, SkipToLineEndFollowsContinuations) {
  StringStore store;
  DiagnosticList diagnostics;
  ShaderTokenizer tokenizer;
  const char text[] = "abc \\\n def\nnext";
  ASSERT_EQ(tokenizer.Initialise(text, ShaderTokenizer::kMeasureText, nullptr, 1, &store, &diagnostics), S_OK);
  EXPECT_TRUE(tokenizer.SkipToLineEnd());
  EXPECT_EQ(tokenizer.PeekChar(), '\n');
  EXPECT_EQ(tokenizer.Line(), 2u);
  EXPECT_EQ(tokenizer.Remaining(), 5u);
  Token token;
  tokenizer.NextToken(1, token);
  tokenizer.NextToken(1, token);
  EXPECT_FALSE(tokenizer.SkipToLineEnd());
}

struct DescribeCase {
  TokenKind kind;
  DWORD integer;
  double real;
  const char* text;
  const char* expected;
};

TEST(ShaderTokenizer, DescribeTokenNamesEveryKind) {
  const DescribeCase cases[] = {
      {TokenKind::Version, 0xFFFF0101, 0, nullptr, "version token"},
      {TokenKind::Operator, 0, 0, "+=", "token '+='"},
      {TokenKind::Integer, 5, 0, nullptr, "integer '5'"},
      {TokenKind::IntegerLong, 0xFFFFFFFF, 0, nullptr, "integer '-1l'"},
      {TokenKind::IntegerUnsigned, 7, 0, nullptr, "integer '7ul'"},
      {TokenKind::Float, 0, 1.5, nullptr, "float '1.5'"},
      {TokenKind::FloatHalf, 0, 0.25, nullptr, "float '0.25h'"},
      {TokenKind::FloatSingle, 0, 1e20, nullptr, "float '1e+20f'"},
      {TokenKind::FloatLong, 0, 2, nullptr, "float '2l'"},
      {TokenKind::Identifier, 0, 0, "mov", "token 'mov'"},
      {TokenKind::String, 0, 0, "x", "string constant"},
      {TokenKind::AngleString, 0, 0, "x", "token"},
      {TokenKind::EndOfLine, 0, 0, nullptr, "end of line"},
      {TokenKind::EndOfFile, 0, 0, nullptr, "end of file"},
  };
  for (const DescribeCase& c : cases) {
    DiagnosticList diagnostics;
    Token token;
    token.kind = c.kind;
    token.fileName = "d.psh";
    token.line = 9;
    if (c.kind == TokenKind::Operator) {
      std::snprintf(token.value.op, sizeof token.value.op, "%s", c.text);
    } else if (c.text) {
      token.value.text = c.text;
    } else if (c.kind >= TokenKind::Float && c.kind <= TokenKind::FloatLong) {
      token.value.real = c.real;
    } else {
      token.value.integer = c.integer;
    }
    ShaderTokenizer::DescribeToken(diagnostics, DiagnosticMessage::SyntaxError, token);
    EXPECT_EQ(diagnostics.Text(), std::string("d.psh(9): error X2000: syntax error : unexpected ") + c.expected + "\n");
  }
  // Long identifiers are cut in the 256-character description.
  DiagnosticList diagnostics;
  std::string name(400, 'n');
  Token token;
  token.kind = TokenKind::Identifier;
  token.value.text = name.c_str();
  ShaderTokenizer::DescribeToken(diagnostics, DiagnosticMessage::DirectiveSyntaxError, token);
  EXPECT_EQ(diagnostics.Text(), "(1): error X1500: syntax error : unexpected token '" + std::string(248, 'n') + "\n");
}

}  // namespace
}  // namespace rastro
