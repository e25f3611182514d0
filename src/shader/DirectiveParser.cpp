#include "DirectiveParser.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "DirectiveGrammar.h"

namespace rastro {

namespace {

constexpr DWORD kDirectiveMode = ShaderTokenizer::kRawStrings;
constexpr std::size_t kMaxErrorText = 256;

struct KeywordEntry {
  std::string_view text;
  int terminal;
};

constexpr KeywordEntry kKeywords[] = {
    {"define", DIRECTIVE_DEFINE},   {"undef", DIRECTIVE_UNDEF},   {"line", DIRECTIVE_LINE},
    {"include", DIRECTIVE_INCLUDE}, {"error", DIRECTIVE_ERROR},   {"if", DIRECTIVE_IF},
    {"ifdef", DIRECTIVE_IFDEF},     {"ifndef", DIRECTIVE_IFNDEF}, {"elif", DIRECTIVE_ELIF},
    {"else", DIRECTIVE_ELSE},       {"endif", DIRECTIVE_ENDIF},   {"pragma", DIRECTIVE_PRAGMA},
};

int OperatorTerminal(const Token& token) {
  const char* op = token.value.op;
  if (op[1] == 0) {
    if (op[0] != 0 && std::strchr("()+-!*/<>?:,", op[0])) return static_cast<unsigned char>(op[0]);
    return DIRECTIVE_OTHER;
  }
  if (std::strcmp(op, "<=") == 0) return DIRECTIVE_LE;
  if (std::strcmp(op, ">=") == 0) return DIRECTIVE_GE;
  if (std::strcmp(op, "==") == 0) return DIRECTIVE_EQ;
  if (std::strcmp(op, "!=") == 0) return DIRECTIVE_NE;
  if (std::strcmp(op, "&&") == 0) return DIRECTIVE_AND;
  if (std::strcmp(op, "||") == 0) return DIRECTIVE_OR;
  return DIRECTIVE_OTHER;
}

}  // namespace

void DirectiveParser::Run() {
  pp_.nextActive_ = pp_.active_;
  tokens_.clear();
  int result = rastro_directive_parse(*this);
  Token& lookahead = pp_.lookahead_;
  if (result == 2) {
    REPORT_DIAGNOSTIC(pp_.diagnostics_, &lookahead, ParserStackOverflow);
  } else if (result == 1 && !actionFailed_ && !pp_.fatal_ && pp_.active_) {
    if (expectingName_ && lookahead.kind == TokenKind::Identifier)
      REPORT_DIAGNOSTIC(pp_.diagnostics_, &lookahead, InvalidDirective, lookahead.value.text);
    else
      ShaderTokenizer::DescribeToken(pp_.diagnostics_, DiagnosticMessage::DirectiveSyntaxError, lookahead);
  }
  if (pp_.fatal_) return;

  if (!lineEndRead_ && result == 0) {
    const Token& extra = Next();
    if (!extra.IsLineEnd() && pp_.active_) REPORT_DIAGNOSTIC(pp_.diagnostics_, &extra, TokensAfterDirective);
  }
  SkipRestOfLine();
  pp_.expander_.ClearPending();
  // A directive on the last line still ends a line; the end of file follows on the next read.
  if (lookahead.kind == TokenKind::EndOfFile) lookahead.kind = TokenKind::EndOfLine;
}

const Token& DirectiveParser::Next(DWORD extraMode) {
  Token& token = pp_.lookahead_;
  if (lineEndRead_) return token;
  pp_.current_->NextToken(pp_.Mode() | kDirectiveMode | extraMode, token);
  if (token.IsLineEnd()) lineEndRead_ = true;
  return token;
}

void DirectiveParser::SkipRestOfLine() {
  if (lineEndRead_) return;
  pp_.current_->SkipToLineEnd();
  Next();
}

int DirectiveParser::Keyword(const Token& name) const {
  int terminal = 0;
  for (const KeywordEntry& keyword : kKeywords) {
    if (keyword.text == name.Name()) {
      terminal = keyword.terminal;
      break;
    }
  }
  if (pp_.active_ || terminal == 0) return terminal;

  // Inside a region that is skipped only the conditionals count.
  switch (terminal) {
    case DIRECTIVE_IF:
    case DIRECTIVE_IFDEF:
    case DIRECTIVE_IFNDEF: return DIRECTIVE_SKIPPED_IF;
    case DIRECTIVE_ELSE:
    case DIRECTIVE_ENDIF: return terminal;
    case DIRECTIVE_ELIF: {
      const auto& conditionals = pp_.CurrentFile().conditionals;
      if (!conditionals.empty() && (!conditionals.back().parentActive || conditionals.back().taken))
        return DIRECTIVE_SKIPPED_ELIF;
      return DIRECTIVE_ELIF;
    }
    default: return 0;
  }
}

int DirectiveParser::Lex(DirectiveValue& value) {
  if (ended_ || pp_.fatal_) return DIRECTIVE_YYEOF;
  const Token& token = Next();
  value.token = static_cast<DWORD>(tokens_.size());
  tokens_.push_back(token);
  value.number = token.IsInteger() ? token.value.integer : 0;
  if (token.IsLineEnd()) {
    ended_ = true;
    return DIRECTIVE_YYEOF;
  }
  switch (token.kind) {
    case TokenKind::Identifier:
      if (expectingName_) {
        if (int keyword = Keyword(token)) {
          expectingName_ = false;
          return keyword;
        }
        return DIRECTIVE_IDENTIFIER;
      }
      return token.Name() == "defined" ? DIRECTIVE_DEFINED : DIRECTIVE_IDENTIFIER;
    case TokenKind::Integer:
    case TokenKind::IntegerLong:
    case TokenKind::IntegerUnsigned: return DIRECTIVE_NUMBER;
    case TokenKind::String: return DIRECTIVE_STRING;
    case TokenKind::Operator: return OperatorTerminal(token);
    default: return DIRECTIVE_OTHER;
  }
}

bool DirectiveParser::Define(const Token& name) {
  ended_ = true;
  std::vector<Token>& parameters = pp_.directiveParameters_;
  parameters.clear();
  // Parameters only when '(' follows the name without a blank.
  bool functionLike = !lineEndRead_ && pp_.current_->PeekChar() == '(';
  if (functionLike) {
    Next();
    for (;;) {
      const Token& parameter = Next();
      if (parameter.kind != TokenKind::Identifier) {
        ShaderTokenizer::DescribeToken(pp_.diagnostics_, DiagnosticMessage::DirectiveSyntaxError, parameter);
        actionFailed_ = true;
        return false;
      }
      for (const Token& earlier : parameters) {
        if (earlier.Name() == parameter.Name()) {
          REPORT_DIAGNOSTIC(pp_.diagnostics_, &parameter, DuplicateMacroParameter, parameter.value.text);
          break;
        }
      }
      parameters.push_back(parameter);
      const Token& separator = Next();
      if (separator.IsOperator(')')) break;
      if (!separator.IsOperator(',')) {
        ShaderTokenizer::DescribeToken(pp_.diagnostics_, DiagnosticMessage::DirectiveSyntaxError, separator);
        actionFailed_ = true;
        return false;
      }
    }
  }

  std::vector<Token>& body = pp_.directiveBody_;
  body.clear();
  for (;;) {
    const Token& token = Next();
    if (token.IsLineEnd()) break;
    body.push_back(token);
  }
  // The body outlives the file it was read from: keep its text in the store, spacing intact.
  if (!body.empty()) {
    const char* first = body.front().start;
    std::string_view span(first, static_cast<std::size_t>(body.back().start + body.back().length - first));
    const char* copy = pp_.store_.Copy(span);
    if (!copy) throw std::bad_alloc();
    for (Token& token : body) token.start = copy + (token.start - first);
  }

  Macro& macro = pp_.macros_.Define(name.Name());
  macro.functionLike = functionLike;
  macro.parameters.assign(parameters.begin(), parameters.end());
  macro.body.assign(body.begin(), body.end());
  pp_.macros_.Finish(macro);
  return true;
}

void DirectiveParser::Undefine(const Token& name) {
  ended_ = true;
  pp_.macros_.Undefine(name.Name());
}

void DirectiveParser::SetLine(const Token& number, const Token* fileName) {
  ended_ = true;
  ShaderTokenizer& tokenizer = *pp_.current_;
  DWORD line = number.value.integer;
  if (lineEndRead_) {
    // The end of line already read may stand for several line feeds (blank lines, comments):
    // the first line after the directive gets the number.
    DWORD lineFeeds = tokenizer.Line() - pp_.lookahead_.line;
    tokenizer.SetLine(line + lineFeeds - 1);
  } else {
    tokenizer.SetLine(line - 1);
  }
  if (fileName) tokenizer.SetFileName(fileName->value.text);
}

bool DirectiveParser::Include() {
  ended_ = true;
  const Token& name = Next(ShaderTokenizer::kRawStrings | ShaderTokenizer::kAngleStrings);
  if (name.kind != TokenKind::String && name.kind != TokenKind::AngleString) {
    ShaderTokenizer::DescribeToken(pp_.diagnostics_, DiagnosticMessage::DirectiveSyntaxError, name);
    actionFailed_ = true;
    return false;
  }
  if (FAILED(pp_.OpenInclude(name, name.kind == TokenKind::String ? D3DXINC_LOCAL : D3DXINC_SYSTEM))) {
    actionFailed_ = true;
    return false;
  }
  return true;
}

void DirectiveParser::ReportError() {
  ended_ = true;
  actionFailed_ = true;
  char text[kMaxErrorText];
  Token position = pp_.lookahead_;
  pp_.current_->ReadRawLine(text, sizeof text);
  REPORT_DIAGNOSTIC(pp_.diagnostics_, &position, ErrorDirective, text);
  pp_.Fail(E_FAIL);
}

void DirectiveParser::Conditional(DWORD value) {
  pp_.CurrentFile().conditionals.push_back({value != 0, pp_.active_, false});
  pp_.nextActive_ = pp_.active_ && value != 0;
}

void DirectiveParser::If(DWORD value) {
  ended_ = true;
  Conditional(value);
}

void DirectiveParser::IfDefined(const Token& name, bool wantDefined) {
  ended_ = true;
  Conditional((pp_.macros_.Resolve(name.Name()) != nullptr) == wantDefined);
}

bool DirectiveParser::Elif(DWORD value) {
  ended_ = true;
  auto& conditionals = pp_.CurrentFile().conditionals;
  if (conditionals.empty()) {
    REPORT_DIAGNOSTIC(pp_.diagnostics_, &pp_.lookahead_, UnexpectedElif);
  } else if (conditionals.back().elseSeen) {
    REPORT_DIAGNOSTIC(pp_.diagnostics_, &pp_.lookahead_, ElifAfterElse);
  } else {
    Preprocessor::Conditional& conditional = conditionals.back();
    pp_.nextActive_ = value != 0 && !conditional.taken && conditional.parentActive;
    if (value != 0) conditional.taken = true;
    return true;
  }
  actionFailed_ = true;
  return false;
}

bool DirectiveParser::Else() {
  ended_ = true;
  auto& conditionals = pp_.CurrentFile().conditionals;
  if (conditionals.empty()) {
    REPORT_DIAGNOSTIC(pp_.diagnostics_, &pp_.lookahead_, UnexpectedElse);
  } else if (conditionals.back().elseSeen) {
    REPORT_DIAGNOSTIC(pp_.diagnostics_, &pp_.lookahead_, ElseAfterElse);
  } else {
    Preprocessor::Conditional& conditional = conditionals.back();
    pp_.nextActive_ = !conditional.taken && conditional.parentActive;
    conditional.taken = true;
    conditional.elseSeen = true;
    return true;
  }
  actionFailed_ = true;
  return false;
}

bool DirectiveParser::Endif() {
  ended_ = true;
  auto& conditionals = pp_.CurrentFile().conditionals;
  if (conditionals.empty()) {
    REPORT_DIAGNOSTIC(pp_.diagnostics_, &pp_.lookahead_, UnexpectedEndif);
    actionFailed_ = true;
    return false;
  }
  pp_.nextActive_ = conditionals.back().parentActive;
  conditionals.pop_back();
  return true;
}

void DirectiveParser::SkippedIf() {
  ended_ = true;
  Conditional(1);
  SkipRestOfLine();
}

bool DirectiveParser::SkippedElif() {
  bool ok = Elif(1);
  SkipRestOfLine();
  return ok;
}

DWORD DirectiveParser::MacroValue(const Token& name) {
  const Macro* macro = pp_.macros_.Resolve(name.Name());
  if (!macro) return 0;
  if (macro->functionLike) {
    REPORT_DIAGNOSTIC(pp_.diagnostics_, &name, FunctionMacroInExpression);
    return 1;
  }
  if (macro->body.empty()) return 0;
  if (macro->body.size() == 1 && macro->body[0].IsInteger()) return macro->body[0].value.integer;
  return 1;
}

DWORD DirectiveParser::IsDefined(const Token& name) { return pp_.macros_.Resolve(name.Name()) ? 1 : 0; }

bool DirectiveParser::Divide(DWORD dividend, DWORD divisor, DWORD& quotient) {
  if (divisor == 0) {
    REPORT_DIAGNOSTIC(pp_.diagnostics_, &pp_.lookahead_, DivisionByZero);
    actionFailed_ = true;
    return false;
  }
  quotient = dividend / divisor;
  return true;
}

void DirectiveParser::Pragma() {
  ended_ = true;
  const Token& name = Next();
  if (name.kind == TokenKind::Identifier) {
    std::string_view pragma = name.value.text;
    if (pragma == "pack_matrix")
      PragmaPackMatrix();
    else if (pragma == "warning")
      PragmaWarning();
    else if (pragma == "def")
      PragmaDef();
  }
  // Unknown pragmas and ones that do not match their syntax are ignored without a word.
  SkipRestOfLine();
}

void DirectiveParser::PragmaPackMatrix() {
  if (!Next().IsOperator('(')) return;
  DWORD packing = 0;
  const Token* token = &Next();
  if (token->kind == TokenKind::Identifier) {
    std::string_view order = token->value.text;
    if (order == "row_major")
      packing = Preprocessor::kMatrixRowMajor;
    else if (order == "column_major")
      packing = Preprocessor::kMatrixColumnMajor;
    else
      return;
    token = &Next();
  }
  if (!token->IsOperator(')') || !Next().IsLineEnd()) return;
  pp_.matrixPacking_ = packing;
}

void DirectiveParser::PragmaWarning() {
  if (!Next().IsOperator('(')) return;
  struct Rule {
    DWORD code;
    DWORD value;
  };
  std::vector<Rule> rules;
  for (;;) {
    const Token& specifier = Next();
    DWORD value;
    if (specifier.IsInteger() && specifier.value.integer >= 1 && specifier.value.integer <= 4) {
      value = specifier.value.integer;
    } else if (specifier.kind == TokenKind::Identifier) {
      std::string_view word = specifier.value.text;
      if (word == "once")
        value = DiagnosticList::kRuleOnce;
      else if (word == "error")
        value = DiagnosticList::kRuleError;
      else if (word == "disable")
        value = 0;
      else if (word == "default")
        value = DiagnosticList::kRuleDefault;
      else
        return;
    } else {
      return;
    }
    if (!Next().IsOperator(':')) return;
    const Token* token = &Next();
    if (!token->IsInteger()) return;
    while (token->IsInteger()) {
      rules.push_back({token->value.integer, value});
      token = &Next();
    }
    if (token->IsOperator(')')) break;
    if (!token->IsOperator(';')) return;
  }
  if (!Next().IsLineEnd()) return;
  for (const Rule& rule : rules) pp_.diagnostics_.SetWarningRule(rule.code, rule.value);
}

void DirectiveParser::PragmaDef() {
  rastro::PragmaDef def{};
  auto identifier = [&](const char*& out) {
    const Token& token = Next();
    if (token.kind != TokenKind::Identifier) return false;
    out = token.value.text;
    return true;
  };
  auto number = [&](double& out) {
    const Token* token = &Next();
    bool negate = token->IsOperator('-');
    if (negate) token = &Next();
    if (token->kind == TokenKind::Integer || token->kind == TokenKind::IntegerUnsigned)
      out = static_cast<double>(token->value.integer);
    else if (token->kind == TokenKind::IntegerLong)
      out = static_cast<double>(static_cast<std::int32_t>(token->value.integer));
    else if (token->IsFloat())
      out = token->value.real;
    else
      return false;
    if (negate) out = -out;
    return true;
  };
  if (!Next().IsOperator('(') || !identifier(def.first) || !Next().IsOperator(',') || !identifier(def.second)) return;
  for (double& value : def.values)
    if (!Next().IsOperator(',') || !number(value)) return;
  if (!Next().IsOperator(')') || !Next().IsLineEnd()) return;
  pp_.pragmaDefs_.push_back(def);
}

}  // namespace rastro
