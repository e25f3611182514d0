// Grammar of shader assembly statements after the version statement. Line ends are not
// separators: statements are recognised by their mnemonics. The lexer (NextTerminal) and the
// actions are members of rastro::ShaderAssembler.
%require "3.2"
%define api.pure full
%define api.prefix {rastro_statement_}
%define api.token.prefix {STATEMENT_}
%define api.value.type {rastro::StatementValue}
%param {rastro::ShaderAssembler& assembler}

%code requires {
#include "ShaderAssembler.h"
}

%code {
// Deeper nesting than this (of relative-address indices) is refused ("yacc stack overflow").
#define YYINITDEPTH 500
#define YYMAXDEPTH 500

static int rastro_statement_lex(rastro::StatementValue* value, rastro::ShaderAssembler& assembler) {
  return assembler.NextTerminal(*value);
}

// The generated parser reports two conditions: a syntax error (before recovery starts) and a
// full stack.
static void rastro_statement_error(rastro::ShaderAssembler& assembler, const char* message) {
  if (std::string_view(message) == "memory exhausted")
    assembler.ReportStackOverflow();
  else
    assembler.ReportSyntaxError();
}
}

%token OPCODE0 OPCODE1 OPCODE2 OPCODE3 OPCODE4 OPCODE5 DEF DEFI DEFB BRANCH1 BRANCH2
%token ENTRYPOINT TRUE FALSE IDENTIFIER INTEGER FLOAT OTHER

%%

program
  : %empty
  | statements
  ;

statements
  : statement
  | statements statement
  ;

statement
  : entrypoint_statement
  | instruction_statement
  | error
  ;

entrypoint_statement
  : ENTRYPOINT name         { assembler.EntryPoint($2.token); }
  ;

instruction_statement
  : predicated              { assembler.EmitStatement($1.instruction); }
  | '+' predicated          { assembler.EmitCoissued($2.instruction); }
  ;

predicated
  : instruction
  | '(' source ')' instruction  { $$.instruction = assembler.Predicate($4.instruction, $2.reg); }
  ;

instruction
  : OPCODE0                 { $$.instruction = assembler.Operands($1.instruction, nullptr, {}); }
  | OPCODE1 destination     { $$.instruction = assembler.Operands($1.instruction, $2.reg, {}); }
  | OPCODE2 destination ',' source
      { $$.instruction = assembler.Operands($1.instruction, $2.reg, {$4.reg}); }
  | OPCODE3 destination ',' source ',' source
      { $$.instruction = assembler.Operands($1.instruction, $2.reg, {$4.reg, $6.reg}); }
  | OPCODE4 destination ',' source ',' source ',' source
      { $$.instruction = assembler.Operands($1.instruction, $2.reg, {$4.reg, $6.reg, $8.reg}); }
  | OPCODE5 destination ',' source ',' source ',' source ',' source
      { $$.instruction = assembler.Operands($1.instruction, $2.reg, {$4.reg, $6.reg, $8.reg, $10.reg}); }
  | DEF destination ',' number ',' number ',' number ',' number
      { $$.instruction = assembler.Values($1.instruction, $2.reg, {rastro::FloatBits($4.number), rastro::FloatBits($6.number),
                                                                   rastro::FloatBits($8.number), rastro::FloatBits($10.number)}); }
  | DEFI destination ',' integer ',' integer ',' integer ',' integer
      { $$.instruction = assembler.Values($1.instruction, $2.reg, {$4.integer, $6.integer, $8.integer, $10.integer}); }
  | DEFB destination ',' boolean
      { $$.instruction = assembler.Values($1.instruction, $2.reg, {$4.integer}); }
  | BRANCH1 source          { $$.instruction = assembler.Operands($1.instruction, nullptr, {$2.reg}); }
  | BRANCH2 source ',' source
      { $$.instruction = assembler.Operands($1.instruction, nullptr, {$2.reg, $4.reg}); }
  ;

destination
  : register
  | register '.' name       { $$.reg = assembler.Masked($1.reg, $3.token); }
  ;

source
  : swizzled
  | '!' swizzled            { $$.reg = assembler.Not($2.reg); }
  | '-' swizzled            { $$.reg = assembler.Negate($2.reg); }
  | count '-' swizzled      { $$.reg = assembler.Complement($1.token, $3.reg); }
  ;

swizzled
  : register
  | register '.' name       { $$.reg = assembler.Swizzled($1.reg, $3.token); }
  ;

register
  : name                    { $$.reg = assembler.Register($1.token, nullptr); }
  | name '[' index ']'      { $$.reg = assembler.Register($1.token, $3.index); }
  ;

index
  : term
  | term '+' index          { $$.index = assembler.AddIndices($1.index, $3.index); }
  ;

term
  : swizzled                { $$.index = assembler.IndexOfRegister($1.reg); }
  | count                   { $$.index = assembler.IndexOfOffset($1.token); }
  ;

boolean
  : TRUE                    { $$.integer = 1; }
  | FALSE                   { $$.integer = 0; }
  ;

integer
  : count                   { $$.integer = rastro::IntegerOf($1.token); }
  | '+' count               { $$.integer = rastro::IntegerOf($2.token); }
  | '-' count               { $$.integer = 0u - rastro::IntegerOf($2.token); }
  ;

number
  : count                   { $$.number = rastro::IntegerOf($1.token); }
  | '+' count               { $$.number = rastro::IntegerOf($2.token); }
  | '-' count               { $$.number = -static_cast<double>(rastro::IntegerOf($2.token)); }
  | float                   { $$.number = rastro::RealOf($1.token); }
  | '+' float               { $$.number = rastro::RealOf($2.token); }
  | '-' float               { $$.number = -rastro::RealOf($2.token); }
  ;

name:  IDENTIFIER ;
count: INTEGER ;
float: FLOAT ;

%%
