// Runs one directive line ("#define", "#if", "#include", ...) for the Preprocessor. The line is
// parsed by the generated LALR(1) parser of DirectiveGrammar.y, whose lexer and actions are
// the members below.
#pragma once

#include <vector>

#include "Preprocessor.h"
#include "Token.h"

namespace rastro {

// The semantic value of the directive grammar: an expression value, or a token kept by the
// DirectiveParser. Trivial, so that the parser's value stack costs nothing to set up.
struct DirectiveValue {
  DWORD number;
  DWORD token;
};

class DirectiveParser {
 public:
  explicit DirectiveParser(Preprocessor& preprocessor) : pp_(preprocessor), tokens_(preprocessor.directiveTokens_) {}

  // Parses and executes the line after a '#'. Afterwards the preprocessor's lookahead is the
  // end-of-line token of the line.
  void Run();

  // For the generated parser.
  int Lex(DirectiveValue& value);
  const Token& TokenAt(DWORD index) const { return tokens_[index]; }
  bool Define(const Token& name);
  void Undefine(const Token& name);
  void SetLine(const Token& number, const Token* fileName);
  bool Include();
  void ReportError();
  void If(DWORD value);
  void IfDefined(const Token& name, bool wantDefined);
  bool Elif(DWORD value);
  bool Else();
  bool Endif();
  void SkippedIf();
  bool SkippedElif();
  void Pragma();
  DWORD MacroValue(const Token& name);
  DWORD IsDefined(const Token& name);
  bool Divide(DWORD dividend, DWORD divisor, DWORD& quotient);

 private:
  // The next token of the line (mode + raw strings + `extraMode`); stays on the line end once
  // it has been read.
  const Token& Next(DWORD extraMode = 0);
  void SkipRestOfLine();
  int Keyword(const Token& name) const;
  void Conditional(DWORD value);

  void PragmaPackMatrix();
  void PragmaWarning();
  void PragmaDef();

  Preprocessor& pp_;
  std::vector<Token>& tokens_;  // every token the grammar has seen on this line
  bool expectingName_ = true;
  bool ended_ = false;        // the lexer reports the end of the directive
  bool lineEndRead_ = false;  // the line's end-of-line (or end-of-file) token has been read
  bool actionFailed_ = false;
};

}  // namespace rastro
