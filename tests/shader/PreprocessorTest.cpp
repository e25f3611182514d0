#include <gtest/gtest.h>
#include <locale.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "MemoryInclude.h"
#include "Preprocessor.h"
#include "ScratchDirectory.h"
#include "d3d9types.h"

namespace rastro {
namespace {

using testing_support::MemoryInclude;

constexpr DWORD kAsm = ShaderTokenizer::kAssemblyMode;

struct Result {
  std::string text;      // source texts joined by blanks, one line per end of line
  std::string messages;  // the error text
  HRESULT open = S_OK;
  HRESULT read = S_OK;  // the first failing ReadToken, or S_OK
  std::vector<Token> tokens;
};

// Reads the whole output of a preprocessor, as `rastro-asm -E` prints it.
void ReadAll(Preprocessor& preprocessor, Result& result) {
  bool lineHasTokens = false;
  for (int guard = 0; guard < 100000; ++guard) {
    Token token;
    HRESULT hr = preprocessor.ReadToken(token);
    if (FAILED(hr)) {
      result.read = hr;
      break;
    }
    if (token.kind == TokenKind::EndOfFile) break;
    result.tokens.push_back(token);
    if (token.kind == TokenKind::EndOfLine) {
      result.text += '\n';
      lineHasTokens = false;
      continue;
    }
    if (lineHasTokens) result.text += ' ';
    result.text += token.Source();
    lineHasTokens = true;
  }
  result.messages = std::string(preprocessor.Diagnostics().Text());
}

// Preprocesses `source` as the file "main.psh" served by an include handler.
Result Preprocess(const std::string& source, MemoryInclude* include = nullptr, DWORD mode = 0,
                  const D3DXMACRO* defines = nullptr) {
  MemoryInclude local;
  if (!include) include = &local;
  include->files["main.psh"] = source;
  Preprocessor preprocessor;
  Result result;
  if (mode) preprocessor.PushMode(mode);
  result.open = preprocessor.OpenSource("main.psh", defines, include);
  if (SUCCEEDED(result.open)) ReadAll(preprocessor, result);
  result.messages = std::string(preprocessor.Diagnostics().Text());
  return result;
}

struct TextCase {
  const char* name;
  const char* source;
  const char* text;
  const char* messages;
};

void PrintTo(const TextCase& c, std::ostream* out) { *out << c.name; }

class PreprocessorOutput : public ::testing::TestWithParam<TextCase> {};

TEST_P(PreprocessorOutput, MatchesExpectedTokensAndMessages) {
  const TextCase& c = GetParam();
  Result result = Preprocess(c.source);
  EXPECT_EQ(result.text, c.text);
  EXPECT_EQ(result.messages, c.messages);
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, PreprocessorOutput,
    ::testing::Values(
        TextCase{"VersionMacro", "#if DIRECT3D_VERSION >= 0x900\nyes\n#endif\n", "\nyes\n\n", ""},
        TextCase{"IfdefEmptyMacro", "#ifdef D3DX\nyes\n#endif\n", "\nyes\n\n", ""},
        TextCase{"EmptyBodyIsZero", "#if D3DX\nno\n#else\nyes\n#endif\n", "\nyes\n\n", ""},
        TextCase{"UnsignedComparison", "#if -1 > 0\nyes\n#endif\n", "\nyes\n\n", ""},
        TextCase{"UnsignedDivision", "#if 7 / -1\nno\n#endif\n#if 7 / -1 == 0\nyes\n#endif\n", "\n\nyes\n\n", ""},
        TextCase{"Precedence",
                 "#if 1 + 2 * 3 == 7 && (1 + 2) * 3 == 9 && 10 - 4 - 3 == 3 && 12 / 2 / 3 == 2\nyes\n#endif",
                 "\nyes\n\n", ""},
        TextCase{"LogicAndUnary",
                 "#if !0 && !5 == 0 && -1 == 4294967295 && +3 == 3 && (0 || 2) && !(1 && 0) && 3 >= 3 && 2 <= 1 == 0"
                 " && 1 != 2 && 3 < 4 && 4 > 3\nyes\n#endif",
                 "\nyes\n\n", ""},
        TextCase{"Conditional", "#if (0 ? 1 : 0) == 0 && 1 ? 2 : 3\nyes\n#endif\n#if 0 ? 1 : 0 ? 1 : 0\nno\n#endif\n",
                 "\nyes\n\n\n", ""},
        TextCase{
            "MacroValues",
            "#define SEVEN 7\n#define TWO_TOKENS 1 2\n#if SEVEN == 7 && TWO_TOKENS == 1 && UNDEFINED == 0\nyes\n#endif",
            "\n\n\nyes\n\n", ""},
        TextCase{"Defined", "#define X\n#if defined(X) && !defined ( Y )\nyes\n#endif\n", "\n\nyes\n\n", ""},
        TextCase{"DefinedNeedsParentheses", "#if defined X\nno\n#endif\n", "\nno\n\n",
                 "main.psh(1): error X1500: syntax error : unexpected token 'X'\n"
                 "main.psh(3): error X1510: unexpected #endif\n"},
        TextCase{"DivisionByZero", "#if 1 / 0\nno\n#endif\nafter\n", "\nno\n\nafter\n",
                 "main.psh(1): error X1503: division by zero in preprocessor expression\n"
                 "main.psh(3): error X1510: unexpected #endif\n"},
        TextCase{"BothBranchesEvaluated", "#if 1 ? 1 : 1 / 0\nno\n#endif\n", "\nno\n\n",
                 "main.psh(1): error X1503: division by zero in preprocessor expression\n"
                 "main.psh(3): error X1510: unexpected #endif\n"},
        TextCase{"FunctionLikeInExpression", "#define F(a) a\n#if F\nyes\n#endif\n", "\n\nyes\n\n",
                 "main.psh(2): error X1517: functional defines in preprocessor expressions not yet implemented\n"},
        TextCase{"FloatInExpression", "#if 1.5\nx\n#endif\n", "\nx\n\n",
                 "main.psh(1): error X1500: syntax error : unexpected float '1.5'\n"
                 "main.psh(3): error X1510: unexpected #endif\n"}),
    [](const auto& test) { return std::string(test.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Macros, PreprocessorOutput,
    ::testing::Values(
        TextCase{"Chain", "#define A B\n#define B 5\nA\n", "\n\n5\n", ""},
        TextCase{"Cycle", "#define C D\n#define D C\nC D\n#ifdef C\nno\n#endif\n", "\n\nC D\n\n", ""},
        TextCase{"BlankBeforeParenthesis", "#define F(a) a\nF (1)\nF(1)\n", "\nF ( 1 )\n1\n", ""},
        TextCase{"DuplicateParameter", "#define F(a, a) a\n#ifdef F\nyes\n#endif\n", "\n\nyes\n\n",
                 "main.psh(1): error X1511: duplicate macro parameter 'a'\n"},
        TextCase{"EmptyParameterList", "#define F() x\n#ifdef F\nno\n#endif\n", "\n\n",
                 "main.psh(1): error X1500: syntax error : unexpected token ')'\n"},
        TextCase{"TooFewArguments", "#define F(a, b) a b\nF(1) next\n", "\nF next\n",
                 "main.psh(2): error X1516: not enough actual parameters for macro 'F'\n"},
        TextCase{"TooManyArguments", "#define F(a) a\nF(1, 2)\n", "\nF\n",
                 "main.psh(2): error X1516: not enough actual parameters for macro 'F'\n"},
        TextCase{"EmptyArgument", "#define F(a, b) a b\nF(1, )\n", "\nF\n",
                 "main.psh(2): error X1516: not enough actual parameters for macro 'F'\n"},
        TextCase{"EndOfFileInArguments", "#define F(a) a\nF(1, (2", "\nF",
                 "main.psh(2): error X1515: unexpected end of file in macro expansion\n"},
        TextCase{"NestedBrackets", "#define F(a, b) b a\nF((1, 2), [3, 4])\nF({5, 6], 7)\n",
                 "\n[ 3 , 4 ] ( 1 , 2 )\n7 { 5 , 6 ]\n", ""},
        // The line end inside the call belongs to the second argument.
        TextCase{"ArgumentsAcrossLines", "#define F(a, b) b a\nF(1,\n2) x\n", "\n\n2 1 x\n", ""},
        TextCase{"Stringize", "#define S(x) #x\nS(a  +  b) S(a+b) S( spaced ) S(\"q\\n\")\n",
                 "\n\"a + b\" \"a+b\" \"spaced\" \"\\\"q\\\\n\\\"\"\n", ""},
        TextCase{"Charize", "#define C(x) #@x\nC(a)\n", "\n'a'\n", ""},
        TextCase{"Paste", "#define P(a, b) a##b\n#define Q(a) x ## a ## y\nP(r, 0) P(1, 2) Q(1)\n", "\n\nr0 12 x1y\n",
                 ""},
        TextCase{"PasteChain", "#define Q(a, b) a ## b ## a\nQ(1, 2)\n", "\n121\n", ""},
        // The second '##' is the right operand of the first; the third still pastes.
        TextCase{"PasteOperatorAsOperand", "#define P(a) a ## ## b ## c\nP(x)\n", "\nx ## bc\n", ""},
        TextCase{"PasteKeepsOperandsUnexpanded", "#define ONE 1\n#define P(a) a##2 a\nP(ONE)\n", "\n\nONE2 1\n", ""},
        TextCase{"ObjectLikeBodiesDoNotPaste", "#define R r ## 0\nR\n", "\nr ## 0\n", ""},
        TextCase{"NestedCallsOfOneMacro", "#define M(x) (x)\nM(M(1))\n", "\n( ( 1 ) )\n", ""},
        // Expansions that would never end stop with a message naming the macro: those that grow
        // when the queue is full, the others when they are nested too deeply.
        TextCase{"SelfReference", "#define A A+1\nA\n", "\n", "main.psh(2): macro expansion too large in macro 'A'\n"},
        TextCase{"MutualReference", "#define X Y+1\n#define Y X+2\nX\n", "\n\n",
                 "main.psh(3): macro expansion too large in macro 'Y'\n"},
        TextCase{"RecursiveCall", "#define FF(x) x(x)\nFF(FF)\n", "\n",
                 "main.psh(2): macro 'FF' expands without end: more than 1048576 expansions nested in one another\n"},
        // Arguments are substituted as written; their macros expand when the result is read
        // again, so an argument that expands to nothing still counts as one argument.
        TextCase{"ArgumentExpandsOnRescan", "#define EMPTY\n#define G(a) [a]\n#define F(x) G(x)\nF(EMPTY)\n",
                 "\n\n\n[ ]\n", ""},
        TextCase{"CallInArgumentExpandsAfterSubstitution",
                 "#define F1(a, b) mov a, c0\n#define F2(a) F1(a, r1)\nF2(F1(c6, r2))\n", "\n\nmov mov c6 , c0 , c0\n",
                 ""},
        // The rescan of G(ARGS) collects one argument: ARGS's comma is not seen yet.
        TextCase{"CommaFromArgumentMacroIsNoSeparator",
                 "#define ARGS r1, r2\n#define G(a, b) add r0, a, b\n#define F(x) G(x)\nF(ARGS)\n", "\n\n\nG\n",
                 "main.psh(4): error X1516: not enough actual parameters for macro 'G'\n"},
        TextCase{"SubstitutionInSkippedRegionIsQuiet",
                 "#define EMPTY\n#define G(a) [a]\n#define F(x) G(x)\n#if 0\nF(EMPTY)\n#endif\n", "\n\n\n\n", ""},
        // No macro is barred from its own expansion: g's f expands again with the later (9).
        TextCase{"RescanReachesLaterInput", "#define f(a) a*g\n#define g(a) f(a)\nf(2)(9)\n", "\n\n2 * 9 * g\n", ""},
        // A paste that gives several tokens keeps them all, and they are read again.
        TextCase{"PasteGivingSeveralTokens", "#define R x\n#define P(a, b) a##b\nP(2, R)\n", "\n\n2 x\n", ""},
        TextCase{"CallCompletedByLaterInput", "#define F(x) x\n#define G(y) y+1\nF(G)(2)\n", "\n\n2 + 1\n", ""},
        TextCase{"HashFromExpansionIsNoDirective", "#define H #\nH define X 1\nX\n", "\n# define X 1\nX\n", ""},
        TextCase{"Undef", "#define X 1\n#undef X\nX\n", "\n\nX\n", ""},
        TextCase{"Redefine", "#define X 1\n#define X 2\nX\n", "\n\n2\n", ""},
        TextCase{"ExpansionInSkippedRegionStillReports", "#define F(a) a\n#if 0\nF(1, 2)\n#endif\n", "\n\n",
                 "main.psh(3): error X1516: not enough actual parameters for macro 'F'\n"},
        TextCase{"Line", "a __LINE__\n\n\n\n\n\n__LINE__\n", "a 1\n7\n", ""},
        TextCase{"LineDirective", "#line 100\n__LINE__\n#line 200\n\n\n__LINE__\n", "\n100\n\n202\n", ""},
        TextCase{"LineDirectiveWithFile", "#line 50 \"other.psh\"\n__FILE__ __LINE__\n#bad\n", "\n\"other.psh\" 50\n\n",
                 "other.psh(51): error X1504: invalid preprocessor command 'bad'\n"},
        TextCase{"File", "__FILE__\n", "\"main.psh\"\n", ""}),
    [](const auto& test) { return std::string(test.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Conditionals, PreprocessorOutput,
    ::testing::Values(
        TextCase{"ElifChain", "#if 0\na\n#elif 1\nb\n#elif 1\nc\n#else\nd\n#endif\n", "\nb\n\n", ""},
        TextCase{"ElseTaken", "#if 0\na\n#elif 0\nb\n#else\nd\n#endif\n", "\nd\n\n", ""},
        TextCase{"NestedInSkipped", "#if 0\n#if 1\nx\n#else\ny\n#endif\n#elif 1\nz\n#endif\n", "\nz\n\n", ""},
        TextCase{"SkippedElifIsNotParsed", "#if 1\na\n#elif 0\nb\n#elif 1/0\nc\n#endif\n", "\na\n\n", ""},
        TextCase{"NestedIfInSkippedRegionIsNotParsed", "#if 0\n#if 1/0\n#endif\n#endif\n", "\n", ""},
        TextCase{"ElifThatMayBecomeActiveIsParsed", "#if 0\n#elif 1/0\n#endif\n", "\n",
                 "main.psh(2): error X1503: division by zero in preprocessor expression\n"},
        TextCase{"Ifndef", "#ifndef NOPE\nyes\n#endif\n#ifndef D3DX\nno\n#endif\n", "\nyes\n\n\n", ""},
        TextCase{"ElseAfterElse", "#if 1\n#else\n#else\n#endif\n", "\n\n",
                 "main.psh(3): error X1514: unexpected #else following #else\n"},
        TextCase{"ElifAfterElse", "#if 1\n#else\n#elif 1\n#endif\n", "\n\n",
                 "main.psh(3): error X1513: unexpected #elif following #else\n"},
        TextCase{"Unopened", "#endif\n#else\n#elif 1\n", "\n\n\n",
                 "main.psh(1): error X1510: unexpected #endif\n"
                 "main.psh(2): error X1509: unexpected #else\n"
                 "main.psh(3): error X1508: unexpected #elif\n"},
        TextCase{"InvalidCommand", "#x\n#if 0\n#x\n#define\n#endif\n", "\n\n",
                 "main.psh(1): error X1504: invalid preprocessor command 'x'\n"},
        TextCase{"LoneHash", "#\nx\n", "\nx\n", "main.psh(1): error X1500: syntax error : unexpected end of line\n"},
        TextCase{"TrailingTokens", "#if 1\n#endif junk\n#define X 1\n#undef X Y\n", "\n\n\n\n",
                 "main.psh(2): error X1501: unexpected tokens following preprocessor directive\n"
                 "main.psh(4): error X1501: unexpected tokens following preprocessor directive\n"},
        TextCase{"UnterminatedIf", "#if 1\nx\n", "\nx\n", "main.psh(3): error X1502: unexpected end of file\n"},
        TextCase{"DirectiveOnLastLine", "a\n#define X 1", "a\n\n", ""}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Preprocessor, ErrorDirectiveIsFatal) {
  Result result = Preprocess("a\n#error  this is bad \\\n continued\nb\n");
  EXPECT_EQ(result.text, "a\n");
  EXPECT_EQ(result.read, E_FAIL);
  EXPECT_EQ(result.messages, "main.psh(2): error: this is bad  continued\n");
}

TEST(Preprocessor, ErrorTextIsCutAt255Characters) {
  Result result = Preprocess("#error " + std::string(300, 'e') + "\n");
  EXPECT_EQ(result.messages, "main.psh(1): error: " + std::string(255, 'e') + "\n");
}

TEST(Preprocessor, YaccStackOverflowEndsTheDirective) {
  Result deep = Preprocess("#if " + std::string(600, '(') + "1" + std::string(600, ')') + "\nx\n#endif\ny\n");
  // The #if never opened, so its #endif is unmatched.
  EXPECT_EQ(deep.messages, "main.psh(1): yacc stack overflow\nmain.psh(3): error X1510: unexpected #endif\n");
  Result fine = Preprocess("#if " + std::string(100, '(') + "1" + std::string(100, ')') + "\nx\n#endif\n");
  EXPECT_EQ(fine.messages, "");
  EXPECT_EQ(fine.text, "\nx\n\n");
}

TEST(Preprocessor, CallerDefinitions) {
  const D3DXMACRO defines[] = {
      {"FOO", "r1 , r2"}, {"EMPTY", nullptr}, {"DIRECT3D_VERSION", "0x800"}, {nullptr, nullptr}};
  Result result =
      Preprocess("FOO\n#ifdef EMPTY\nyes\n#endif\n#if DIRECT3D_VERSION == 0x800\nold\n#endif\n", nullptr, 0, defines);
  EXPECT_EQ(result.text, "r1 , r2\n\nyes\n\n\nold\n\n");
  EXPECT_EQ(result.messages, "");
}

TEST(Preprocessor, WarningPragmaSetsRulesOnlyWhenWellFormed) {
  MemoryInclude include;
  include.files["main.psh"] =
      "#pragma warning(disable : 2000 2001; 1 : 2002)\n"
      "#pragma warning(error : 2003) trailing\n"
      "#pragma warning(disable 2004)\n"
      "#pragma warning(once : 2005; error : 2006)\n"
      "#pragma unknown stuff\n";
  Preprocessor preprocessor;
  ASSERT_EQ(preprocessor.OpenSource("main.psh", nullptr, &include), S_OK);
  Result result;
  ReadAll(preprocessor, result);
  EXPECT_EQ(result.messages, "");
  DiagnosticList& diagnostics = preprocessor.Diagnostics();
  diagnostics.SetWarningRule(2002, 2);  // raised, and back to 1 below
  for (DWORD code : {2000u, 2001u, 2003u, 2004u, 2005u, 2005u, 2006u}) diagnostics.RecordWarning(nullptr, code, "w");
  EXPECT_EQ(diagnostics.Text(), "warning X2003: w\nwarning X2004: w\nwarning X2005: w\nerror X2006: w\n");
}

TEST(Preprocessor, WarningPragmaSemicolonIsACommentInAssemblyMode) {
  MemoryInclude include;
  include.files["main.psh"] = "#pragma warning(disable : 2000; 1 : 2002)\n";
  Preprocessor preprocessor;
  ASSERT_EQ(preprocessor.PushMode(kAsm), S_OK);
  ASSERT_EQ(preprocessor.OpenSource("main.psh", nullptr, &include), S_OK);
  Result result;
  ReadAll(preprocessor, result);
  preprocessor.Diagnostics().RecordWarning(nullptr, 2000, "w");
  EXPECT_EQ(preprocessor.Diagnostics().WarningCount(), 1u);
}

TEST(Preprocessor, PackMatrixAndDefPragmas) {
  struct Case {
    const char* source;
    DWORD packing;
  } cases[] = {{"#pragma pack_matrix(row_major)\n", 0x400},
               {"#pragma pack_matrix(column_major)\n", 0x800},
               {"#pragma pack_matrix(row_major)\n#pragma pack_matrix()\n", 0},
               {"#pragma pack_matrix(row_major) x\n", 0},
               {"#pragma pack_matrix(diagonal)\n", 0}};
  for (const Case& c : cases) {
    MemoryInclude include;
    include.files["main.psh"] = c.source;
    Preprocessor preprocessor;
    ASSERT_EQ(preprocessor.OpenSource("main.psh", nullptr, &include), S_OK);
    Result result;
    ReadAll(preprocessor, result);
    EXPECT_EQ(preprocessor.MatrixPacking(), c.packing) << c.source;
    EXPECT_EQ(result.messages, "");
  }

  MemoryInclude include;
  include.files["main.psh"] =
      "#pragma def(c0, x, 1, -2, 1.5, 4294967295)\n"
      "#pragma def(a, b, 0xFFFFFFFFl, -0.25f, 2u, -3)\n"
      "#pragma def(a, b, 1, 2, 3)\n"
      "#pragma def(a, b, 1, 2, 3, 4) extra\n";
  Preprocessor preprocessor;
  ASSERT_EQ(preprocessor.OpenSource("main.psh", nullptr, &include), S_OK);
  Result result;
  ReadAll(preprocessor, result);
  const auto& defs = preprocessor.PragmaDefs();
  ASSERT_EQ(defs.size(), 2u);
  EXPECT_STREQ(defs[0].first, "c0");
  EXPECT_STREQ(defs[0].second, "x");
  EXPECT_EQ(defs[0].values[0], 1.0);
  EXPECT_EQ(defs[0].values[1], -2.0);
  EXPECT_EQ(defs[0].values[2], 1.5);
  EXPECT_EQ(defs[0].values[3], 4294967295.0);
  EXPECT_EQ(defs[1].values[0], -1.0);
  EXPECT_EQ(defs[1].values[1], -0.25);
  EXPECT_EQ(defs[1].values[2], 2.0);
  EXPECT_EQ(defs[1].values[3], -3.0);
}

TEST(Preprocessor, IncludeHandlerGetsTypesNamesAndParentData) {
  MemoryInclude include;
  include.files["a.h"] = "in_a\n#include <b.h>\nafter_b";
  include.files["b.h"] = "in_b";
  Result result = Preprocess("#include \"a.h\"\nmain\n", &include);
  EXPECT_EQ(result.text, "\nin_a\n\nin_b\nafter_b\nmain\n");
  EXPECT_EQ(result.messages, "");
  ASSERT_EQ(include.opens.size(), 3u);
  EXPECT_EQ(include.opens[0].name, "main.psh");
  EXPECT_EQ(include.opens[0].parent, nullptr);
  EXPECT_EQ(include.opens[1].name, "a.h");
  EXPECT_EQ(include.opens[1].type, D3DXINC_LOCAL);
  EXPECT_EQ(include.opens[1].parent, include.opens[0].data);
  EXPECT_EQ(include.opens[2].name, "b.h");
  EXPECT_EQ(include.opens[2].type, D3DXINC_SYSTEM);
  EXPECT_EQ(include.opens[2].parent, include.opens[1].data);
  // Every file handed out is given back exactly once, the top-level file last.
  ASSERT_EQ(include.closes.size(), 3u);
  EXPECT_EQ(include.closes[0], include.opens[2].data);
  EXPECT_EQ(include.closes[1], include.opens[1].data);
  EXPECT_EQ(include.closes[2], include.opens[0].data);
}

TEST(Preprocessor, IncludedFilesCarryTheirNamesAndLines) {
  MemoryInclude include;
  include.files["a.h"] = "\n\n#bogus\n__FILE__ __LINE__";
  Result result = Preprocess("#include \"a.h\"\n__FILE__ __LINE__\n", &include);
  EXPECT_EQ(result.text, "\n\n\n\"a.h\" 4\n\"main.psh\" 2\n");
  EXPECT_EQ(result.messages, "a.h(3): error X1504: invalid preprocessor command 'bogus'\n");
}

TEST(Preprocessor, MacrosFromClosedIncludesKeepTheirText) {
  MemoryInclude include;
  include.files["defs.h"] = "#define S(x) #x + x\n#define BODY  one   two\n";
  Result result = Preprocess("#include \"defs.h\"\nS(a b) BODY\n", &include);
  EXPECT_EQ(result.text, "\n\n\n\n\"a b\" + a b one two\n");
}

TEST(Preprocessor, IncludeFailures) {
  MemoryInclude include;
  include.failure = static_cast<HRESULT>(0x80070002);
  Result missing = Preprocess("#include \"nope.h\"\nnever\n", &include);
  EXPECT_EQ(missing.read, static_cast<HRESULT>(0x80070002));
  EXPECT_EQ(missing.text, "");
  EXPECT_EQ(missing.messages, "main.psh(1): error X1507: failed to open source file: 'nope.h'\n");

  Result notAName = Preprocess("#include foo\nx\n");
  EXPECT_EQ(notAName.messages, "main.psh(1): error X1500: syntax error : unexpected token 'foo'\n");
  EXPECT_EQ(notAName.text, "\nx\n");

  MemoryInclude topMissing;
  Preprocessor preprocessor;
  EXPECT_EQ(preprocessor.OpenSource("absent.psh", nullptr, &topMissing), E_FAIL);
  EXPECT_EQ(preprocessor.Diagnostics().Text(), "error X1507: failed to open source file: 'absent.psh'\n");
  Token token;
  EXPECT_EQ(preprocessor.ReadToken(token), E_FAIL);
  EXPECT_EQ(token.kind, TokenKind::EndOfFile);
}

TEST(Preprocessor, MemorySourceWithoutHandlerCannotInclude) {
  Preprocessor preprocessor;
  const char source[] = "#include \"x.h\"\n";
  ASSERT_EQ(preprocessor.OpenMemorySource(source, sizeof source - 1, nullptr, nullptr, nullptr), S_OK);
  Result result;
  ReadAll(preprocessor, result);
  EXPECT_EQ(result.read, E_FAIL);
  EXPECT_EQ(result.messages,
            "(1): error X1505: include interface required to support #include from resource or memory\n");
}

// Files d1 .. dN, each including the next; the top-level file includes d1.
Result NestedIncludes(int depth) {
  MemoryInclude include;
  for (int i = 1; i <= depth; ++i)
    include.files["d" + std::to_string(i)] =
        i < depth ? "#include \"d" + std::to_string(i + 1) + "\"\n" : std::string("deepest\n");
  return Preprocess("#include \"d1\"\n", &include);
}

TEST(Preprocessor, ThirtyOneNestedIncludesOpenAndThirtyTwoDoNot) {
  Result fits = NestedIncludes(31);
  EXPECT_EQ(fits.messages, "");
  EXPECT_NE(fits.text.find("deepest"), std::string::npos);

  Result tooDeep = NestedIncludes(32);
  EXPECT_EQ(tooDeep.messages, "d31(1): error X1506: too many nested #includes\n");
  EXPECT_EQ(tooDeep.read, E_FAIL);
}

TEST(Preprocessor, UnterminatedConditionalInIncludeLeavesItsActivity) {
  MemoryInclude include;
  include.files["inc.h"] = "#if 0\nhidden\n";
  Result result = Preprocess("#include \"inc.h\"\nafter\n", &include);
  EXPECT_EQ(result.messages, "inc.h(3): error X1502: unexpected end of file\n");
  EXPECT_EQ(result.text.find("after"), std::string::npos);
}

TEST(Preprocessor, DiskFilesUseFullPathsRelativeIncludesAndSearchDirectories) {
  namespace fs = std::filesystem;
  rastro::testing::ScratchDirectory scratch;
  const fs::path& root = scratch.Path();
  scratch.Write("main.psh", "#include \"sub/inc.h\"\n__FILE__\n");
  scratch.Write("sub/inc.h", "#include \"sibling.h\"\n#include \"found.h\"\n");
  scratch.Write("sub/sibling.h", "sibling\n");
  scratch.Write("extra/found.h", "found __FILE__\n");
  fs::path full = fs::canonical(root);

  Preprocessor preprocessor;
  ASSERT_EQ(preprocessor.AddIncludeDirectory((root / "extra").c_str()), S_OK);
  ASSERT_EQ(preprocessor.OpenSource((root / "main.psh").c_str(), nullptr, nullptr), S_OK);
  Result result;
  ReadAll(preprocessor, result);
  EXPECT_EQ(result.messages, "");
  EXPECT_EQ(result.text, "\n\nsibling\n\n\nfound \"" + (full / "extra" / "found.h").string() + "\"\n\n\n\"" +
                             (full / "main.psh").string() + "\"\n");

  Preprocessor missing;
  EXPECT_EQ(missing.OpenSource((root / "absent.psh").c_str(), nullptr, nullptr), D3DXERR_INVALIDDATA);
  EXPECT_EQ(missing.Diagnostics().Text(),
            "error X1507: failed to open source file: '" + (root / "absent.psh").string() + "'\n");
  Preprocessor unnamed;
  EXPECT_EQ(unnamed.OpenSource(nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
}

TEST(Preprocessor, PopModeReadsTheRestOfTheInput) {
  MemoryInclude include;
  include.files["main.psh"] = "a ; not a comment in mode 1\n#bogus\n";
  Preprocessor preprocessor;
  EXPECT_EQ(preprocessor.PopMode(), D3DERR_INVALIDCALL);
  ASSERT_EQ(preprocessor.OpenSource("main.psh", nullptr, &include), S_OK);
  ASSERT_EQ(preprocessor.PushMode(kAsm), S_OK);
  Token token;
  ASSERT_EQ(preprocessor.ReadToken(token), S_OK);
  ASSERT_EQ(preprocessor.ReadToken(token), S_OK);
  EXPECT_EQ(token.kind, TokenKind::EndOfLine);  // ';' started a comment
  EXPECT_EQ(preprocessor.PopMode(), S_OK);
  EXPECT_EQ(preprocessor.Diagnostics().Text(), "main.psh(2): error X1504: invalid preprocessor command 'bogus'\n");
  EXPECT_EQ(preprocessor.PopMode(), D3DERR_INVALIDCALL);
}

TEST(Preprocessor, PositionsAndTopLevelSource) {
  Preprocessor preprocessor;
  const char source[] = "abc def\nghi";
  ASSERT_EQ(preprocessor.OpenMemorySource(source, sizeof source - 1, "mem", nullptr, nullptr), S_OK);
  Token token;
  ASSERT_EQ(preprocessor.ReadToken(token), S_OK);
  const char* text = nullptr;
  DWORD remaining = 0;
  preprocessor.TopLevelSource(&text, &remaining);
  EXPECT_EQ(text, source + 3);
  EXPECT_EQ(remaining, 8u);
  const char* file = nullptr;
  DWORD line = 0;
  ASSERT_EQ(preprocessor.ReadToken(token), S_OK);
  ASSERT_EQ(preprocessor.ReadToken(token), S_OK);
  preprocessor.CurrentPosition(&file, &line);
  EXPECT_STREQ(file, "mem");
  EXPECT_EQ(line, 2u);
}

TEST(Preprocessor, RunawayExpansionIsStopped) {
  std::string source = "#define E0 x\n";
  for (int i = 1; i <= 40; ++i)
    source += "#define E" + std::to_string(i) + " E" + std::to_string(i - 1) + " E" + std::to_string(i - 1) + "\n";
  source += "E40\n";
  MemoryInclude include;
  include.files["main.psh"] = source;
  Preprocessor preprocessor;
  ExpansionLimits limits;
  limits.maxExpansions = 10000;
  preprocessor.SetExpansionLimits(limits);
  ASSERT_EQ(preprocessor.OpenSource("main.psh", nullptr, &include), S_OK);
  Result result;
  ReadAll(preprocessor, result);
  EXPECT_EQ(result.read, E_FAIL);
  EXPECT_EQ(result.messages.rfind("main.psh(42): macro expansion too large in macro 'E", 0), 0u) << result.messages;
}

// A macro ending in its own name expands again where it stood, so its output grows while the
// queue does not: the token budget must stop it, not only the nesting bound far beyond.
TEST(Preprocessor, SelfTailExpansionStopsAtTheTokenBudget) {
  MemoryInclude include;
  include.files["main.psh"] = "#define A x x x x x x x x x x A\nA\n";
  Preprocessor preprocessor;
  ExpansionLimits limits;
  limits.maxRescannedTokens = 5000;
  preprocessor.SetExpansionLimits(limits);
  ASSERT_EQ(preprocessor.OpenSource("main.psh", nullptr, &include), S_OK);
  Result result;
  ReadAll(preprocessor, result);
  EXPECT_EQ(result.read, E_FAIL);
  EXPECT_LE(result.tokens.size(), 5000u + 11u);
  EXPECT_GE(result.tokens.size(), 4000u);
  EXPECT_EQ(result.messages, "main.psh(2): macro expansion too large in macro 'A'\n");
}

TEST(Preprocessor, DeeplyNestedCallsFinish) {
  std::string nested = "#define M(x) x\n";
  for (int i = 0; i < 300; ++i) nested += "M(";
  nested += "1" + std::string(300, ')') + "\n";
  Result deep = Preprocess(nested);
  EXPECT_EQ(deep.read, S_OK);
  EXPECT_EQ(deep.text, "\n1\n");
  EXPECT_EQ(deep.messages, "");
}

TEST(Preprocessor, CallsReadBackFromTheQueueReportAtTheCurrentLine) {
  // The macros come from another file; the failing call is made while main.psh line 3 is read.
  MemoryInclude include;
  include.files["defs.psh"] = "#define G(a, b) a b\n#define F(x) G(x)\n";
  Result result = Preprocess("#include \"defs.psh\"\n\nF(1)\n", &include);
  EXPECT_EQ(result.messages, "main.psh(3): error X1516: not enough actual parameters for macro 'G'\n");
}

TEST(Preprocessor, AliasChainsFollowEveryDefinitionAndRemoval) {
  std::string source = "#define A B\n#define B C\n#define C 1\nA\n";  // A resolves through B to C
  source += "#define U1 2\n#define U2 3\nA B\n";                      // unrelated names
  source += "#define B 4\nA\n";                                       // the middle link changes
  source += "#undef C\n#define B C\nA\n";                             // the chain now ends at B
  source += "#define C 5\nA\n";                                       // ... and continues again
  source += "#define C A\nA\n#ifdef A\ncircular\n#endif\n";           // A -> B -> C -> A
  Result result = Preprocess(source);
  EXPECT_EQ(result.messages, "");
  EXPECT_EQ(result.text, "\n\n\n1\n\n\n1 1\n\n4\n\n\nC\n\n5\n\nA\n\n");  // "circular" is skipped
}

TEST(Preprocessor, ManyDefinitionsAndRemovalsKeepEveryNameFindable) {
  constexpr int kCount = 300;
  std::string source, uses, expectedUses, redefinedUses;
  int directives = 0;
  for (int i = 0; i < kCount; ++i, ++directives)
    source += "#define M" + std::to_string(i) + " " + std::to_string(i) + "\n";
  for (int i = 0; i < kCount; i += 3, ++directives) source += "#undef M" + std::to_string(i) + "\n";
  for (int i = 0; i < kCount; ++i) {
    std::string name = "M" + std::to_string(i), separator = i ? " " : "";
    uses += separator + name;
    expectedUses += separator + (i % 3 == 0 ? name : std::to_string(i));
    redefinedUses += separator + (i % 6 == 0 ? "x" + std::to_string(i) : i % 3 == 0 ? name : std::to_string(i));
  }
  source += uses + "\n";
  int redefinitions = 0;
  for (int i = 0; i < kCount; i += 6, ++redefinitions)
    source += "#define M" + std::to_string(i) + " x" + std::to_string(i) + "\n";
  source += uses + "\n";

  Result result = Preprocess(source);
  EXPECT_EQ(result.messages, "");
  EXPECT_EQ(result.text, std::string(directives, '\n') + expectedUses + "\n" + std::string(redefinitions, '\n') +
                             redefinedUses + "\n");
}

TEST(Preprocessor, NumericLocaleIsSwitchedForThisThreadOnly) {
  // A caller whose thread writes decimal commas (scripts/install-deps.sh generates the locale).
  locale_t comma = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", static_cast<locale_t>(nullptr));
  ASSERT_NE(comma, static_cast<locale_t>(nullptr)) << "the de_DE.UTF-8 locale is not installed";
  locale_t before = uselocale(comma);
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  {
    Preprocessor preprocessor;
    EXPECT_STREQ(std::localeconv()->decimal_point, ".");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");  // the process-wide locale is untouched
  }
  EXPECT_EQ(uselocale(static_cast<locale_t>(nullptr)), comma);
  EXPECT_STREQ(std::localeconv()->decimal_point, ",");
  uselocale(before);
  freelocale(comma);
}

}  // namespace
}  // namespace rastro
