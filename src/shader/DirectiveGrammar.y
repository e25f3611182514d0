// Grammar of a preprocessor directive line, after its '#'. The lexer and the actions are
// members of rastro::DirectiveParser.
%require "3.2"
%define api.pure full
%define api.prefix {rastro_directive_}
%define api.token.prefix {DIRECTIVE_}
%define api.value.type {rastro::DirectiveValue}
%param {rastro::DirectiveParser& parser}

%code requires {
#include "DirectiveParser.h"
}

%code {
// A directive needing deeper nesting than this is refused ("yacc stack overflow").
#define YYINITDEPTH 500
#define YYMAXDEPTH 500

static int rastro_directive_lex(rastro::DirectiveValue* value, rastro::DirectiveParser& parser) {
  return parser.Lex(*value);
}
// Syntax errors are reported by DirectiveParser::Run, which knows the lookahead.
static void rastro_directive_error(rastro::DirectiveParser&, const char*) {}
}

%token DEFINE UNDEF LINE INCLUDE ERROR IF IFDEF IFNDEF ELIF ELSE ENDIF PRAGMA SKIPPED_IF SKIPPED_ELIF
%token DEFINED IDENTIFIER NUMBER STRING LE GE EQ NE AND OR OTHER

%%

directive
  : DEFINE ident          { if (!parser.Define(parser.TokenAt($2.token))) YYABORT; }
  | UNDEF ident           { parser.Undefine(parser.TokenAt($2.token)); }
  | LINE number           { parser.SetLine(parser.TokenAt($2.token), nullptr); }
  | LINE number string    { parser.SetLine(parser.TokenAt($2.token), &parser.TokenAt($3.token)); }
  | INCLUDE               { if (!parser.Include()) YYABORT; }
  | ERROR                 { parser.ReportError(); YYABORT; }
  | IF expr               { parser.If($2.number); }
  | IFDEF ident           { parser.IfDefined(parser.TokenAt($2.token), true); }
  | IFNDEF ident          { parser.IfDefined(parser.TokenAt($2.token), false); }
  | ELIF expr             { if (!parser.Elif($2.number)) YYABORT; }
  | ELSE                  { if (!parser.Else()) YYABORT; }
  | ENDIF                 { if (!parser.Endif()) YYABORT; }
  | SKIPPED_IF            { parser.SkippedIf(); }
  | SKIPPED_ELIF          { if (!parser.SkippedElif()) YYABORT; }
  | PRAGMA                { parser.Pragma(); }
  ;

expr
  : cond
  ;

cond
  : or
  | or '?' expr ':' cond  { $$.number = $1.number ? $3.number : $5.number; }
  ;

or
  : and
  | or OR and             { $$.number = ($1.number != 0 || $3.number != 0) ? 1 : 0; }
  ;

and
  : eq
  | and AND eq            { $$.number = ($1.number != 0 && $3.number != 0) ? 1 : 0; }
  ;

eq
  : rel
  | eq EQ rel             { $$.number = $1.number == $3.number; }
  | eq NE rel             { $$.number = $1.number != $3.number; }
  ;

rel
  : add
  | rel '<' add           { $$.number = $1.number < $3.number; }
  | rel '>' add           { $$.number = $1.number > $3.number; }
  | rel LE add            { $$.number = $1.number <= $3.number; }
  | rel GE add            { $$.number = $1.number >= $3.number; }
  ;

add
  : mul
  | add '+' mul           { $$.number = $1.number + $3.number; }
  | add '-' mul           { $$.number = $1.number - $3.number; }
  ;

mul
  : unary
  | mul '*' unary         { $$.number = $1.number * $3.number; }
  | mul '/' unary         { if (!parser.Divide($1.number, $3.number, $$.number)) YYABORT; }
  ;

unary
  : primary
  | '+' unary             { $$.number = $2.number; }
  | '!' unary             { $$.number = $2.number == 0; }
  | '-' unary             { $$.number = 0u - $2.number; }
  ;

primary
  : number                { $$.number = parser.TokenAt($1.token).value.integer; }
  | '(' expr ')'          { $$.number = $2.number; }
  | ident                 { $$.number = parser.MacroValue(parser.TokenAt($1.token)); }
  | DEFINED '(' ident ')' { $$.number = parser.IsDefined(parser.TokenAt($3.token)); }
  ;

ident:  IDENTIFIER ;
number: NUMBER ;
string: STRING ;

%%
